// Signing on as a user does it: `tarn db init`, `tarn session`, `tarn token`.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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

}  // namespace
