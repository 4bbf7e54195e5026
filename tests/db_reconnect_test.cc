// A restart of the PostgreSQL server under open connections: a connection
// and a signed-on station go on without being opened or signed on again,
// and a transaction that the restart cut short fails and leaves nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/log.h"
#include "support/fake_env.h"
#include "support/scratch_demo.h"
#include "tarn/login.h"

namespace tarn::db {
namespace {

using testing::ScratchServer;

// A server of the test's own, from scripts/lib/pg-start: restarting the
// suite's shared one would end the sessions of every test that runs beside
// this one. While it stands, TARN_TEST_PG_CONNECT and TARN_TEST_ODBC_CONNECT
// name it.
class PrivateServer {
 public:
  // False with `*skip` set when no server can be started here.
  bool Start(std::string* skip) {
    const char* scripts = std::getenv("TARN_PG_SCRIPTS");
    if (!scripts) {
      *skip = "TARN_PG_SCRIPTS not set (scripts/lib/pg-start sets it)";
      return false;
    }
    scripts_ = scripts;
    FILE* out = popen(("'" + scripts_ + "/pg-start' 2>/dev/null").c_str(), "r");
    if (!out) return false;
    char line[1024];
    while (std::fgets(line, sizeof line, out)) {
      std::string l(line);  // export NAME='value'
      const size_t eq = l.find('='), open = l.find('\''), close = l.rfind('\'');
      if (l.rfind("export ", 0) != 0 || eq == std::string::npos || close <= open) continue;
      vars_[l.substr(7, eq - 7)] = l.substr(open + 1, close - open - 1);
    }
    if (pclose(out) != 0 || !vars_.count("TARN_PG_DIR") || !vars_.count("TARN_TEST_PG_CONNECT")) {
      *skip = "scripts/lib/pg-start could not start a server";
      return false;
    }
    for (const char* name : kNames) {
      if (const char* old = std::getenv(name)) saved_[name] = old;
      setenv(name, vars_[name].c_str(), 1);
    }
    return true;
  }

