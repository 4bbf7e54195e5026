// The login object before sign-on: creation values, properties, the shared
// error state and the release sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "boundary/registry_keys.h"
#include "core/config.h"
#include "core/login_parts.h"
#include "core/release_sequence.h"
#include "platform/object_registry.h"
#include "resources/error_state.h"
#include "resources/res_service.h"
#include "support/fake_connection.h"
#include "support/fake_env.h"
#include "support/fake_login_ui.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using testing::FakeConnection;
using testing::FakeEnv;
using testing::FakeEnvScope;
using testing::FakeLoginUI;

class LoginObjectTest : public ::testing::Test {
 protected:
  FakeEnv env_;
  FakeEnvScope scope_{env_};
};

TEST_F(LoginObjectTest, FreshObjectHoldsItsCreationValues) {
  clsLogin login;
  EXPECT_EQ(login.cSerial().ToString(), "Auto-Windows-PC01PC01@1");
  EXPECT_EQ(login.cServerSerial().ToString(), login.cSerial().ToString());
  EXPECT_EQ(login.cDbServerSerial().ToString(), login.cSerial().ToString());
  EXPECT_EQ(login.iMonth(), 1);
  EXPECT_FALSE(login.IsAdmin());
  EXPECT_EQ(login.LanguageID(), 0);
  EXPECT_EQ(login.CurDate(), env_.now);
  for (const std::string& s :
       {login.cAcc_Id(), login.cSub_Id(), login.cIYear(), login.cUserId(), login.cUserPassWord(), login.cAccName(),
        login.cSubName(), login.cUserName(), login.ValeDbName(), login.ValeDbPath(), login.ValeZtPath(), login.TaskId(),
        login.SysPassword(), login.AuthString(), login.DataSource(), login.cEmployeeId(), login.LanguageRegion(),
        login.cServer().ToString()}) {
    EXPECT_EQ(s, "");
  }
  EXPECT_EQ(login.LogState(), 0);
  EXPECT_EQ(login.GetLastErrorResID(), nullptr);
}

TEST_F(LoginObjectTest, SerialTakesTheRegisteredGuidBelowTheRightRoot) {
  env_.registry.SetString("Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID", "", "{5F1C}");
  env_.registry.SetString("Software\\ValeSoft\\WF\\V8.610\\GUID", "", "{PLAIN}");
  env_.session_id.reset();  // no session number: 0
  core::ResetThreadForTesting();
  EXPECT_EQ(clsLogin().cSerial().ToString(), "{5F1C}PC01@0");

  env_.is_64bit = false;
  core::ResetThreadForTesting();
  EXPECT_EQ(clsLogin().cSerial().ToString(), "{PLAIN}PC01@0");
  // The extended build reads its own version's keys.
  EXPECT_EQ(clsLogin(Edition::kExtended).cSerial().ToString(), "Auto-Windows-PC01PC01@0");
}

TEST_F(LoginObjectTest, RegistryReadsTrimAndRefuseOverlongValues) {
  const std::string key = "Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath\\";
  EXPECT_EQ(clsLogin().GetIstallPath(), "");
  env_.registry.SetString(key, "", "  C:\\Tarn\\  ");
  EXPECT_EQ(clsLogin().GetIstallPath(), "C:\\Tarn\\");
  env_.registry.SetString(key, "", std::string(127, 'x'));
  EXPECT_EQ(boundary::GetRegValue(key, ""), std::string(127, 'x'));
  env_.registry.SetString(key, "", std::string(128, 'x'));  // no room for the NUL
  EXPECT_EQ(boundary::GetRegValue(key, ""), "");
}

TEST_F(LoginObjectTest, LoginServerPrefersTheSubsystemThenTheCommonValueThenTheComputer) {
  const std::string key = core::LoginRegKey(Edition::kFull);
  EXPECT_EQ(core::GetLoginServer(key, "GL"), "PC01");
  env_.registry.SetString(key, "Server", "COMMON");
  env_.registry.SetString(key + "GL", "Server", "GLSRV");
  env_.registry.SetString(key + "PS", "Server", "PSSRV");
  EXPECT_EQ(core::GetLoginServer(key, "GL"), "GLSRV");
  EXPECT_EQ(core::GetLoginServer(key, "AP"), "COMMON");
  // Payroll and its kin read the common value only.
  EXPECT_EQ(core::GetLoginServer(key, "ps"), "COMMON");
}

TEST_F(LoginObjectTest, ServerAndSerialSettersFollowTheirOwnRules) {
  clsLogin login;
  login.set_cServer(Variant("APP1"));
  login.set_cServer(Variant(""));
  EXPECT_EQ(login.cServer().ToString(), "APP1");
  login.set_cSerial(Variant(Null{}));
  EXPECT_EQ(login.cSerial().ToString(), "Auto-Windows-PC01PC01@1");
  login.set_cSerial(Variant(""));
  EXPECT_EQ(login.cSerial().ToString(), "");
  // Setting the serial does not touch the host identities.
  EXPECT_EQ(login.cServerSerial().ToString(), "Auto-Windows-PC01PC01@1");
}

