// RemoteExec and the log-status heartbeat of a login object.
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/login_parts.h"
#include "core/release_sequence.h"
#include "service/remote_exec.h"
#include "platform/object_registry.h"
#include "platform/timer_queue.h"
#include "service/frm_timer.h"
#include "support/fake_env.h"
#include "support/fake_login_ui.h"
#include "support/fake_parley.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using testing::FakeEnv;
using testing::FakeEnvScope;
using testing::FakeLoginUI;
using testing::FakeParley;
using testing::FakeParleyScope;

class RemoteExecTest : public ::testing::Test {
 protected:
  RemoteExecTest() {
    parts_.identity.cSerial = "SER@1";
    parts_.identity.cSub_Id = "PS";
    parts_.identity.cServer = "APPSRV";
  }

  // Runs a command; returns the requests it sent.
  std::vector<std::string> Run(std::string cmd) {
    parley_->calls.clear();
    service::RemoteExec(parts_.identity, parts_.connections, cmd);
    return parley_->requests();
  }

  FakeEnv env_;
  FakeEnvScope scope_{env_};
  std::shared_ptr<FakeParley> parley_ = std::make_shared<FakeParley>();
  FakeParleyScope parley_scope_{parley_};
  core::LoginParts parts_{Edition::kFull};
};

TEST_F(RemoteExecTest, CommandWordsAreFoundAnywhereFirstOneWins) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Run("exit"), V{"Exit,SER@1,PS,0,0,9801"});
  parts_.identity.IsGroupVer = true;  // only EXIT maps the code
  EXPECT_EQ(Run("please EXIT now"), V{"Exit,SER@1,PG,0,0,9801"});
  EXPECT_EQ(Run("changeyear"), V{"ChangeYear,SER@1,PS,0,0,9801"});
  EXPECT_EQ(Run("List"), V{"List,SER@1,PS,0,0,9801"});
  EXPECT_EQ(Run("LIST and EXIT"), V{"Exit,SER@1,PG,0,0,9801"});
  // A log-out whose field holds the letters EXIT is an exit.
  EXPECT_EQ(Run("LOGOUT,x,NEXIT,0,7"), V{"Exit,SER@1,PG,0,0,9801"});
  EXPECT_EQ(Run("hello"), V{});
  for (const auto& call : parley_->calls) EXPECT_EQ(call.host, "APPSRV");

  std::string cmd = "nothing to do";
  EXPECT_TRUE(service::RemoteExec(parts_.identity, parts_.connections, cmd).IsEmpty());
  EXPECT_EQ(cmd, "nothing to do");
  cmd = "exit";
  parley_->result = 1;  // the service's answer and failures stay invisible
  service::RemoteExec(parts_.identity, parts_.connections, cmd);
  EXPECT_EQ(cmd, "exit");
}

TEST_F(RemoteExecTest, LogoutTakesTheThirdFieldAndTheTextAfterTheFourthComma) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Run("LOGOUT,OTHER@2,AP,0,45000.25"), V{"Logout,SER@1,AP,0,45000.25,9801"});
  EXPECT_EQ(Run("logout,a,GL,0,t,with,commas"), V{"Logout,SER@1,GL,0,t,with,commas,9801"});
  // Three commas: the whole command is the task id.
  EXPECT_EQ(Run("LOGOUT,a,GL,0"), V{"Logout,SER@1,GL,0,LOGOUT,a,GL,0,9801"});
  for (const char* bad : {"LOGOUT", "LOGOUT,a", "LOGOUT,a,GL"}) {
    std::string cmd = bad;
    try {
      service::RemoteExec(parts_.identity, parts_.connections, cmd);
      ADD_FAILURE() << bad << " must raise";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), errnum::kInvalidCall) << bad;
    }
  }
}

TEST_F(RemoteExecTest, HostComesFromTheRegistryThenTheComputerNameAndStays) {
  parts_.identity.cServer.clear();
  Run("exit");
  EXPECT_EQ(parley_->calls.at(0).host, "PC01");
  EXPECT_EQ(parts_.identity.cServer, "PC01");

  parts_.identity.cServer.clear();
  env_.registry.SetString(core::LoginRegKey(Edition::kFull), "Server", "REGSRV");
  Run("list");
  EXPECT_EQ(parley_->calls.at(0).host, "REGSRV");
  env_.registry.SetString(core::LoginRegKey(Edition::kFull), "Server", "CHANGED");
  Run("list");
  EXPECT_EQ(parley_->calls.at(0).host, "REGSRV");
}

