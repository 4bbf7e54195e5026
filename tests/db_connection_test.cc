// Connection strings as the suite writes and appends to them, and bad ones:
// each must end in a clear error, never a crash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "db/connection.h"
#include "db/connection_string.h"
#include "suite/sysdb/schema.h"
#include "support/fake_env.h"
#include "support/scratch_server.h"

namespace tarn::db {
namespace {

TEST(ConnectionStringTest, KeysQuotesAndTheLastCatalogWins) {
  ConnectionString cs;
  ASSERT_TRUE(ConnectionString::Parse("Provider=SQLOLEDB.1; DATA SOURCE = SRV1 ;User ID=sa;Password=\"a;b'\"\"c\";"
                                      "Initial Catalog=VALEDATA_001_2024;initial catalog=valesystem",
                                      &cs)
                  .ok());
  EXPECT_EQ(cs.Get("provider"), "SQLOLEDB.1");
  EXPECT_EQ(cs.Get("Server"), "SRV1");
  EXPECT_EQ(cs.Get("PWD"), "a;b'\"c");
  EXPECT_EQ(cs.Get("Initial Catalog"), "valesystem");
  EXPECT_EQ(cs.Get("Database"), "valesystem");
  EXPECT_EQ(cs.GetExact("Database"), "");
  EXPECT_EQ(cs.Masked(),
            "Provider=SQLOLEDB.1;DATA SOURCE=SRV1;User ID=sa;Password=****;Initial Catalog=VALEDATA_001_2024;"
            "initial catalog=valesystem");
  EXPECT_TRUE(ConnectionString::Parse("", &cs).ok());
  EXPECT_TRUE(ConnectionString::Parse(";;Provider=SQLite;;", &cs).ok());
  EXPECT_TRUE(ConnectionString::Parse("Key==x=1", &cs).ok());
  EXPECT_EQ(cs.Get("key=x"), "1");

  for (const char* bad : {"Provider", "Provider=SQLite;Data Source", "=x", "Password='open", "Password=\"a\"b"}) {
    EXPECT_FALSE(ConnectionString::Parse(bad, &cs).ok()) << bad;
  }

  // A user and password given beside the string join it as values: what
  // they hold adds no item of its own to the string handed on.
  const std::string dir = ::testing::TempDir();
  auto conn = Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir, "a;b", " p;Data Source=/x\"").ok());
  ASSERT_TRUE(ConnectionString::Parse(conn->ConnectionString(), &cs).ok()) << conn->ConnectionString();
  EXPECT_EQ(cs.Get("Data Source"), dir);
  EXPECT_EQ(cs.Get("User ID"), "a;b");
  EXPECT_EQ(cs.Get("Password"), " p;Data Source=/x\"");
}

Status OpenWith(const std::string& text, ConnectionPtr* out = nullptr) {
  auto c = Connection::Create();
  Status s = c->Open(text, "", "");
  EXPECT_EQ(c->State(), s.ok() ? ObjectState::kOpen : ObjectState::kClosed);
  if (!s.ok()) {
    EXPECT_FALSE(c->Errors().empty());
    EXPECT_FALSE(s.message().empty());
  }
  if (out) *out = c;
  return s;
}

TEST(ConnectionTest, BadConnectionStringsFailClearly) {
  Status s = OpenWith("Provider=SQLite;Data Source=\"/tmp");
  EXPECT_NE(s.message().find("initialization string is not valid"), std::string::npos);
  s = OpenWith("Provider=Jet.OLEDB;Data Source=x");
  EXPECT_NE(s.message().find("Provider cannot be found"), std::string::npos);
  s = OpenWith("Data Source=x");
  EXPECT_NE(s.message().find("Provider"), std::string::npos);
  s = OpenWith("Provider=SQLite;Data Source=/nonexistent/tarn");
  EXPECT_NE(s.message().find("/nonexistent/tarn"), std::string::npos);
  s = OpenWith("Provider=SQLite");
  EXPECT_NE(s.message().find("Data Source"), std::string::npos);
  s = OpenWith("Provider=SQLite;Data Source=/tmp;Busy Timeout=soon");
  EXPECT_NE(s.message().find("Busy Timeout"), std::string::npos);
  // A FreeTDS server that does not answer, and an ODBC driver that is not
  // installed: the driver's own text comes back.
  s = OpenWith("Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;User ID=sa;Password=x;Initial Catalog=ValeSystem");
  EXPECT_FALSE(s.ok());
  s = OpenWith("Provider=MSDASQL;Driver={No Such Driver};Server=x");
  EXPECT_NE(s.message().find("No Such Driver"), std::string::npos) << s.message();
  // Nothing runs on a closed connection.
  auto c = Connection::Create();
  EXPECT_FALSE(c->Execute(Statement("SELECT 1")).ok());
  EXPECT_FALSE(c->BeginTrans().ok());
}

