// Stations that die at the worst moment: a `tarn session` killed just
// before each write of its sign-on leaves either no rows or rows whose task
// the management service knows, so that its lease releases them; and
// stations killed at random moments of sign-on, registration and release,
// two at a time, leave a database that is sound and that the lease clears.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "support/shell.h"

namespace tarn {
namespace {

using testing::Shell;

int64_t Count(db::Connection& conn, const std::string& sql) {
  db::ResultSet rs;
  EXPECT_TRUE(conn.Query(db::Statement(sql), &rs).ok()) << sql;
  return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
}

std::vector<double> Numbers(db::Connection& conn, const std::string& sql) {
  db::ResultSet rs;
  EXPECT_TRUE(conn.Query(db::Statement(sql), &rs).ok()) << sql;
  std::vector<double> out;
  for (size_t r = 0; r < rs.rows(); ++r) out.push_back(Variant(rs.at(r, 0).ToString()).ToDouble());
  return out;
}

// A station's calls look at the leases; the second look, a lease later on
// its own clock, releases what stood still since the first.
constexpr char kWatchALease[] = "RemoteExec \"list\"\n:advance 3\nRemoteExec \"list\"\n";

TEST(CrashDrillTest, AStationKilledAtAnyWriteOfItsSignOnLeavesNothingTheLeaseCannotRelease) {
  std::string dir = ::testing::TempDir() + "tarn-drill-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string tarn = std::string(TARN_BIN_DIR) + "/tarn";
  std::string out;
  ASSERT_EQ(Shell(tarn + " db init --data " + dir + " --demo", &out), 0) << out;
  std::ofstream(dir + "/registry.reg", std::ios::app) << "\"HeartbeatSeconds\"=\"1\"\n\"LeaseSeconds\"=\"2\"\n";
  std::ofstream(dir + "/signon.txt") << "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"2024-03-15\"\n";
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC01 ";

  auto conn = db::Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem", "", "").ok());
  int killed = 0;
  for (int at = 1; at <= 40; ++at) {
    const int rc =
        Shell(env + "TARN_DRILL_KILL_AT_WRITE=" + std::to_string(at) + " " + tarn + " session < " + dir + "/signon.txt",
              &out);
    if (rc == 0) break;  // the sign-on got through before its `at`th write
    ++killed;
    // Whatever the moment, no task row exists that the service does not know.
    EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_task WHERE cTaskId NOT IN (SELECT cTaskId FROM TarnServiceTask)"),
              0)
        << "killed before write " << at;
    // An open login entry belongs to a row or to a task the service knows
    // (its log id is the task id), so that the lease closes it.
    for (double log_id : Numbers(*conn, "SELECT iLogId FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL")) {
      const std::vector<double> rows = Numbers(*conn, "SELECT iLogId FROM UA_task");
      const std::vector<double> known = Numbers(*conn, "SELECT cTaskId FROM TarnServiceTask");
      EXPECT_TRUE(std::count(rows.begin(), rows.end(), log_id) + std::count(known.begin(), known.end(), log_id) > 0)
          << "log entry " << log_id << " belongs to nothing, killed before write " << at;
    }
  }
  EXPECT_GE(killed, 3) << "the drill reached fewer writes than a sign-on makes";