TEST_F(LoginObjectTest, ObjectsOfOneThreadShareTheLastError) {
  clsLogin first, second;
  resources::RecordError(30, "Tarn.AA.TarnLogin.FailCallLogin", {Variant("SRV9")});
  EXPECT_EQ(second.LogState(), 30);
  EXPECT_EQ(second.ShareString(), first.ShareString());
  EXPECT_NE(first.ShareString().find("SRV9"), std::string::npos);

  auto record = second.GetLastErrorResID();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ResId(), "Tarn.AA.TarnLogin.FailCallLogin");
  EXPECT_EQ(record->ResArg().lower_bound, 1);
  ASSERT_EQ(record->ResArg().items.size(), 1u);
  EXPECT_EQ(record->ResArg().At(1).ToString(), "SRV9");
  EXPECT_EQ(first.GetLastErrorResID(), record);  // one record per thread

  first.ClearError();
  EXPECT_EQ(second.LogState(), 0);
  EXPECT_EQ(second.ShareString(), "");
  EXPECT_EQ(second.GetLastErrorResID(), nullptr);
  EXPECT_EQ(resources::ThreadLastError().last_res_id, "Tarn.AA.TarnLogin.FailCallLogin");
}

TEST_F(LoginObjectTest, ThreadsDoNotSeeEachOthersErrors) {
  clsLogin login;
  resources::RecordError(1, "Tarn.AA.TarnLogin.InvalidateSubID");
  int other_thread_state = -1;
  std::thread([&] { other_thread_state = clsLogin().LogState(); }).join();
  EXPECT_EQ(other_thread_state, 0);
  EXPECT_EQ(login.LogState(), 1);
}

TEST_F(LoginObjectTest, MessagesFollowTheCurrentLanguage) {
  env_.vars["TARN_LANG"] = "zh-cn";
  resources::RecordError(10, "Tarn.AA.TarnLogin.NotHoldAuth");
  const std::string chinese = resources::ThreadLastError().share_string;
  resources::DropSharedObjects();
  env_.vars["TARN_LANG"] = "en-us";
  resources::RecordError(10, "Tarn.AA.TarnLogin.NotHoldAuth");
  const std::string english = resources::ThreadLastError().share_string;
  EXPECT_FALSE(english.empty());
  EXPECT_NE(chinese, english);
  // Chinese text is outside ASCII; the English one is not.
  EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(), [](char c) { return c & 0x80; }));
  EXPECT_FALSE(std::any_of(english.begin(), english.end(), [](char c) { return c & 0x80; }));
}

TEST_F(LoginObjectTest, ReleaseSequenceRunsTwiceButWritesOnce) {
  auto connection = std::make_shared<FakeConnection>();
  auto ui = std::make_shared<FakeLoginUI>();
  {
    clsLogin login;
    core::PartsOf(login).connections.SystemConnection = connection;
    core::PartsOf(login).connections.LoginUI = ui;
    core::PartsOf(login).identity.TaskId = "45123.5";
    core::PartsOf(login).identity.cSub_Id = "GL";
    login.ShutDown();
    ASSERT_EQ(connection->executed.size(), 2u);
    EXPECT_NE(connection->executed[0].sql.find("DELETE FROM ValeSystem..UA_task"), std::string::npos);
    EXPECT_EQ(connection->executed[0].values[0].ToString(), "45123.5");
    EXPECT_NE(connection->executed[1].sql.find("UPDATE UA_log"), std::string::npos);
    EXPECT_EQ(connection->executed[1].values[0].ToDouble(), 45123.5);
    EXPECT_EQ(connection->state, db::ObjectState::kClosed);
    EXPECT_EQ(core::PartsOf(login).connections.SystemConnection, nullptr);
    EXPECT_EQ(login.TaskId(), "45123.5");  // still a value holder
  }
  EXPECT_EQ(connection->executed.size(), 2u);
  // Not built from a token: the interface is logged out at each release.
  EXPECT_EQ(ui->calls, (std::vector<std::string>{"SubLogout(GL)", "ShutDown", "SubLogout(GL)", "ShutDown"}));
}

// Pieces that raise: every step of the release still runs, and nothing
// reaches the caller.
class RaisingKit : public boundary::DatabaseKit {
 public:
  int closes = 0;
  void opendatabase(const std::string&) override {}
  void oClose() override {
    ++closes;
    throw ComError(errnum::kObjectRequired, "kit gone");
  }
};

class RaisingTimer : public core::HeartbeatForm {
 public:
  int unloads = 0;
  void Init(core::HeartbeatSettings) override {}
  void Load() override {}
  void Unload() override {
    ++unloads;
    throw ComError(errnum::kObjectRequired, "form gone");
  }
};

