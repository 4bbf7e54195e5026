// The session protocol as scripts see it: one JSON object per command.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "session_host.h"
#include "boundary/suite.h"
#include "platform/object_registry.h"
#include "resources/error_state.h"
#include "support/fake_env.h"

namespace tarn {
namespace {

using Json = nlohmann::json;

class SessionTest : public ::testing::Test {
 protected:
  Json Run(const std::string& line) {
    auto answer = host_->Execute(line);
    EXPECT_TRUE(answer.has_value()) << line;
    return answer ? Json::parse(*answer) : Json();
  }

  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
  std::unique_ptr<app::SessionHost> host_ = std::make_unique<app::SessionHost>();
};

TEST_F(SessionTest, PropertiesAndSettersAnswerOneObjectEach) {
  Json j = Run("cSerial");
  EXPECT_EQ(j["member"], "cSerial");
  EXPECT_EQ(j["result"], "Auto-Windows-PC01PC01@1");
  EXPECT_EQ(j["byref"], Json::array());
  EXPECT_EQ(j["LogState"], 0);
  EXPECT_EQ(j["ShareString"], "");

  Run("let cServer \"APP\"");
  Run("let cServer \"\"");
  EXPECT_EQ(Run("cServer")["result"], "APP");
  Run("let cSerial \"\"");
  EXPECT_EQ(Run("cSerial")["result"], "");
  EXPECT_EQ(Run("GetLastErrorResID")["result"], nullptr);
  EXPECT_EQ(Run("CurDate")["result"], "2024-03-15 10:30:00");
  // In/out arguments come back changed.
  j = Run("let cAcc_Id \"001\"");
  EXPECT_EQ(j["byref"], Json::array({"001"}));
  EXPECT_EQ(Run("cAcc_Id")["result"], "001");
}

TEST_F(SessionTest, BadCommandsAnswerAnErrorAndTheSessionGoesOn) {
  Json j = Run("NoSuchMember 1");
  EXPECT_EQ(j["error"]["number"], 438);
  EXPECT_FALSE(j.contains("result"));
  EXPECT_EQ(Run("ClearError 1 2")["error"]["number"], 450);
  EXPECT_EQ(Run("let cServer")["error"]["number"], 450);
  EXPECT_EQ(Run("GetPeriod \"2024-13-45\" 0 0")["error"]["number"], 13);
  EXPECT_EQ(Run("TaskExec \"GL01\" 70000")["error"]["number"], 6);
  EXPECT_EQ(Run("cAcc_Id \"unclosed")["error"]["number"], 5);
  EXPECT_EQ(Run("let cServer GL")["error"]["number"], 5);  // strings go in quotes
  EXPECT_EQ(Run(std::string(app::SessionHost::kMaxLine + 1, 'x'))["error"]["number"], 5);
  EXPECT_EQ(Run(std::string("cSerial\0x", 9))["error"]["number"], 5);
  EXPECT_EQ(Run("cSerial \xff\xfe")["error"]["number"], 5);
  EXPECT_EQ(Run(":bogus")["error"]["number"], 5);
  EXPECT_EQ(Run(":use 7")["error"]["number"], 9);
  EXPECT_EQ(Run("cSerial")["result"], "Auto-Windows-PC01PC01@1");
  EXPECT_FALSE(host_->Execute("   ").has_value());
  EXPECT_FALSE(host_->Execute("# a comment").has_value());
}

// Input that could crash a parser or wrap silently gets its error.
TEST_F(SessionTest, HostileValuesAreRefusedNotWrapped) {
  // 25,000 nested arrays once crashed the process.
  const Json deep = Run("let AuthString " + std::string(25000, '[') + std::string(25000, ']'));
  EXPECT_EQ(deep["error"]["number"], 5);
  EXPECT_NE(deep["error"]["description"].get<std::string>().find("nested deeper"), std::string::npos);
  EXPECT_EQ(Run("let AuthString " + std::string(30, '[') + std::string(30, ']'))["error"]["number"], 13);
  // Whole numbers beyond what a value holds exactly: overflow.
  for (const char* n : {"99999999999999999999999", "18446744073709551615", "9223372036854775808", "9007199254740993",
                        "-9007199254740993"}) {
    EXPECT_EQ(Run(std::string("let cSerial ") + n)["error"]["number"], 6) << n;
  }
  EXPECT_EQ(Run("let cSerial 9007199254740992")["error"], nullptr);
  // Dates as numbers beyond 100-01-01 .. 9999-12-31.
  EXPECT_EQ(Run("GetPeriod 1e300 0 0")["error"]["number"], 6);
  EXPECT_EQ(Run("GetPeriod -700000 0 0")["error"]["number"], 6);
  // Overlong forms and surrogates are not UTF-8.
  for (const char* bad : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
    EXPECT_EQ(Run(std::string("let AuthString \"") + bad + "\"")["error"]["number"], 5);
  }
  EXPECT_EQ(Run("let AuthString \"\xe6\x9d\x8e\xf0\x9f\x98\x80\"")["error"], nullptr);  // CJK and astral text pass
}

TEST_F(SessionTest, ObjectsAreCreatedChosenAndReleased) {
  EXPECT_EQ(Run(":new")["object"], 1);
  Run("let AuthString \"second\"");
  EXPECT_EQ(Run(":use 0")["object"], 0);
  EXPECT_EQ(Run("AuthString")["result"], "");
  EXPECT_EQ(Run(":release")["object"], 0);
  EXPECT_EQ(Run("AuthString")["error"]["number"], 91);
  Run(":use 1");
  EXPECT_EQ(Run("AuthString")["result"], "second");
  EXPECT_EQ(Run(":advance 60")["seconds"], 60);
  Run(":quit");
  EXPECT_TRUE(host_->quit());
}

// The tool itself, as a user runs it: no registry file and a computer name
// from the environment.
TEST(SessionProcessTest, ComputerNameComesFromTheEnvironment) {
  const std::string script = ::testing::TempDir() + "session_script.txt";
  std::ofstream(script) << "cSerial\ncServerSerial\ncDbServerSerial\nGetLastErrorResID\n";
  const std::string command = "TARN_COMPUTERNAME=PC01 TARN_REGISTRY=/nonexistent/registry.reg " +
                              std::string(TARN_BIN_DIR) + "/tarn session < " + script;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<Json> answers;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe)) answers.push_back(Json::parse(buf));
  EXPECT_EQ(pclose(pipe), 0);
  ASSERT_EQ(answers.size(), 4u);
  const std::string serial = answers[0]["result"];
  EXPECT_EQ(serial.rfind("Auto-Windows-PC01PC01@", 0), 0u) << serial;
  EXPECT_EQ(answers[1]["result"], serial);
  EXPECT_EQ(answers[2]["result"], serial);
  EXPECT_EQ(answers[3]["result"], nullptr);
}