  // A station that watches for a lease (its clock moved on by the
  // session) releases what the dead ones left.
  std::ofstream(dir + "/list.txt") << kWatchALease;
  ASSERT_EQ(Shell(env + tarn + " session < " + dir + "/list.txt", &out), 0) << out;
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_task"), 0);
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL"), 0);
}

// A station process: `tarn session` on `script`, with `env` added.
pid_t StartStation(const std::string& tarn, const std::string& script, const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int in = open(script.c_str(), O_RDONLY);
  const int null = open("/dev/null", O_WRONLY);
  if (in < 0 || null < 0) _exit(127);
  dup2(in, 0);
  dup2(null, 1);
  dup2(null, 2);
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  execl(tarn.c_str(), "tarn", "session", static_cast<char*>(nullptr));
  _exit(127);
}

// SQLite's own check of every page and index, through our connection, which
// knows the collations the indexes use.
std::string IntegrityCheck(const std::string& dir) {
  auto conn = db::Connection::Create();
  if (!conn->Open("Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem", "", "").ok()) return "no open";
  db::ResultSet rs;
  if (!conn->Query(db::Statement("PRAGMA integrity_check"), &rs).ok()) return "no check";
  std::string answer;
  for (size_t r = 0; r < rs.rows(); ++r) answer += rs.at(r, 0).ToStringOrEmpty();
  return answer;
}

// Two stations at a time, each killed at a random moment (by the clock, or
// just before a random write of its own), a few hundred times: the
// database passes its integrity check, and a lease later nothing of the
// dead stations is left.
TEST(CrashDrillTest, StationsKilledAtRandomMomentsLeaveASoundDatabaseThatTheLeaseClears) {
  std::string dir = ::testing::TempDir() + "tarn-crash-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string tarn = std::string(TARN_BIN_DIR) + "/tarn";
  std::string out;
  ASSERT_EQ(Shell(tarn + " db init --data " + dir + " --demo", &out), 0) << out;
  std::ofstream(dir + "/registry.reg", std::ios::app) << "\"HeartbeatSeconds\"=\"1\"\n\"LeaseSeconds\"=\"2\"\n";
  const char* users[][2] = {{"ALICE", "GL0101"}, {"BOB", "AP0102"}};
  for (int u = 0; u < 2; ++u) {
    std::ofstream(dir + "/station" + std::to_string(u) + ".txt")
        << "Login \"" << (u == 0 ? "GL" : "AP") << "\" \"001\" \"2024\" \"" << users[u][0] << "\" \""
        << (u == 0 ? "alice" : "bob") << "\" \"2024-03-15\"\n"
        << "TaskExec \"" << users[u][1] << "\" -1\n"
        << "TaskExec \"" << users[u][1] << "\" 0\n"
        << "TaskExec \"" << users[u][1] << "\" -1\n";
  }

  const int rounds = std::getenv("TARN_CRASH_ROUNDS") ? std::atoi(std::getenv("TARN_CRASH_ROUNDS")) : 150;
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  int by_clock = 0, by_write = 0, finished = 0;
  for (int round = 0; round < rounds; ++round) {
    pid_t pids[2];
    bool clock_kill[2];
    for (int u = 0; u < 2; ++u) {
      std::vector<std::string> env = {"TARN_REGISTRY=" + dir + "/registry.reg",
                                      "TARN_COMPUTERNAME=PC0" + std::to_string(u + 1)};
      clock_kill[u] = random() % 2 == 0;
      if (!clock_kill[u]) env.push_back("TARN_DRILL_KILL_AT_WRITE=" + std::to_string(1 + random() % 16));
      pids[u] = StartStation(tarn, dir + "/station" + std::to_string(u) + ".txt", env);
      ASSERT_GT(pids[u], 0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 250000));
    for (int u = 0; u < 2; ++u) {
      if (clock_kill[u]) kill(pids[u], SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(pids[u], &status, 0), pids[u]);
      if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        ++(clock_kill[u] ? by_clock : by_write);
      } else {
        ++finished;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a station failed on its own, round " << round;
      }
    }
  }
  EXPECT_GT(by_clock, rounds / 4);
  EXPECT_GT(by_write, rounds / 4);
  EXPECT_EQ(IntegrityCheck(dir), "ok");

  auto conn = db::Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem", "", "").ok());
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_task WHERE cTaskId NOT IN (SELECT cTaskId FROM TarnServiceTask)"), 0);
  std::ofstream(dir + "/list.txt") << kWatchALease;
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC09 ";
  ASSERT_EQ(Shell(env + tarn + " session < " + dir + "/list.txt", &out), 0) << out;
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_task"), 0);
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL"), 0);
  EXPECT_EQ(IntegrityCheck(dir), "ok");
  std::printf("%d stations killed by the clock, %d before a write, %d finished\n", by_clock, by_write, finished);
}

}  // namespace
}  // namespace tarn