TEST_F(LoginObjectTest, ReleaseRunsEveryStepPastPiecesThatRaise) {
  auto connection = std::make_shared<FakeConnection>();
  connection->throw_on_execute = true;
  connection->throw_on_close = true;
  auto kit = std::make_shared<RaisingKit>();
  auto timer = std::make_shared<RaisingTimer>();
  auto ui = std::make_shared<FakeLoginUI>();
  ui->throw_on_logout = true;
  core::LoginParts s(Edition::kFull);
  s.connections.SystemConnection = connection;
  s.connections.DatabaseKit = kit;
  s.heartbeat.HeartbeatTimer = timer;
  s.connections.LoginUI = ui;
  s.identity.cSub_Id = "GL";
  ASSERT_NE(resources::SharedResService().GetResSvr(), nullptr);

  EXPECT_NO_THROW(core::RunReleaseSequence(s));
  EXPECT_EQ(connection->executed.size(), 2u);  // the log entry is closed after a failed delete
  EXPECT_EQ(connection->closes, 1);
  EXPECT_EQ(kit->closes, 1);
  EXPECT_EQ(timer->unloads, 1);
  EXPECT_EQ(ui->calls, (std::vector<std::string>{"SubLogout(GL)", "ShutDown"}));
  EXPECT_EQ(s.connections.SystemConnection, nullptr);
  EXPECT_EQ(s.connections.DatabaseKit, nullptr);
  EXPECT_EQ(s.heartbeat.HeartbeatTimer, nullptr);
  EXPECT_FALSE(resources::HasSharedResService());
  EXPECT_EQ(resources::ThreadLastError().log_state, 0);
}

TEST_F(LoginObjectTest, ReleaseGoesOnAfterFailedStatementsAndSkipsTokenBuiltLogout) {
  auto connection = std::make_shared<FakeConnection>();
  connection->fail_execute = true;
  auto ui = std::make_shared<FakeLoginUI>();
  core::LoginParts s(Edition::kFull);
  s.connections.SystemConnection = connection;
  s.connections.LoginUI = ui;
  s.connections.TokenBuilt = true;
  core::RunReleaseSequence(s);
  EXPECT_EQ(connection->executed.size(), 2u);
  EXPECT_EQ(connection->state, db::ObjectState::kClosed);
  EXPECT_TRUE(ui->calls.empty());
  EXPECT_EQ(resources::ThreadLastError().log_state, 0);
}

TEST_F(LoginObjectTest, ShutDownOfAnObjectThatNeverSignedOnRunsNoSql) {
  auto connection = std::make_shared<FakeConnection>();
  connection->state = db::ObjectState::kClosed;
  core::LoginParts s(Edition::kFull);
  s.connections.SystemConnection = connection;
  core::RunReleaseSequence(s);
  EXPECT_TRUE(connection->executed.empty());
  EXPECT_EQ(s.connections.SystemConnection, nullptr);
}

TEST_F(LoginObjectTest, ReleaseDropsTheSharedResourceObjects) {
  clsLogin login;
  ObjectPtr before = login.ResSvr();
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(login.ResSvr(), before);
  login.ShutDown();
  EXPECT_FALSE(resources::HasSharedResService());
  EXPECT_NE(login.ResSvr(), before);  // made again on next use
}

class LayoutSpy : public boundary::LayoutService {
 public:
  static inline std::vector<std::string> paths;
  void SetXAMLFileRootPath(const std::string& path) override { paths.push_back(path); }
};

TEST_F(LoginObjectTest, ResourceServicesAreCreatedOnceAndLayoutGetsAnEmptyRoot) {
  ScopedRegistration spy(boundary::kLayoutServiceProgId, [] { return std::make_shared<LayoutSpy>(); });
  LayoutSpy::paths.clear();
  clsLogin login;
  ObjectPtr layout = login.ResLayoutSvr();
  EXPECT_EQ(login.ResLayoutSvr(), layout);
  EXPECT_EQ(LayoutSpy::paths, std::vector<std::string>{""});
  EXPECT_EQ(resources::ToDBCurrentLanguage("zh-cn").ToString(), "Simplified Chinese");
  EXPECT_EQ(resources::ToDBCurrentLanguage("zh-tw").ToString(), "Traditional Chinese");
  EXPECT_EQ(resources::ToDBCurrentLanguage("ZH-CN").ToString(), "English");
}

TEST_F(LoginObjectTest, AMissingMessagePackageIsAnErrorOfTheLookup) {
  ScopedRegistration gone(boundary::kResourceFactoryProgId, [] { return nullptr; });
  clsLogin login;
  EXPECT_THROW(resources::RecordError(1, "Tarn.AA.TarnLogin.InvalidateSubID"), ComError);
}

}  // namespace
}  // namespace tarn
