// Stations that die at the worst moment: a `tarn session` killed just
// before each write of its sign-on leaves either no rows or rows whose task
// the management service knows, so that its lease releases them; and
// stations killed at random moments of sign-on, registration and release,
// two at a time, leave a database that is sound and that the lease clears.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "db/connection.h"
#include "support/demo_installation.h"
#include "support/shell.h"

namespace tarn {
namespace {

using testing::DemoInstallation;
using testing::Shell;

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
  DemoInstallation demo;
  ASSERT_TRUE(demo.ok()) << demo.output();
  demo.ShortenLease();
  const std::string& dir = demo.dir();
  const std::string tarn = demo.tarn();
  std::string out;
  std::ofstream(dir + "/signon.txt") << "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"2024-03-15\"\n";
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC01 ";

  int killed = 0;
  for (int at = 1; at <= 40; ++at) {
    const int rc =
        Shell(env + "TARN_DRILL_KILL_AT_WRITE=" + std::to_string(at) + " " + tarn + " session < " + dir + "/signon.txt",
              &out);
    if (rc == 0) break;  // the sign-on got through before its `at`th write
    ++killed;
    // Whatever the moment, no task row exists that the service does not know.
    EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_task WHERE cTaskId NOT IN (SELECT cTaskId FROM TarnServiceTask)"), 0)
        << "killed before write " << at;
    // An open login entry belongs to a row or to a task the service knows
    // (its log id is the task id), so that the lease closes it.
    for (double log_id : Numbers(demo.conn(), "SELECT iLogId FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL")) {
      const std::vector<double> rows = Numbers(demo.conn(), "SELECT iLogId FROM UA_task");
      const std::vector<double> known = Numbers(demo.conn(), "SELECT cTaskId FROM TarnServiceTask");
      EXPECT_TRUE(std::count(rows.begin(), rows.end(), log_id) + std::count(known.begin(), known.end(), log_id) > 0)
          << "log entry " << log_id << " belongs to nothing, killed before write " << at;
    }
  }
  EXPECT_GE(killed, 3) << "the drill reached fewer writes than a sign-on makes";