// ADO's SQL Server providers all reach SQL Server through FreeTDS.
TEST(ConnectionTest, SqlServerProvidersGoThroughFreeTds) {
  for (const char* provider : {"SQLOLEDB", "SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL"}) {
    ConnectionPtr c;
    Status s = OpenWith(std::string("Provider=") + provider + ";Data Source=127.0.0.1,1;User ID=sa;Password=x", &c);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(c->Errors().front().description.find("FreeTDS"), std::string::npos) << provider << ": " << s.message();
  }
}

// The registry can send a provider to another backend, as a data-source
// name sends a name to a server: the compact build's SQL Server strings
// reach SQLite so.
TEST(ConnectionTest, AProviderAliasChoosesTheBackend) {
  testing::FakeEnv env;
  testing::FakeEnvScope scope(env);
  std::string skip;
  auto server = testing::ScratchServer::Make(testing::ScratchServer::Kind::kSqlite, &skip);
  ASSERT_TRUE(server) << skip;
  const std::string sqlserver = "Provider=SQLOLEDB.1;User ID=sa;PassWord=x;Data Source=" + server->dir();
  env.registry.SetString(kProviderAliasKey, "sqloledb.1", "SQLite");  // names compare in any case
  ConnectionPtr c;
  ASSERT_TRUE(OpenWith(sqlserver, &c).ok()) << c->Errors().front().description;
  EXPECT_EQ(c->flavor(), Flavor::kSqlite);
  // Only the provider named: SQLOLEDB without ".1" still goes to FreeTDS.
  Status s = OpenWith("Provider=SQLOLEDB;Data Source=127.0.0.1,1;User ID=sa;Password=x", &c);
  EXPECT_NE(c->Errors().front().description.find("FreeTDS"), std::string::npos) << s.message();
  // An alias to a backend we do not have is a provider that is not there.
  env.registry.SetString(kProviderAliasKey, "SQLOLEDB.1", "Oracle");
  s = OpenWith(sqlserver, &c);
  EXPECT_EQ(c->Errors().front().number, 3706);
  EXPECT_NE(s.message().find("SQLOLEDB.1"), std::string::npos) << s.message();
}

TEST(ConnectionTest, MissingCatalogIsAFailedLogin) {
  std::string skip;
  auto server = testing::ScratchServer::Make(testing::ScratchServer::Kind::kSqlite, &skip);
  ASSERT_TRUE(server) << skip;
  ConnectionPtr c;
  Status s = OpenWith(server->With("ValeSystem"), &c);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(c->Errors().front().native_error, 4060);
  EXPECT_FALSE(std::filesystem::exists(server->dir() + "/valesystem.db")) << "opening must not create it";

  // With no catalog the server's scratch database answers, and the system
  // database can be created from there, once.
  ASSERT_TRUE(OpenWith(server->server(), &c).ok());
  ASSERT_TRUE(suite::CreateSystemDatabase(*c).ok());
  s = c->Execute(Statement("CREATE DATABASE valesystem"));
  EXPECT_EQ(c->Errors().front().native_error, 1801);
  s = OpenWith(server->With("ValeSystem;Initial Catalog=../../etc/passwd"), &c);
  EXPECT_FALSE(s.ok());
}

