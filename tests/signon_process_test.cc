// Signing on as a user does it: `tarn db init`, `tarn session`, `tarn token`.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/session_process.h"

namespace {

using Json = nlohmann::json;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[8192];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  pclose(pipe);
  return out;
}

std::vector<Json> Session(const std::string& env, const std::string& script) {
  const std::string file = ::testing::TempDir() + "signon_script.txt";
  std::ofstream(file) << script;
  std::vector<Json> answers;
  const std::string out = Shell(env + " " + TARN_BIN_DIR + "/tarn session < " + file);
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    answers.push_back(Json::parse(out.substr(start, end - start)));
  }
  return answers;
}

TEST(SignOnProcessTest, AUserSignsOnAndASecondProcessUsesAToken) {
  std::string dir = ::testing::TempDir() + "tarn-signon-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string tarn = std::string(TARN_BIN_DIR) + "/tarn";
  ASSERT_NE(Shell(tarn + " db init --data " + dir + " --demo").find("registry.reg"), std::string::npos);
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_LANG=en-us TARN_COMPUTERNAME=PC01";

  std::vector<Json> a = Session(env,
                                "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"2024-03-15\"\n"
                                "cAccName\niMonth\ncUserName\n"
                                ":new\n"
                                "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"nope\" \"2024-03-15\"\n"
                                "Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"15 March\"\n");
  ASSERT_EQ(a.size(), 7u);
  EXPECT_EQ(a[0]["result"], true) << a[0].dump();
  EXPECT_EQ(a[1]["result"], "Tarn Demo Trading");
  EXPECT_EQ(a[2]["result"], 3);
  EXPECT_EQ(a[3]["result"], "Alice Chen");
  EXPECT_EQ(a[5]["result"], false);
  EXPECT_NE(a[5]["ShareString"].get<std::string>().find("password"), std::string::npos);
  // The interface refuses a date it cannot read; the session goes on.
  EXPECT_EQ(a[6]["result"], false);

  const std::string token =
      Shell("echo bob | " + env + " " + tarn + " token --user BOB --password-stdin --sub GL --acc 001 --year 2024");
  ASSERT_EQ(token.rfind("t1.", 0), 0u) << token;
  std::vector<Json> b = Session("TARN_REGISTRY=" + dir + "/registry.reg TARN_COMPUTERNAME=PC02",
                                "ConstructLogin \"" + token.substr(0, token.size() - 1) +
                                    "\"\nLogin \"GL\"\ncUserName\ncIYear\nConstructLogin \"t1.tampered\"\n");
  ASSERT_EQ(b.size(), 5u);
  EXPECT_EQ(b[0]["result"], true) << b[0].dump();
  EXPECT_EQ(b[1]["result"], true) << b[1].dump();
  EXPECT_EQ(b[2]["result"], "Bob Li");
  EXPECT_EQ(b[3]["result"], "2024");
  EXPECT_EQ(b[4]["result"], false);
}

// The extended edition on the demo, as two stations run it: a refusal
// answers 8888 with the login service's own resource id and arguments, and
// authorisation classes keep pairs apart.
TEST(SignOnProcessTest, TheExtendedEditionForwardsRefusalsAndSeparatesClasses) {
  std::string dir = ::testing::TempDir() + "tarn-ext-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  ASSERT_NE(Shell(std::string(TARN_BIN_DIR) + "/tarn db init --data " + dir + " --demo").find("registry.reg"),
            std::string::npos);
  const std::string registry = "TARN_REGISTRY=" + dir + "/registry.reg";
  tarn::testing::SessionProcess pc01({registry, "TARN_COMPUTERNAME=PC01", "TARN_LANG=en-us"}, {"--extended"});
  tarn::testing::SessionProcess pc02({registry, "TARN_COMPUTERNAME=PC02", "TARN_LANG=en-us"}, {"--extended"});
  ASSERT_TRUE(pc01.running() && pc02.running());

  Json j = pc01.Ask(R"(Login "AP" "001" "2024" "NOBODY" "x" "2024-03-15")");
  EXPECT_EQ(j["result"], false) << j.dump();
  EXPECT_EQ(j["LogState"], 8888);
  j = pc01.Ask("GetLastErrorResID");
  EXPECT_EQ(j["result"]["ResId"], "Tarn.AA.LoginService.UnknownUser") << j.dump();
  EXPECT_EQ(j["result"]["ResArg"], Json::array({"NOBODY"}));
  j = pc01.Ask(R"(Login "AP" "001" "2024" "BOB" "wrong" "2024-03-15")");
  EXPECT_EQ(j["LogState"], 8888);
  EXPECT_EQ(pc01.Ask("GetLastErrorResID")["result"]["ResId"], "Tarn.AA.LoginService.BadPassword");

  ASSERT_EQ(pc01.Ask(R"(Login "AP" "001" "2024" "BOB" "bob" "2024-03-15")")["result"], true);
  ASSERT_EQ(pc02.Ask(R"(Login "AP" "001" "2024" "DEMO" "demo" "2024-03-15")")["result"], true);
  j = pc01.Ask(R"(TaskExecEx "AP0103" -1 0 "CLASS-A")");
  ASSERT_EQ(j["result"], true) << j.dump();
  // Another class runs beside it; the same class does not.
  j = pc02.Ask(R"(TaskExecEx "AP0102" -1 0 "CLASS-B")");
  EXPECT_EQ(j["result"], true) << j.dump();
  EXPECT_EQ(pc02.Ask(R"(TaskExecEx "AP0102" 0 0 "CLASS-B")")["result"], true);
  j = pc02.Ask(R"(TaskExecEx "AP0102" -1 0 "CLASS-A")");
  EXPECT_EQ(j["result"], false) << j.dump();
  EXPECT_EQ(j["LogState"], 14);
  EXPECT_NE(j["ShareString"].get<std::string>().find("PC01"), std::string::npos) << j.dump();

  // The file-server and metadata members answer from the demo.
  j = pc02.Ask(R"(GetBindFsUser "")");
  EXPECT_EQ(j["byref"][0], "<valeco>\r\n<user name='demo.fs' pwd='fs-demo-2024'> \r\n</user>\r\n</valeco>");
  EXPECT_EQ(pc02.Ask("dbServerName")["result"], dir);
  j = pc02.Ask("ValeSystemADODb");
  EXPECT_NE(j["result"]["connection"].get<std::string>().find("valesystem"), std::string::npos) << j.dump();
  EXPECT_EQ(pc01.Finish(), 0);
  EXPECT_EQ(pc02.Finish(), 0);
}

}  // namespace