TEST_F(RemoteExecTest, ConnectStringNeedsTheAccessWordWithThisClientsIdentity) {
  std::string seen;
  struct RecordingUI : FakeLoginUI {
    std::string* seen;
    std::string GetDefaultConnstring(const std::string& arg) override {
      *seen = arg;
      return "Provider=SQLite;Data Source=/srv/tarn";
    }
  };
  auto recording = std::make_shared<RecordingUI>();
  recording->seen = &seen;
  int created = 0;
  ScopedRegistration reg(boundary::kLoginUiProgId, [&] {
    ++created;
    return recording;
  });

  std::string cmd = "connectstring k7lanternqSER@2";
  service::RemoteExec(parts_.identity, parts_.connections, cmd);
  EXPECT_EQ(cmd, "pass failed");
  EXPECT_EQ(created, 0);

  cmd = "CONNECTSTRING K7LANTERNQser@1";
  service::RemoteExec(parts_.identity, parts_.connections, cmd);
  EXPECT_EQ(cmd, "Provider=SQLite;Data Source=/srv/tarn");
  EXPECT_EQ(created, 1);
  ASSERT_EQ(seen.rfind("APPSRV\t", 0), 0u) << seen;
  const std::string number = seen.substr(7);
  EXPECT_EQ(std::to_string(std::stoll(number)), number);
  EXPECT_TRUE(parley_->calls.empty());

  // The second call reuses the interface object; the handshake is the same
  // on the same thread, and differs from the reply key.
  cmd = "CONNECTSTRING K7LANTERNQSER@1";
  service::RemoteExec(parts_.identity, parts_.connections, cmd);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(seen.substr(7), number);
  auto sundry = ObjectRegistry::Global().CreateAs<boundary::Sundry>(boundary::kSundryLibrary);
  EXPECT_NE(number, std::to_string(boundary::ReplyHandshake(*sundry, boundary::CurrentProcessTriple())));
}

TEST_F(RemoteExecTest, ConnectStringRaisesWhenTheInterfaceCannotBeMade) {
  ScopedRegistration none(boundary::kLoginUiProgId, nullptr);
  std::string cmd = "CONNECTSTRING K7LANTERNQSER@1";
  EXPECT_THROW(service::RemoteExec(parts_.identity, parts_.connections, cmd), ComError);
}

class HeartbeatTest : public ::testing::Test {
 protected:
  void Beat() {
    env_.Advance(service::kHeartbeatMillis);
    TimerQueue::ForThread().RunDue();
  }

  FakeEnv env_;
  FakeEnvScope scope_{env_};
  std::shared_ptr<FakeParley> parley_ = std::make_shared<FakeParley>();
  FakeParleyScope parley_scope_{parley_};
  clsLogin login_;  // the thread's error state and resource service
};

TEST_F(HeartbeatTest, BeatsOnceAMinuteWithTheMappedCode) {
  auto timer = service::NewHeartbeat();
  timer->Init(nullptr, "SER@1", "RIGHTSRV", "ps", "45000.5", true, "WEB");
  TimerQueue::ForThread().RunDue();
  EXPECT_TRUE(parley_->calls.empty());  // Init starts nothing
  timer->Load();
  env_.Advance(service::kHeartbeatMillis - 1);
  TimerQueue::ForThread().RunDue();
  EXPECT_TRUE(parley_->calls.empty());
  env_.Advance(1);
  TimerQueue::ForThread().RunDue();
  ASSERT_EQ(parley_->requests(), std::vector<std::string>{"Connect,SER@1,PG,0,45000.5,9801"});
  EXPECT_EQ(parley_->calls[0].host, "RIGHTSRV");
  Beat();
  EXPECT_EQ(parley_->calls.size(), 2u);

  timer->Unload();
  Beat();
  EXPECT_EQ(parley_->calls.size(), 2u);
  EXPECT_EQ(login_.LogState(), 0);
}

TEST_F(HeartbeatTest, AFailureStaysRecordedAfterLaterSuccess) {
  service::frmTimer timer;
  timer.Init("SER@1", "", "GL", "7", false);  // the extended build's form; empty host still calls
  timer.Load();
  parley_->reply = "unknown task";
  Beat();
  EXPECT_EQ(parley_->calls.at(0).host, "");
  EXPECT_EQ(login_.LogState(), 102);
  EXPECT_FALSE(login_.ShareString().empty());
  auto record = login_.GetLastErrorResID();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ResId(), "Tarn.AA.TarnLogin.ErrorConnectApp");

  parley_->reply = "pass";
  Beat();
  Beat();
  EXPECT_EQ(parley_->calls.size(), 3u);  // no stop after a failure
  EXPECT_EQ(login_.LogState(), 102);
  login_.ClearError();
  Beat();
  EXPECT_EQ(login_.LogState(), 0);

  parley_->result = 1;  // the service is gone
  Beat();
  EXPECT_EQ(login_.LogState(), 102);
}

TEST_F(HeartbeatTest, ReleaseOfTheLoginObjectStopsItsTimer) {
  auto timer = service::NewHeartbeat();
  timer->Init(nullptr, "SER@1", "", "GL", "7", false);
  timer->Load();
  {
    core::LoginParts owner(Edition::kFull);
    owner.heartbeat.HeartbeatTimer = timer;
    core::RunReleaseSequence(owner);
  }
  EXPECT_FALSE(timer->loaded());
  Beat();
  EXPECT_TRUE(parley_->calls.empty());
  // Loading twice keeps one timer.
  timer->Load();
  timer->Load();
  Beat();
  EXPECT_EQ(parley_->calls.size(), 1u);
}

}  // namespace
}  // namespace tarn