  // A station that watches for a lease (its clock moved on by the
  // session) releases what the dead ones left.
  std::ofstream(dir + "/list.txt") << kWatchALease;
  ASSERT_EQ(Shell(env + tarn + " session < " + dir + "/list.txt", &out), 0) << out;
  EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_task"), 0);
  EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL"), 0);
}

// A station process: `tarn session` on `script`, with `env` added. With
// `writes`, the station tells of each write it starts on a pipe whose
// reading end `*writes` is.
pid_t StartStation(const std::string& tarn, const std::string& script, std::vector<std::string> env,
                   int* writes = nullptr) {
  int told[2] = {-1, -1};
  // Close-on-exec, so that the other station does not hold this one's pipe
  // open.
  if (writes && pipe2(told, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid != 0) {
    if (writes) {
      close(told[1]);
      *writes = told[0];
    }
    return pid;
  }
  const int in = open(script.c_str(), O_RDONLY);
  const int null = open("/dev/null", O_WRONLY);
  if (in < 0 || null < 0) _exit(127);
  dup2(in, 0);
  dup2(null, 1);
  dup2(null, 2);
  if (writes) {
    // Descriptor 3, open across the exec.
    if (told[1] == 3 ? fcntl(3, F_SETFD, 0) != 0 : dup2(told[1], 3) != 3) _exit(127);
    env.push_back("TARN_DRILL_WRITES_FD=3");
  }
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  execl(tarn.c_str(), "tarn", "session", static_cast<char*>(nullptr));
  _exit(127);
}

// SQLite's own check of every page and index, through our connection, which
// knows the collations the indexes use.
std::string IntegrityCheck(const DemoInstallation& demo) {
  auto conn = db::Connection::Create();
  if (!conn->Open(demo.system_database(), "", "").ok()) return "no open";
  db::ResultSet rs;
  if (!conn->Query(db::Statement("PRAGMA integrity_check"), &rs).ok()) return "no check";
  std::string answer;
  for (size_t r = 0; r < rs.rows(); ++r) answer += rs.at(r, 0).ToStringOrEmpty();
  return answer;
}

// Kills each station in `doomed` as soon as it tells of the start of the
// write it drew, while that write is under way; one that ends first is let
// be. false when a station neither told nor ended for half a minute.
struct Doomed {
  pid_t pid;
  int writes;  // the pipe the station tells of its writes on
  long at;     // the write it is killed in
  long told = 0;
};
bool KillDuringWrites(std::vector<Doomed> doomed) {
  while (!doomed.empty()) {
    std::vector<pollfd> fds;
    for (const Doomed& d : doomed) fds.push_back(pollfd{d.writes, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 30000) <= 0) return false;
    for (size_t i = fds.size(); i-- > 0;) {
      if (fds[i].revents == 0) continue;
      char buf[64];
      const ssize_t n = read(doomed[i].writes, buf, sizeof buf);
      doomed[i].told += n > 0 ? n : 0;
      if (n > 0 && doomed[i].told < doomed[i].at) continue;
      if (n > 0) kill(doomed[i].pid, SIGKILL);
      close(doomed[i].writes);
      doomed.erase(doomed.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return true;
}

// Two stations at a time, each killed at a random moment (while a random
// write of its own is under way, or just before one), a few hundred times:
// the database passes its integrity check, and a lease later nothing of
// the dead stations is left.
TEST(CrashDrillTest, StationsKilledAtRandomMomentsLeaveASoundDatabaseThatTheLeaseClears) {
  DemoInstallation demo;
  ASSERT_TRUE(demo.ok()) << demo.output();
  demo.ShortenLease();
  const std::string& dir = demo.dir();
  const std::string tarn = demo.tarn();
  std::string out;
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
  int during_write = 0, before_write = 0, finished = 0;
  for (int round = 0; round < rounds; ++round) {
    pid_t pids[2];
    bool during[2];
    std::vector<Doomed> doomed;
    for (int u = 0; u < 2; ++u) {
      std::vector<std::string> env = {"TARN_REGISTRY=" + dir + "/registry.reg",
                                      "TARN_COMPUTERNAME=PC0" + std::to_string(u + 1)};
      const std::string script = dir + "/station" + std::to_string(u) + ".txt";
      const long at = 1 + static_cast<long>(random() % 16);
      during[u] = random() % 2 == 0;
      if (during[u]) {
        int writes = -1;
        pids[u] = StartStation(tarn, script, env, &writes);
        doomed.push_back(Doomed{pids[u], writes, at});
      } else {
        env.push_back("TARN_DRILL_KILL_AT_WRITE=" + std::to_string(at));
        pids[u] = StartStation(tarn, script, env);
      }
      ASSERT_GT(pids[u], 0);
    }
    EXPECT_TRUE(KillDuringWrites(doomed)) << "a station hung, round " << round;
    for (int u = 0; u < 2; ++u) {
      int status = 0;
      ASSERT_EQ(waitpid(pids[u], &status, 0), pids[u]);
      if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        ++(during[u] ? during_write : before_write);
      } else {
        ++finished;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a station failed on its own, round " << round;
      }
    }
  }
  EXPECT_GT(during_write, rounds / 4);
  EXPECT_GT(before_write, rounds / 4);
  EXPECT_EQ(IntegrityCheck(demo), "ok");

  EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_task WHERE cTaskId NOT IN (SELECT cTaskId FROM TarnServiceTask)"), 0);
  std::ofstream(dir + "/list.txt") << kWatchALease;
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC09 ";
  ASSERT_EQ(Shell(env + tarn + " session < " + dir + "/list.txt", &out), 0) << out;
  EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_task"), 0);
  EXPECT_EQ(demo.Count("SELECT count(*) FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL"), 0);
  EXPECT_EQ(IntegrityCheck(demo), "ok");
  std::printf("%d stations killed during a write, %d just before one, %d finished\n", during_write, before_write,
              finished);
}

}  // namespace
}  // namespace tarn