// A message package that knows no text at all.
class NoTexts : public boundary::ResourceService {
 public:
  std::string GetString(const std::string&) override { return std::string(); }
};
class English : public boundary::LocalService {
 public:
  std::string GetLocalID() override { return "en-us"; }
};
class NoTextsFactory : public boundary::ResourceServiceFactory {
 public:
  std::shared_ptr<boundary::ResourceService> GetResourceService() override { return std::make_shared<NoTexts>(); }
  std::shared_ptr<boundary::LocalService> GetLocalService() override { return std::make_shared<English>(); }
};

TEST(SessionMessageTest, AMessageTheLibraryShowsComesBeforeTheAnswer) {
  testing::FakeEnv env;
  testing::FakeEnvScope scope(env);
  ScopedRegistration texts(boundary::kResourceFactoryProgId, [] { return std::make_shared<NoTextsFactory>(); });
  resources::ResetThreadForTesting();
  app::SessionHost host(Edition::kExtended);
  // No account set: the text of NotCompleteLogin is looked up, and is
  // missing.
  const std::optional<std::string> out = host.Execute(R"(Login "GL" "" "" "" "" "" "" "")");
  ASSERT_TRUE(out.has_value());
  const size_t nl = out->find('\n');
  ASSERT_NE(nl, std::string::npos) << *out;
  const Json box = Json::parse(out->substr(0, nl));
  EXPECT_EQ(box["messagebox"]["text"], "没有找到资源号：Tarn.AA.TarnLogin.NotCompleteLogin");
  EXPECT_EQ(box["messagebox"]["buttons"], "ok");
  const Json answer = Json::parse(out->substr(nl + 1));
  EXPECT_EQ(answer["error"]["number"], 99);
  EXPECT_EQ(answer["error"]["description"], "not find Tarn.AA.TarnLogin.NotCompleteLogin");
  // The next line has no message of its own.
  const std::optional<std::string> next = host.Execute("LogState");
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->find('\n'), std::string::npos);
}

}  // namespace
}  // namespace tarn