  ~PrivateServer() {
    if (!vars_.count("TARN_PG_DIR")) return;
    for (const char* name : kNames) {
      if (saved_.count(name)) {
        setenv(name, saved_[name].c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
    (void)std::system(("TARN_PG_DIR='" + vars_["TARN_PG_DIR"] + "' TARN_PG_BIN='" + vars_["TARN_PG_BIN"] + "' '" +
                       scripts_ + "/pg-stop'")
                          .c_str());
  }

  // A fast shutdown ends every session, as an administrator's restart
  // does; the server comes back on its port with the options it had.
  bool Restart() {
    const std::string dir = vars_["TARN_PG_DIR"];
    const std::string cmd = std::string(geteuid() == 0 ? "runuser -u postgres -- " : "") + "'" + vars_["TARN_PG_BIN"] +
                            "/pg_ctl' -D '" + dir + "/data' -l '" + dir +
                            "/server.log' -w -t 30 restart -m fast >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  }

 private:
  static constexpr const char* kNames[] = {"TARN_TEST_PG_CONNECT", "TARN_TEST_ODBC_CONNECT"};
  std::string scripts_;
  std::map<std::string, std::string> vars_, saved_;
};

class LogLines {
 public:
  LogLines() {
    SetDbLog([this](const std::string& line) {
      std::lock_guard lock(mu_);
      lines_.push_back(line);
    });
  }
  ~LogLines() { SetDbLog(nullptr); }
  int Count(const std::string& part) {
    std::lock_guard lock(mu_);
    int n = 0;
    for (const std::string& line : lines_) n += line.find(part) != std::string::npos;
    return n;
  }

 private:
  std::mutex mu_;
  std::vector<std::string> lines_;
};

int64_t CountOf(Connection& c, const Statement& st) {
  ResultSet rs;
  if (!c.Query(st, &rs).ok() || rs.rows() == 0) return -1;
  return static_cast<int64_t>(rs.at(0, 0).ToDouble());
}

TEST(ConnectionTest, PostgresRestartIsMetByReopening) {
  std::string skip;
  PrivateServer server;
  if (!server.Start(&skip)) TARN_SKIP_WITHOUT_BACKEND(skip);
  auto demo = testing::ScratchDemo::Make(ScratchServer::Kind::kPostgres, &skip);
  if (!demo) TARN_SKIP_WITHOUT_BACKEND(skip);
  testing::FakeEnv env;
  testing::UseDemoDatabase(env, demo->db());
  env.random_step = 0.0137;
  testing::FakeEnvScope scope(env);
  LogLines log;

  // A catalog chosen by USE after the open, and a prepared statement.
  ConnectionPtr reader = Connection::Create();
  ASSERT_TRUE(reader->Open(demo->server().server(), "", "").ok());
  ASSERT_TRUE(reader->Execute(Statement("USE ValeSystem")).ok());
  const Statement accounts = Statement("SELECT count(*) FROM UA_Account WHERE cAcc_Id<>?").Bind("none");
  const int64_t before = CountOf(*reader, accounts);
  ASSERT_GT(before, 0);
  // Through ODBC the driver learns of the loss only from the statement
  // that meets it; a read then runs again.
  auto odbc_server = ScratchServer::Make(ScratchServer::Kind::kOdbc, &skip);
  ASSERT_TRUE(odbc_server) << skip;
  ConnectionPtr odbc = Connection::Create();
  ASSERT_TRUE(odbc->Open(odbc_server->server(), "", "").ok()) << odbc->Errors().front().description;
  const Statement databases = Statement("SELECT count(*) FROM pg_database WHERE datname<>?").Bind("none");
  const int64_t database_count = CountOf(*odbc, databases);
  ASSERT_GT(database_count, 0);
  // A transaction with a write in it.
  ConnectionPtr writer = Connection::Create();
  ASSERT_TRUE(writer->Open(demo->db().system_database, "", "").ok());
  const Statement insert = Statement("INSERT INTO UA_Account (cAcc_Id,cAcc_Name) VALUES ('R9',?)").Bind("Restart");
  ASSERT_TRUE(writer->BeginTrans().ok());
  ASSERT_TRUE(writer->Execute(insert).ok());
  // A station signed on, holding a function.
  auto station = std::make_unique<clsLogin>();
  station->set_cWebClient("ST1");
  LoginParams p{"GL", "001", "2024", "ALICE", "alice", "2024-03-15", "", ""};
  ASSERT_TRUE(station->Login(p)) << station->ShareString();
  ASSERT_TRUE(station->TaskExec("GL0101", -1)) << station->ShareString();

  ASSERT_TRUE(server.Restart());

  EXPECT_EQ(CountOf(*reader, accounts), before) << reader->Errors().front().description;
  EXPECT_EQ(reader->CurrentCatalog(), "ValeSystem");
  EXPECT_EQ(reader->Reopens(), 1);
  EXPECT_EQ(CountOf(*odbc, databases), database_count) << odbc->Errors().front().description;
  EXPECT_EQ(odbc->Reopens(), 1);

  // The restart ended the transaction: its next statement fails with the
  // server's reason, the rollback asks nothing, the next one works.
  EXPECT_FALSE(writer->Execute(Statement("UPDATE UA_Account SET cAcc_Name='x' WHERE cAcc_Id='R9'")).ok());
  ASSERT_FALSE(writer->Errors().empty());
  EXPECT_NE(writer->Errors().front().description.find("terminating connection"), std::string::npos)
      << writer->Errors().front().description;
  EXPECT_FALSE(writer->CommitTrans().ok()) << "a transaction the restart ended cannot commit";
  EXPECT_TRUE(writer->RollbackTrans().ok());
  ASSERT_TRUE(writer->BeginTrans().ok()) << writer->Errors().front().description;
  ASSERT_TRUE(writer->Execute(insert).ok()) << writer->Errors().front().description;
  ASSERT_TRUE(writer->CommitTrans().ok());
  EXPECT_EQ(CountOf(*reader, Statement("SELECT count(*) FROM UA_Account WHERE cAcc_Id='R9'")), 1);

  // The station's system connection came back without a new sign-on.
  EXPECT_TRUE(station->TaskExec("GL0102", -1)) << station->ShareString();
  EXPECT_TRUE(station->TaskExec("GL0101", 0)) << station->ShareString();
  EXPECT_GE(log.Count("lost the connection"), 3);
  EXPECT_GE(log.Count("reopened the connection"), 3);
  EXPECT_EQ(log.Count("inside a transaction"), 1);
}

}  // namespace
}  // namespace tarn::db
