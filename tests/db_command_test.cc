// tarn db as people and scripts use it, and several processes on one data
// directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <string>

#include "db/connection.h"
#include "support/scratch_server.h"

namespace tarn {
namespace {

// Runs a program of the build (the tool, unless named) through the shell;
// returns its exit code, output in `out`. `cwd` is where files that the
// tool writes beside the database land. `env` goes before the command:
// "env -u DISPLAY", "NAME=value".
int Tarn(const std::string& args, std::string* out, const std::string& cwd = "/tmp", const std::string& env = "",
         const std::string& program = "tarn") {
  const std::string cmd =
      "cd '" + cwd + "' && " + env + " " + std::string(TARN_BIN_DIR) + "/" + program + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::array<char, 4096> buf;
  out->clear();
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out->append(buf.data(), n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DbCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string skip;
    server_ = testing::ScratchServer::Make(testing::ScratchServer::Kind::kSqlite, &skip);
    ASSERT_TRUE(server_) << skip;
    dir_ = server_->dir() + "/data dir";  // a space, quoted through the shell
    std::string out;
    ASSERT_EQ(Tarn("db init --data '" + dir_ + "' --demo", &out), 0) << out;
  }

  std::string Query(const std::string& args) {
    std::string out;
    EXPECT_EQ(Tarn("db query --data '" + dir_ + "' " + args, &out), 0) << out;
    return out;
  }

  std::unique_ptr<testing::ScratchServer> server_;
  std::string dir_;
};

TEST_F(DbCommandTest, InitAndQuery) {
  EXPECT_EQ(Query("\"SELECT count(*) FROM UA_Period WHERE cAcc_id='001'\""), "count(*)\n37\n");
  EXPECT_EQ(Query("--bind bob \"SELECT cUser_Id, cUser_Name, cDept FROM UA_User WHERE cUser_Id=?\""),
            "cUser_Id\tcUser_Name\tcDept\nBOB\tBob Li\tPayables\n");
  std::string out;
  EXPECT_NE(Tarn("db init --data '" + dir_ + "'", &out), 0) << "a second init must not overwrite";
  EXPECT_NE(out.find("already exists"), std::string::npos) << out;
  EXPECT_NE(Tarn("db query --data '" + dir_ + "' \"SELECT cNothing FROM UA_User\"", &out), 0);
  EXPECT_NE(out.find("no such column"), std::string::npos) << out;
  EXPECT_EQ(Tarn("db query \"SELECT 1\"", &out), 2) << "usage without a database";
}

// The demo sends the compact build's SQL Server strings to its SQLite
// files and gives the dialog its host database.
TEST_F(DbCommandTest, TheDemoServesTheCompactDialog) {
  const std::string registry = dir_ + "/registry.reg";
  const std::string host = "Provider=SQLOLEDB.1;User ID=sa;PassWord=x;Initial Catalog=TarnHost;Data Source=" + dir_;
  // Each test runs in a process of its own: its environment is its own.
  setenv("TARN_REGISTRY", registry.c_str(), 1);
  for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(display);
  std::string out;
  EXPECT_EQ(Tarn("db query --connect '" + host + "' 'SELECT count(*) FROM sys_path'", &out), 0) << out;
  EXPECT_EQ(out, "count(*)\n0\n");
  // Without a display the dialog says so instead of failing inside Qt.
  EXPECT_EQ(Tarn("compact --conn '" + host + "'", &out), 1);
  EXPECT_NE(out.find("no display"), std::string::npos) << out;
  unsetenv("TARN_REGISTRY");
}

TEST_F(DbCommandTest, QueriesAnswerAsJsonAndCsv) {
  std::string out;
  ASSERT_EQ(Tarn("db query --data '" + dir_ +
                     "' --json --bind 001 \"SELECT cAcc_Id, iYear, cAcc_Name FROM "
                     "UA_Account WHERE cAcc_Id=?\"",
                 &out),
            0)
      << out;
  EXPECT_NE(out.find("\"cAcc_Id\": \"001\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"cAcc_Name\": \"Tarn Demo Trading\""), std::string::npos) << out;
  // A field with a comma or a quote is quoted; NULL is the empty field.
  ASSERT_EQ(Tarn("db query --data '" + dir_ + "' --csv --bind 'a, \"b\"' \"SELECT ? AS v, NULL AS n\"", &out), 0)
      << out;
  EXPECT_EQ(out, "v,n\n\"a, \"\"b\"\"\",\n");
  EXPECT_EQ(Tarn("db query --data '" + dir_ + "' --json --csv \"SELECT 1\"", &out), 2) << out;
}

// The stock sqlite3 shell, with our collations: the user id compares as
// the component compares it, in any case.
TEST_F(DbCommandTest, TheShellIsTheStockSqliteWithOurCollations) {
#if defined(__SANITIZE_ADDRESS__)
  // The stock shell is not sanitized, and a sanitized extension cannot be
  // loaded into it; the plain build runs this.
  GTEST_SKIP() << "the collation extension is sanitized in this build";
#endif
  std::ofstream(dir_ + "/query.sql") << "SELECT cUser_Name FROM UA_User WHERE cUser_Id='alice';\n";
  std::string out;
  ASSERT_EQ(Tarn("db shell --data '" + dir_ + "' < '" + dir_ + "/query.sql'", &out), 0) << out;
  EXPECT_EQ(out, "Alice Chen\n");
  EXPECT_EQ(Tarn("db shell --data '" + dir_ + "/nowhere'", &out), 1);
  EXPECT_NE(out.find("no system database"), std::string::npos) << out;
}

// Every command explains itself; what it does not know ends with 2.
TEST(CommandLineTest, HelpVersionAndUnknownOptions) {
  std::string out;
  EXPECT_EQ(Tarn("--version", &out), 0);
  EXPECT_EQ(out.rfind("tarn ", 0), 0u) << out;
  for (const char* help : {"--help", "db --help", "db query --help", "tasks --help", "tasks try --help",
                           "session --help", "service --help", "token --help", "compact --help", "regsvr --help"}) {
    EXPECT_EQ(Tarn(help, &out), 0) << help << ": " << out;
    EXPECT_NE(out.find("Usage: tarn"), std::string::npos) << help << ": " << out;
  }
  for (const char* bad :
       {"frobnicate", "--bogus", "db", "db query --data /tmp --bogus \"SELECT 1\"", "tasks --data /tmp --connect x",
        "service --lease-seconds 0", "session --extended x", "token --user U --sub GL --password secret"}) {
    EXPECT_EQ(Tarn(std::string(bad) + " </dev/null", &out), 2) << bad << ": " << out;
    EXPECT_FALSE(out.empty()) << bad;
  }
  // Refused before anything else is looked at: no database is needed to see it.
  EXPECT_EQ(Tarn("service --lease-seconds 119 </dev/null", &out), 2);
  EXPECT_NE(out.find("--lease-seconds 119 is shorter than twice the heartbeat (2 x 60 s)"), std::string::npos) << out;
}

// tarn compact needs a desktop a person sees; without one, or with one that
// does not answer, it says so and fails instead of waiting or aborting.
TEST_F(DbCommandTest, CompactWithoutAUsableDisplayFails) {
  const std::string args =
      "compact --conn \"Provider=SQLite;Data Source=" + dir_ + ";Initial Catalog=TarnHost\" </dev/null";
  struct Case {
    const char* env;
    const char* says;
  };
  for (const Case& c : {Case{"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "no display"},
                        Case{"env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen DISPLAY=:0", "no display"},
                        Case{"env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:77", "cannot show the dialog"}}) {
    std::string out;
    EXPECT_EQ(Tarn(args, &out, "/tmp", std::string(c.env) + " TARN_REGISTRY='" + dir_ + "/registry.reg'"), 1)
        << c.env << ": " << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << c.env << ": " << out;
  }
  // A host that links only the library, with no handler of its own for
  // Qt's fatal errors, is told too, in C++ and through the C interface.
  const std::string conn = "\"Provider=SQLite;Data Source=" + dir_ + ";Initial Catalog=TarnHost\"";
  for (const Case& c :
       {Case{"env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:77", "could not connect to display :77"},
        Case{"env -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=/nonexistent/wayland-9",
             "could not connect to the Wayland display /nonexistent/wayland-9"}}) {
    std::string out;
    EXPECT_EQ(
        Tarn(conn, &out, "/tmp", std::string(c.env) + " TARN_REGISTRY='" + dir_ + "/registry.reg'", "compact_host"), 0)
        << c.env << ": " << out;
    EXPECT_NE(out.find(std::string("C++ Login: error 5: cannot show the dialog: ") + c.says), std::string::npos)
        << c.env << ": " << out;
    EXPECT_NE(out.find(std::string("C Login: error 5: cannot show the dialog: ") + c.says), std::string::npos)
        << c.env << ": " << out;
  }
}

TEST_F(DbCommandTest, InjectionThroughBindIsText) {
  const std::string id = "'; DROP TABLE UA_task; --";
  EXPECT_EQ(Query("--bind \"" + id +
                  "\" \"INSERT INTO UA_task (cAcc_Id,cTaskId,cAuth_Id,iLogId) VALUES "
                  "('001',?,'reg',1)\""),
            "(1 rows affected)\n");
  EXPECT_EQ(Query("--bind \"" + id + "\" \"SELECT cTaskId FROM UA_task WHERE cTaskId=?\""), "cTaskId\n" + id + "\n");
  EXPECT_EQ(Query("--bind \"' OR '1'='1\" \"SELECT count(*) FROM UA_task WHERE cTaskId=?\""), "count(*)\n0\n");
}

// Rows committed by another process show at once, also through a
// statement this process has already prepared and run.
TEST_F(DbCommandTest, OtherProcessesSeeCommittedRows) {
  auto conn = db::Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir_ + ";Initial Catalog=ValeSystem", "", "").ok());
  auto count = [&] {
    db::ResultSet rs;
    EXPECT_TRUE(
        conn->Query(db::Statement("SELECT count(*) FROM UA_task with(nolock) WHERE cTaskId=?").Bind("P2"), &rs).ok());
    return rs.rows() == 1 ? rs.at(0, 0).ToInt32() : -1;
  };
  EXPECT_EQ(count(), 0);
  Query("\"INSERT INTO UA_task (cAcc_Id,cTaskId,cAuth_Id,iLogId) VALUES ('001','P2','reg',2)\"");
  EXPECT_EQ(count(), 1);

