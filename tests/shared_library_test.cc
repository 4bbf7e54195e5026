// Hosts that link one library and include only the public headers: the C++
// host (examples/hello_login.cc) signs on to the demo, runs its loop on the
// public pump until the heartbeat has gone out, and reads its own edition's
// registry keys; the C host (examples/hello_c.c) goes through the C
// interface and the registry file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "db/connection.h"
#include "support/session_process.h"

namespace {

struct Child {
  FILE* pipe = nullptr;
  std::string out;
  int status = -1;
};

void Start(Child* run, const std::string& command) { run->pipe = popen((command + " 2>&1").c_str(), "r"); }

void Finish(Child* run) {
  ASSERT_NE(run->pipe, nullptr);
  char buf[4096];
  while (std::fgets(buf, sizeof buf, run->pipe)) run->out += buf;
  const int status = pclose(run->pipe);
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kBin = TARN_BIN_DIR;

TEST(SharedLibraryTest, AHostWithoutSignOnSeesTheRefusal) {
  Child run;
  Start(&run, "TARN_REGISTRY=/nonexistent TARN_LANG=en-us TARN_COMPUTERNAME=PC01 " + kBin + "/hello_login");
  Finish(&run);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("serial   Auto-Windows-PC01PC01@"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("login    false: "), std::string::npos) << run.out;
}

// The heartbeat comes one minute after the sign-on, in real time: both
// editions wait for it side by side.
TEST(SharedLibraryTest, HostsOfBothEditionsSignOnAndBeatThroughThePublicPump) {
  std::string dir = ::testing::TempDir() + "tarn-host-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  Child init;
  Start(&init, kBin + "/tarn db init --data " + dir + " --demo");
  Finish(&init);
  ASSERT_EQ(init.status, 0) << init.out;
  // Each edition reads below its own version text.
  std::ofstream(dir + "/registry.reg", std::ios::app)
      << "\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID]\n@=\"{FULL-GUID}\"\n"
      << "\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.700\\GUID]\n@=\"{EXT-GUID}\"\n"
      << "\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.700\\Install\\CurrentInstPath]\n"
      << "@=\"/opt/tarn-ext\"\n";
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_LANG=en-us ";

  Child full, ext;
  Start(&full, "echo alice | " + env + "TARN_COMPUTERNAME=PC01 " + kBin + "/hello_login GL 001 2024 ALICE 2024-03-15");
  Start(&ext, "echo bob | " + env + "TARN_COMPUTERNAME=PC02 " + kBin + "/hello_login_ext GL 001 2024 BOB 2024-03-15");
  Finish(&full);
  Finish(&ext);

  EXPECT_EQ(full.status, 0) << full.out;
  EXPECT_NE(full.out.find("edition  full"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("serial   {FULL-GUID}PC01@"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("install  \n"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("login    true"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("Tarn Demo Trading, period 3, user Alice Chen"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("heartbeat 1, LogState 0"), std::string::npos) << full.out;

  EXPECT_EQ(ext.status, 0) << ext.out;
  EXPECT_NE(ext.out.find("edition  extended"), std::string::npos) << ext.out;
  EXPECT_NE(ext.out.find("serial   {EXT-GUID}PC02@"), std::string::npos) << ext.out;
  EXPECT_NE(ext.out.find("install  /opt/tarn-ext\n"), std::string::npos) << ext.out;
  EXPECT_NE(ext.out.find("login    true"), std::string::npos) << ext.out;
  EXPECT_NE(ext.out.find("heartbeat 1, LogState 0"), std::string::npos) << ext.out;
}

}  // namespace

// Hosts of other languages keep their task past the lease only by pumping
// the C interface's timers. Each runs under libfaketime at 30 times the
// speed, so that its minute's heartbeat comes every two seconds; a second
// station watches the lease on its own clock, which `:advance` moves past
// the lease between two of the host's beats: a host that did not beat would
// lose its row to that sweep.
TEST(SharedLibraryTest, HostsInCAndPythonKeepTheirTaskPastTheLeaseByPumping) {
  std::string dir = ::testing::TempDir() + "tarn-pump-host-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  Child init;
  Start(&init, kBin + "/tarn db init --data " + dir + " --demo");
  Finish(&init);
  ASSERT_EQ(init.status, 0) << init.out;
  const std::string registry = "TARN_REGISTRY=" + dir + "/registry.reg";
  auto conn = tarn::db::Connection::Create();
  ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem", "", "").ok());

  std::vector<std::string> hosts{kBin + "/hello_c"};
#if !defined(__SANITIZE_ADDRESS__)
  // Python cannot load a library built with the address sanitizer.
  hosts.push_back("python3 " + std::string(TARN_SOURCE_DIR) + "/examples/hello_ctypes.py " + TARN_LIB_DIR +
                  "/libtarnlogin.so");
#endif
  for (const std::string& host : hosts) {
    SCOPED_TRACE(host);
    Child a;
    Start(&a, registry + " TARN_LANG=en-us TARN_COMPUTERNAME=PC01 ASAN_OPTIONS=verify_asan_link_order=0 " +
                  "faketime -f '+0 x30' " + host + " 001 2024 ALICE alice 2024-03-15 4");
    ASSERT_NE(a.pipe, nullptr);
    auto next_beat = [&a] {
      char line[4096];
      while (std::fgets(line, sizeof line, a.pipe)) {
        a.out += line;
        if (std::string(line).rfind("heartbeat ", 0) == 0) return true;
      }
      return false;
    };
    ASSERT_TRUE(next_beat()) << a.out;
    tarn::testing::SessionProcess watcher({registry, "TARN_COMPUTERNAME=PC02"});
    ASSERT_TRUE(watcher.Ask("RemoteExec \"list\"").is_object());
    // Two more beats: at least one fell after the watcher read the count.
    ASSERT_TRUE(next_beat() && next_beat()) << a.out;
    ASSERT_TRUE(watcher.Ask(":advance 200").is_object());  // past the 180 s lease
    ASSERT_TRUE(watcher.Ask("RemoteExec \"list\"").is_object());
    tarn::db::ResultSet rows;
    ASSERT_TRUE(
        conn->Query(tarn::db::Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='GL0101' AND cStation='PC01'"),
                    &rows)
            .ok());
    EXPECT_EQ(rows.at(0, 0).ToInt32(), 1) << "the sweep took the row of a host that pumps";
    Finish(&a);
    EXPECT_EQ(a.status, 0) << a.out;
    EXPECT_NE(a.out.find("heartbeat 4, LogState 0"), std::string::npos) << a.out;
    EXPECT_EQ(watcher.Finish(), 0);
  }
}

// A host in C (examples/hello_c.c) registers the library it links, signs
// on and opens a function through the C interface; the compact build,
// registered with `tarn regsvr`, is created by ProgID from the library the
// registry file names.
TEST(SharedLibraryTest, AHostInCCreatesClassesByProgIdThroughTheRegistry) {
  std::string dir = ::testing::TempDir() + "tarn-c-host-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string env = "TARN_REGISTRY=" + dir + "/registry.reg TARN_LANG=en-us TARN_COMPUTERNAME=PC01 ";
  Child init, reg, run, unreg, again;
  Start(&init, kBin + "/tarn db init --data " + dir + " --demo");
  Finish(&init);
  ASSERT_EQ(init.status, 0) << init.out;
  Start(&reg, env + kBin + "/tarn regsvr " + TARN_LIB_DIR + "/libtarnlogin-compact.so");
  Finish(&reg);
  ASSERT_EQ(reg.status, 0) << reg.out;

  Start(&run, env + kBin + "/hello_c 001 2024 ALICE alice 2024-03-15 0");
  Finish(&run);
  EXPECT_EQ(run.status, 0) << run.out;
  for (const char* line : {"signed on\n", "cUserName: Alice Chen\n", "TaskExec GL0101: granted\n",
                           "NoSuchMember: error 438: ", "TarnLogin.Login (_Login) StrConn: Provider=SQLite;",
                           "released twice: error 91\n", "DllCanUnloadNow: 0\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
  }
  std::ifstream file(dir + "/registry.reg");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\TarnLogin.clsLogin\\CLSID]"), std::string::npos) << text;
  EXPECT_NE(text.find("/libtarnlogin.so.1\""), std::string::npos) << text;  // by its SONAME

  // Unregistered, the compact class is gone again; the rest stays.
  Start(&unreg, env + kBin + "/tarn regsvr -u " + TARN_LIB_DIR + "/libtarnlogin-compact.so");
  Finish(&unreg);
  ASSERT_EQ(unreg.status, 0) << unreg.out;
  Start(&again, env + kBin + "/hello_c 001 2024 ALICE alice 2024-03-15 0");
  Finish(&again);
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("TarnLogin.Login: ActiveX component can't create object: class not registered"),
            std::string::npos)
      << again.out;
}