// A closed embedded connection leaves its session for the next Open of the
// same string, but never one whose files were replaced meanwhile, and never
// one left inside a transaction.
TEST(ConnectionTest, AKeptSessionServesOnlyTheFilesItOpened) {
  std::string skip;
  auto server = testing::ScratchServer::Make(testing::ScratchServer::Kind::kSqlite, &skip);
  ASSERT_TRUE(server) << skip;
  const std::string dir = server->dir();
  auto make = [&](const char* marker) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ConnectionPtr c;
    ASSERT_TRUE(OpenWith(server->server(), &c).ok());
    ASSERT_TRUE(suite::CreateSystemDatabase(*c).ok());
    ASSERT_TRUE(c->Execute(Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES ('ZZ',?)").Bind(marker)).ok());
  };
  auto marker = [&](ConnectionPtr* c) {
    ResultSet rs;
    EXPECT_TRUE(OpenWith(server->With("ValeSystem"), c).ok());
    EXPECT_TRUE((*c)->Query(Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id='ZZ'"), &rs).ok());
    return rs.rows() == 1 ? rs.at(0, 0).ToString() : std::string("none");
  };
  make("first");
  ConnectionPtr c;
  EXPECT_EQ(marker(&c), "first");
  c->Close();  // kept
  make("second");
  EXPECT_EQ(marker(&c), "second") << "a session of the removed file answered";
  ASSERT_TRUE(c->BeginTrans().ok());
  ASSERT_TRUE(c->Execute(Statement("UPDATE UA_SubSys SET cSub_Name='third' WHERE cSub_Id='ZZ'")).ok());
  c->Close();  // inside a transaction: rolled back and closed, not kept
  EXPECT_EQ(marker(&c), "second");
  ASSERT_TRUE(c->BeginTrans().ok()) << "the session is not left in a transaction";
  ASSERT_TRUE(c->RollbackTrans().ok());
}

TEST(ConnectionTest, PostgresServerThatRefuses) {
  const char* pg = std::getenv("TARN_TEST_PG_CONNECT");
  if (!pg) TARN_SKIP_WITHOUT_BACKEND("TARN_TEST_PG_CONNECT not set (scripts/test starts a server and sets it)");
  ConnectionString cs;
  ASSERT_TRUE(ConnectionString::Parse(pg, &cs).ok());
  ConnectionPtr c;
  Status s = OpenWith(
      "Provider=PostgreSQL;Data Source=" + cs.Get("Data Source") + ";User ID=" + cs.Get("User ID") + ";Password=wrong",
      &c);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(c->Errors().front().native_error, 18456);
  EXPECT_NE(s.message().find("password"), std::string::npos) << s.message();
  s = OpenWith("Provider=PostgreSQL;Data Source=127.0.0.1:1/tarn;User ID=x", &c);
  EXPECT_EQ(c->Errors().front().native_error, 17);
  s = OpenWith(std::string(pg) + ";Initial Catalog=NoSuchCatalog", &c);
  EXPECT_EQ(c->Errors().front().native_error, 4060);
}

// Provider=ODBC, and a provider aliased to it, reach the driver that a DSN
// names; ADO's Data Source, User ID and Password are the DSN, UID and PWD.
TEST(ConnectionTest, OdbcReachesTheDriverItsDsnNames) {
  std::string skip;
  auto server = testing::ScratchServer::Make(testing::ScratchServer::Kind::kOdbc, &skip);
  if (!server) TARN_SKIP_WITHOUT_BACKEND(skip);
  ConnectionString cs;
  ASSERT_TRUE(ConnectionString::Parse(server->server(), &cs).ok());
  testing::FakeEnv env;
  testing::FakeEnvScope scope(env);
  const std::string ini = ::testing::TempDir() + "tarn-odbc-" + std::to_string(getpid()) + ".ini";
  std::ofstream(ini) << "[tarn_scratch]\nDriver=" << cs.GetExact("Driver").substr(1, cs.GetExact("Driver").size() - 2)
                     << "\nServername=" << cs.GetExact("Server") << "\nPort=" << cs.GetExact("Port")
                     << "\nDatabase=" << cs.GetExact("Database") << "\n";
  ::setenv("ODBCINI", ini.c_str(), 1);
  struct Cleanup {
    std::string file;
    ~Cleanup() {
      ::unsetenv("ODBCINI");
      std::remove(file.c_str());
    }
  } cleanup{ini};
  const std::string credentials = ";Uid=" + cs.GetExact("Uid") + ";Pwd=" + cs.GetExact("Pwd");
  ConnectionPtr c;
  ASSERT_TRUE(OpenWith("Provider=ODBC;DSN=tarn_scratch" + credentials, &c).ok()) << c->Errors().front().description;
  EXPECT_EQ(c->flavor(), Flavor::kPostgres);
  env.registry.SetString(kProviderAliasKey, "SQLOLEDB.1", "ODBC");
  Status s = OpenWith("Provider=SQLOLEDB.1;User ID=" + cs.GetExact("Uid") + ";PassWord=" + cs.GetExact("Pwd") +
                          ";Data Source=tarn_scratch",
                      &c);
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(c->flavor(), Flavor::kPostgres);
}

}  // namespace
}  // namespace tarn::db
