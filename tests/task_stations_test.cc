// Task control as stations see it: `tarn session` processes that sign on to
// the demo and open functions, the lock viewer beside them, and a station
// that dies while it holds functions.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "support/demo_installation.h"
#include "support/service_process.h"
#include "support/session_process.h"
#include "support/shell.h"
#include "support/wait.h"

namespace tarn {
namespace {

using testing::SessionProcess;

using testing::Shell;

class TaskStationsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(demo_.ok()) << demo_.output(); }

  std::vector<std::string> Env(const std::string& station) const {
    return {"TARN_REGISTRY=" + dir_ + "/registry.reg", "TARN_LANG=en-us", "TARN_COMPUTERNAME=" + station};
  }

  std::string Tasks(const std::string& args = "") {
    std::string out;
    EXPECT_EQ(Shell(tarn_ + " tasks --data " + dir_ + " " + args, &out), 0) << out;
    return out;
  }

  int64_t Count(const std::string& sql) { return demo_.Count(sql); }

  static std::string SignOn(const char* acc, const char* user) {
    std::string password = user;
    for (char& c : password) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::string("Login \"GL\" \"") + acc + "\" \"2024\" \"" + user + "\" \"" + password + "\" \"2024-03-15\"";
  }

  testing::DemoInstallation demo_;
  const std::string dir_ = demo_.dir();
  const std::string tarn_ = demo_.tarn();
};

// The story of the task-control issue, by three stations.
TEST_F(TaskStationsTest, AnExclusiveFunctionHoldsItsYearAgainstOtherStations) {
  SessionProcess pc01(Env("PC01")), pc02(Env("PC02")), pc03(Env("PC03"));
  ASSERT_EQ(pc01.Ask(SignOn("001", "ALICE"))["result"], true);
  ASSERT_EQ(pc01.Ask("TaskExec \"GL0201\" -1")["result"], true);
  std::string listed = Tasks();
  EXPECT_NE(listed.find("GL0201"), std::string::npos) << listed;
  EXPECT_NE(listed.find("Month-end closing"), std::string::npos) << listed;

  ASSERT_EQ(pc02.Ask(SignOn("001", "DEMO"))["result"], true);
  nlohmann::json refused = pc02.Ask("TaskExec \"GL0101\" -1");
  EXPECT_EQ(refused["result"], false);
  EXPECT_EQ(refused["LogState"], 17);
  const std::string text = refused["ShareString"];
  EXPECT_NE(text.find("PC01"), std::string::npos) << text;
  EXPECT_NE(text.find("GL0201"), std::string::npos) << text;
  nlohmann::json record = pc02.Ask("GetLastErrorResID")["result"];
  EXPECT_EQ(record["ResId"], "Tarn.AA.TarnLogin.TaskRepellent2Year");  // GL0201 holds its year only
  // The dry run says the same, and changes nothing.
  std::string out;
  EXPECT_EQ(
      Shell(tarn_ + " tasks try --data " + dir_ + " --user DEMO --acc 001 --year 2024 --auth GL0101 --station PC02",
            &out),
      1);
  EXPECT_NE(out.find("refused (code 17"), std::string::npos) << out;
  EXPECT_NE(out.find("PC01"), std::string::npos) << out;

  // Another account set is free.
  ASSERT_EQ(pc03.Ask(SignOn("002", "ZHANG"))["result"], true);
  EXPECT_EQ(pc03.Ask("TaskExec \"GL0101\" -1")["result"], true);

  // PC01 lets go: PC02 is granted at once.
  ASSERT_EQ(pc01.Ask("TaskExec \"GL0201\" 0")["result"], true);
  EXPECT_EQ(
      Shell(tarn_ + " tasks try --data " + dir_ + " --user DEMO --acc 001 --year 2024 --auth GL0101 --station PC02",
            &out),
      0)
      << out;
  EXPECT_EQ(pc02.Ask("TaskExec \"GL0101\" -1")["result"], true);
  listed = Tasks("--json --acc 001");
  EXPECT_NE(listed.find("\"station\":\"PC02\""), std::string::npos) << listed;
  EXPECT_EQ(listed.find("\"account\":\"002\""), std::string::npos) << listed;

  // Sessions that end release their logins; their functions they released
  // themselves, or an administrator frees them.
  EXPECT_EQ(pc01.Finish(), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cStation='PC01'"), 0);
  nlohmann::json task = pc02.Ask("TaskId");
  EXPECT_EQ(pc02.Finish(), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cAuth_Id='reg' AND cStation='PC02'"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cAuth_Id='GL0101' AND cStation='PC02'"), 1);
  EXPECT_NE(Shell(tarn_ + " tasks release --data " + dir_, &out), 0) << "a release without a task id";
  ASSERT_EQ(Shell(tarn_ + " tasks release --data " + dir_ + " --task-id " + task["result"].get<std::string>(), &out), 0)
      << out;
  EXPECT_NE(out.find("released GL0101"), std::string::npos) << out;
  EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cStation='PC02'"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_log WHERE cStation='PC02' AND cAuth_Id='GL0101' AND dOutTime IS NULL"), 0);
}

