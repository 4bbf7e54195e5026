// Stations that die at the worst moment: a `tarn session` killed just
// before each write of its sign-on leaves either no rows or rows whose task
// the management service knows, so that its lease releases them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"

namespace tarn {
namespace {

int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::string text;
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  if (out) *out = text;
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

TEST(CrashDrillTest, AStationKilledAtAnyWriteOfItsSignOnLeavesNothingTheLeaseCannotRelease) {
  std::string dir = ::testing::TempDir() + "tarn-drill-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string tarn = std::string(TARN_BIN_DIR) + "/tarn";
  std::string out;
  ASSERT_EQ(Shell(tarn + " db init --data " + dir + " --demo", &out), 0) << out;
  std::ofstream(dir + "/registry.reg", std::ios::app) << "\"LeaseSeconds\"=\"1\"\n";
  std::ofstream(dir + "/signon.txt") << "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"2024-03-15\"\n";
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC01 ";

  auto conn = db::Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem", "", "").ok());
  int killed = 0;
  for (int at = 1; at <= 40; ++at) {
    const int rc = Shell(env + "TARN_DRILL_KILL_AT_WRITE=" + std::to_string(at) + " " + tarn + " session < " + dir +
                       "/signon.txt", &out);
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

  // A lease later, the next station's first call releases what the dead
  // ones left.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  std::ofstream(dir + "/list.txt") << "RemoteExec \"list\"\n";
  ASSERT_EQ(Shell(env + tarn + " session < " + dir + "/list.txt", &out), 0) << out;
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_task"), 0);
  EXPECT_EQ(Count(*conn, "SELECT count(*) FROM UA_log WHERE cAuth_Id='reg' AND dOutTime IS NULL"), 0);
}

}  // namespace
}  // namespace tarn