  ASSERT_TRUE(conn->Execute(db::Statement("INSERT INTO UA_task (cAcc_Id,cTaskId,cAuth_Id,iLogId) VALUES (?,?,?,?)")
                                .Bind("001")
                                .Bind("P1")
                                .Bind("reg")
                                .Bind(3.0))
                  .ok());
  EXPECT_EQ(Query("\"SELECT cTaskId FROM UA_task WHERE cTaskId='p1'\""), "cTaskId\nP1\n");
}

// Everything init writes holds keys, hashes or data: its owner's alone.
TEST_F(DbCommandTest, InitWritesFilesOnlyTheirOwnerReads) {
  std::string out;
  ASSERT_EQ(Tarn("db query --data '" + dir_ + "' \"UPDATE UA_User SET cDept='x' WHERE cUser_Id='BOB'\"", &out), 0)
      << out;  // a write makes the journal files too
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    struct stat st;
    ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << entry.path() << " is readable by others";
    ++files;
  }
  EXPECT_GE(files, 10);  // registry, two keys, the system and six account databases
  struct stat st;
  ASSERT_EQ(stat(dir_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/service.key"));
}

// Passwords never travel on the command line; they come from standard
// input (or the terminal).
TEST_F(DbCommandTest, PasswordsComeFromStandardInputNotArguments) {
  std::string out;
  const std::string registry = "TARN_REGISTRY='" + dir_ + "/registry.reg' ";
  EXPECT_EQ(Tarn("token --user BOB --password bob --sub GL --acc 001 --year 2024", &out), 2);
  EXPECT_NE(out.find("not taken on the command line"), std::string::npos) << out;
  const std::string cmd = "cd /tmp && echo bob | " + registry + std::string(TARN_BIN_DIR) +
                          "/tarn token --user BOB --password-stdin --sub GL --acc 001 --year 2024 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096] = {};
  const size_t n = fread(buf, 1, sizeof buf - 1, p);
  EXPECT_EQ(pclose(p), 0) << std::string(buf, n);
  EXPECT_EQ(std::string(buf, n).rfind("t1.", 0), 0u) << std::string(buf, n);
  // A connection string can come from a file, so that its password stays
  // out of the process list.
  std::ofstream(dir_ + "/connect.txt") << "Provider=SQLite;Data Source=" << dir_ << ";Initial Catalog=ValeSystem\n";
  EXPECT_EQ(Tarn("db query --connect-file '" + dir_ + "/connect.txt' \"SELECT count(*) FROM UA_Account\"", &out), 0)
      << out;
  EXPECT_EQ(out, "count(*)\n2\n");
}

// The same on a server: init through --connect, query with the catalog.
TEST(DbCommandServerTest, InitAndQueryOnPostgres) {
  std::string skip;
  auto server = testing::ScratchServer::Make(testing::ScratchServer::Kind::kPostgres, &skip);
  if (!server) TARN_SKIP_WITHOUT_BACKEND(skip);
  std::string skip_dir;
  auto scratch = testing::ScratchServer::Make(testing::ScratchServer::Kind::kSqlite, &skip_dir);
  ASSERT_TRUE(scratch) << skip_dir;
  std::string out;
  ASSERT_EQ(Tarn("db init --connect '" + server->server() + "' --demo", &out, scratch->dir()), 0) << out;
  EXPECT_EQ(out.find(server->server()), std::string::npos) << "the password is masked: " << out;
  ASSERT_EQ(Tarn("db query --connect '" + server->With("ValeSystem") +
                     "' \"SELECT count(*) FROM UA_Period WHERE cAcc_id='001'\"",
                 &out),
            0)
      << out;
  EXPECT_EQ(out, "count\n37\n");
}

}  // namespace
}  // namespace tarn