TEST_F(TaskStationsTest, TheLockViewerRefusesWhatItCannotRead) {
  std::string out;
  EXPECT_NE(Shell(tarn_ + " tasks --data /nonexistent/dir", &out), 0);
  EXPECT_NE(out.find("cannot open the system database"), std::string::npos) << out;
  EXPECT_NE(Shell(tarn_ + " tasks --connect 'Provider=Nothing'", &out), 0);
  EXPECT_NE(Shell(tarn_ + " tasks", &out), 0);
  EXPECT_NE(out.find("name the system database"), std::string::npos) << out;
  EXPECT_EQ(Shell(tarn_ + " tasks try --data " + dir_ + " --user ALICE --acc 001 --year 2024 --auth NOPE", &out), 1);
  EXPECT_NE(out.find("no function"), std::string::npos) << out;
  EXPECT_EQ(Shell(tarn_ + " tasks try --data " + dir_ + " --user BOB --acc 001 --year 2024 --auth GL0101", &out), 1);
  EXPECT_NE(out.find("does not hold"), std::string::npos) << out;
  EXPECT_EQ(Tasks(), "logins: none\nfunctions: none\n");
}

// A station killed while it holds functions loses them within the lease;
// the others keep theirs. Once with the embedded service, once with the
// daemon.
TEST_F(TaskStationsTest, AKilledStationLosesItsFunctionsWithinTheLease) {
  demo_.ShortenLease();
  for (const bool daemon : {false, true}) {
    testing::ServiceProcess service;
    if (daemon) {
      std::ofstream(dir_ + "/connect.txt") << demo_.system_database() << "\n";
      ASSERT_TRUE(service.Start({"--heartbeat-seconds", "1", "--lease-seconds", "2", "--connect-file",
                                 dir_ + "/connect.txt", "--key-file", dir_ + "/service.key"}));
      std::ofstream(dir_ + "/registry.reg", std::ios::app) << "\"ServiceAddress\"=\"" << service.address() << "\"\n";
    }
    SessionProcess doomed(Env("PC07")), survivor(Env("PC08"));
    ASSERT_EQ(doomed.Ask(SignOn("001", "ALICE"))["result"], true);
    ASSERT_EQ(doomed.Ask("TaskExec \"GL0101\" -1")["result"], true);
    ASSERT_EQ(survivor.Ask(SignOn("002", "ZHANG"))["result"], true);
    ASSERT_EQ(survivor.Ask("TaskExec \"GL0102\" -1")["result"], true);
    doomed.Kill();
    EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cStation='PC07'"), 2);
    // The survivor's own heartbeat keeps it alive; its calls run the
    // embedded service's lease check, on its own clock, and the daemon's
    // runs on real time.
    EXPECT_TRUE(testing::WaitUntil(
        [&] {
          survivor.Ask(":advance 60");
          return Count("SELECT count(*) FROM UA_task WHERE cStation='PC07'") == 0;
        },
        std::chrono::seconds(15), std::chrono::milliseconds(100)))
        << (daemon ? "daemon" : "embedded");
    EXPECT_EQ(Count("SELECT count(*) FROM UA_task WHERE cStation='PC08'"), 2) << (daemon ? "daemon" : "embedded");
    ASSERT_EQ(survivor.Ask("TaskExec \"GL0102\" 0")["result"], true);
    EXPECT_EQ(survivor.Finish(), 0);
    if (daemon) {
      EXPECT_NE(service.Log().find("PC07"), std::string::npos) << service.Log();
    }
  }
}

}  // namespace
}  // namespace tarn
