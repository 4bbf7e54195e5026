// `tarn service` as a process: admission, heartbeats, leases against a
// real system database, restarts, bad input and limits; and a login
// component that finds the service down.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/timer_queue.h"
#include "service/frm_timer.h"
#include "service/service_calls.h"
#include "suite/reply_codec.h"
#include "suite/settings.h"
#include "suite/wire.h"
#include "support/fake_env.h"
#include "support/service_process.h"
#include "support/silent_port.h"
#include "support/system_db.h"
#include "support/wait.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;
using testing::ServiceProcess;
using testing::SystemDb;
using testing::WaitUntil;

// A raw client of the line protocol. The service's greeting is taken in
// passing: its nonce binds the frames this client signs.
class LineClient {
 public:
  explicit LineClient(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~LineClient() { close(fd_); }
  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  void Send(const std::string& text) {
    ASSERT_EQ(send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
  }
  // The next line after the greeting, "<eof>" when the service closed,
  // "<timeout>" after `ms`.
  std::string ReadLine(int ms = 5000) {
    std::string line = NextLine(ms);
    if (!greeted_ && suite::ParseGreeting(line, &nonce_)) line = NextLine(ms);
    greeted_ = true;
    return line;
  }
  // Whether the service let this client in: its greeting came first, not a
  // refusal. Reads that first line.
  bool Admitted(int ms = 5000) {
    if (!greeted_) {
      greeted_ = true;
      admitted_ = suite::ParseGreeting(NextLine(ms), &nonce_);
    }
    return admitted_;
  }
  // `request` signed with `key` as this connection's next frame.
  std::string Frame(const std::string& request, const std::string& key) {
    if (!greeted_) {
      EXPECT_TRUE(suite::ParseGreeting(NextLine(5000), &nonce_));
    }
    greeted_ = true;
    return suite::RequestFrame(1, request, key, suite::FrameChannel{nonce_, ++seq_});
  }

 private:
  std::string NextLine(int ms) {
    for (;;) {
      const size_t nl = in_.find('\n');
      if (nl != std::string::npos) {
        std::string line = in_.substr(0, nl);
        in_.erase(0, nl + 1);
        return line;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) return "<timeout>";
      char buf[1024];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return "<eof>";
      in_.append(buf, static_cast<size_t>(n));
    }
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string in_;
  bool greeted_ = false;
  bool admitted_ = false;
  std::string nonce_;
  uint64_t seq_ = 0;
};

class ServiceDaemonTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_.ok()); }

  bool StartService(ServiceProcess& p, std::vector<std::string> args = {}) {
    std::ofstream(db_.dir() + "/connect.txt") << db_.connection_string() << "\n";
    args.insert(args.begin(), {"--connect-file", db_.dir() + "/connect.txt", "--key-file", db_.key_file()});
    if (!p.Start(args)) return false;
    env_.registry.SetString(suite::kSettingsKey, "ServiceAddress", p.address());
    env_.registry.SetString(suite::kSettingsKey, "ServiceKeyFile", db_.key_file());
    return true;
  }

  // A request line as our RPC library sends it on `c`, signed with the key.
  std::string Signed(LineClient& c, const std::string& request) const { return c.Frame(request, db_.key()); }

  SystemDb db_;
  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
};

TEST_F(ServiceDaemonTest, BeatenTaskLivesAndSilentTaskIsReleased) {
  ServiceProcess service;
  ASSERT_TRUE(StartService(service, {"--heartbeat-seconds", "1", "--lease-seconds", "2"}));
  clsLogin login;
  // Admitted before its rows are written, as a sign-on does it.
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "45000.5"), 1);
  db_.AddLogin("45000.5", "ST01", "alice", "GL0101", 1234.5);
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "45000.5"), 0);
  // Admitted after it and never confirmed: once its rows are released, the
  // lease has run out on the daemon's clock for ID1 too, had it not beaten.
  EXPECT_EQ(service::SvcConnectEx("", "ID9", "AP", "45009.5"), 1);
  db_.AddLogin("45009.5", "ST09", "bob", "AP0101", 9009.5);
  // The host's name, without the text behind the comma.
  const std::string host = service::SvcHostInfo("", "ID1");
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(host.find(','), std::string::npos) << host;

  // The fake clock fires the minute heartbeat, a few times a second of real
  // time, until the daemon has let the silent task go.
  service::frmTimer timer;
  timer.Init(nullptr, "ID1", "", "GL", "45000.5", false);
  timer.Load();
  EXPECT_TRUE(WaitUntil(
      [&] {
        env_.Advance(service::kHeartbeatMillis);
        TimerQueue::ForThread().RunDue();
        return db_.TaskRows("45009.5") == 0;
      },
      std::chrono::seconds(15), std::chrono::milliseconds(250)))
      << service.Log();
  EXPECT_EQ(login.LogState(), 0);
  EXPECT_EQ(db_.TaskRows("45000.5"), 2);

  timer.Unload();
  EXPECT_TRUE(WaitUntil([&] { return db_.TaskRows("45000.5") == 0; }, std::chrono::seconds(8)));
  EXPECT_EQ(db_.OpenLogRows("alice"), 0);
  // The release of ID1's task, on a line of its own beside the other's.
  const std::string log = service.Log();
  const size_t task = log.find("lease expired: released task 45000.5");
  ASSERT_NE(task, std::string::npos) << log;
  const std::string line = log.substr(task, log.find('\n', task) - task);
  for (const char* part : {"ST01", "alice", "reg", "GL0101"}) {
    EXPECT_NE(line.find(part), std::string::npos) << part << " not in\n" << line;
  }
  // A heartbeat now finds the task gone.
  env_.Advance(service::kHeartbeatMillis);
  timer.Load();
  env_.Advance(service::kHeartbeatMillis);
  TimerQueue::ForThread().RunDue();
  EXPECT_EQ(login.LogState(), 102);
  timer.Unload();

  EXPECT_EQ(service.Stop(), 0);
  EXPECT_NE(service.Log().find("stopping on SIGTERM"), std::string::npos);
}

// The tasks live in the system database: a restarted daemon knows them and
// their leases, and a station that dies after the restart is still
// released within the lease.
TEST_F(ServiceDaemonTest, ARestartedDaemonKnowsEveryTaskAndStillReleasesTheDead) {
  clsLogin login;
  db_.AddLogin("45001.5", "ST02", "bob", "AP0101", 2222.5);
  db_.AddLogin("45002.5", "ST03", "carol", "GL0102", 3333.5);
  {
    ServiceProcess service;
    ASSERT_TRUE(StartService(service, {"--heartbeat-seconds", "1", "--lease-seconds", "3"}));
    // Rows that were there before any service knew them are adopted at
    // start: the first station to confirm them keeps them.
    EXPECT_EQ(service::SvcConnectEx("", "ID2", "AP", "45001.5"), 0);
    EXPECT_EQ(service::SvcConnectEx("", "ID3", "GL", "45002.5"), 0);
    EXPECT_EQ(service.Stop(), 0);
  }
  ServiceProcess restarted;
  ASSERT_TRUE(StartService(restarted, {"--heartbeat-seconds", "1", "--lease-seconds", "3"}));
  EXPECT_TRUE(service::SvcConnect("", "ID2", "AP", "45001.5"));  // a heartbeat: known, no relogin
  EXPECT_EQ(service::SvcConnectEx("", "ID2", "AP", "45001.5"), 0);
  // ID3 is killed now: nothing confirms it any more. ID2 goes on beating.
  const bool released = WaitUntil(
      [&] {
        (void)service::SvcConnect("", "ID2", "AP", "45001.5");
        return db_.TaskRows("45002.5") == 0;
      },
      std::chrono::seconds(10), std::chrono::milliseconds(50));
  EXPECT_TRUE(released) << restarted.Log();
  EXPECT_EQ(db_.OpenLogRows("carol"), 0);
  EXPECT_EQ(db_.TaskRows("45001.5"), 2);
  EXPECT_EQ(restarted.Stop(), 0);
}

// Leases are checked off the thread that answers: while another client
// holds the database's write lock, expired tasks wait (and are kept), and
// every station still gets its answer at once.
TEST_F(ServiceDaemonTest, ABusyDatabaseHoldsUpNoAnswerAndLosesNoTask) {
  ServiceProcess service;
  ASSERT_TRUE(StartService(service, {"--heartbeat-seconds", "1", "--lease-seconds", "2"}));
  clsLogin login;
  const std::vector<std::string> dead = {"45010.5", "45011.5", "45012.5"};
  for (size_t i = 0; i < dead.size(); ++i) {
    EXPECT_EQ(service::SvcConnectEx("", "DEAD" + std::to_string(i), "GL", dead[i]), 1);
    db_.AddLogin(dead[i], "ST0" + std::to_string(i), "user" + std::to_string(i), "GL0101", 7000.5 + i);
  }
  EXPECT_EQ(service::SvcConnectEx("", "LIVE", "GL", "45020.5"), 1);

  ASSERT_TRUE(db_.conn()->BeginTrans().ok());  // the write lock, held for seconds
  ASSERT_TRUE(db_.conn()->Execute(db::Statement("UPDATE UA_User SET cDept='busy' WHERE cUser_Id='x'")).ok());
  // LIVE beats until the daemon reports a write the lock refused: its
  // database work has waited out its busy timeout, longer than the lease,
  // so that a check held up behind the lock would have held up an answer.
  const auto refused = [&] { return service.Log().find("could not") != std::string::npos; };
  Clock::duration slowest{};
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto start = Clock::now();
        EXPECT_TRUE(service::SvcConnect("", "LIVE", "GL", "45020.5"));
        slowest = std::max(slowest, Clock::now() - start);
        return refused();
      },
      std::chrono::seconds(20), std::chrono::milliseconds(100)))
      << service.Log();
  EXPECT_LT(slowest, std::chrono::seconds(1));
  for (const std::string& task : dead) EXPECT_EQ(db_.TaskRows(task), 2) << task;  // nothing was let go unreleased
  ASSERT_TRUE(db_.conn()->CommitTrans().ok());

  EXPECT_TRUE(WaitUntil(
      [&] {
        (void)service::SvcConnect("", "LIVE", "GL", "45020.5");
        return db_.TaskRows(dead[0]) + db_.TaskRows(dead[1]) + db_.TaskRows(dead[2]) == 0;
      },
      std::chrono::seconds(15), std::chrono::milliseconds(50)))
      << service.Log();
  EXPECT_EQ(db_.TaskRows("45020.5"), 0);  // LIVE holds no rows; it is still known
  EXPECT_TRUE(service::SvcConnect("", "LIVE", "GL", "45020.5"));
  EXPECT_EQ(service.Stop(), 0);
}

TEST_F(ServiceDaemonTest, BadLinesAreRefusedAndTheServiceGoesOn) {
  ServiceProcess service;
  ASSERT_TRUE(StartService(service, {"--seats", "GL=1", "--idle-timeout", "1", "--max-clients", "3"}));
  {
    LineClient c(service.port());
    ASSERT_TRUE(c.connected());
    c.Send("hello\n");
    EXPECT_EQ(c.ReadLine().rfind("-refused: the request is not signed", 0), 0u);
    c.Send("1|HostInfo,ID,,0,0,9801\n");  // well formed, but not signed
    EXPECT_EQ(c.ReadLine().rfind("-refused: the request is not signed", 0), 0u);
    c.Send(Signed(c, "Shutdown,ID,GL,0,0,9801"));
    EXPECT_EQ(c.ReadLine(), "-unknown command");
    c.Send(std::string(2000, 'x') + "\n");
    EXPECT_EQ(c.ReadLine(), "-line longer than 512 bytes");
    c.Send(std::string("1|Connect,\x01\x02\xff", 13) + "\n");
    EXPECT_EQ(c.ReadLine().rfind("-binary", 0), 0u);
    // Two requests in one packet, then the one after the refusals.
    const std::string first = Signed(c, "HostInfo,ID,,0,0,9801");
    c.Send(first + Signed(c, "HostInfo,ID,,0,0,9801"));
    EXPECT_EQ(c.ReadLine().rfind("+", 0), 0u);
    EXPECT_EQ(c.ReadLine().rfind("+", 0), 0u);
  }
  // Seats: the second GL task is refused.
  clsLogin login;
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "T1"), 1);
  EXPECT_EQ(service::SvcConnectEx("", "ID2", "GL", "T2"), -1);

  // Silent clients are timed out, and so is one that trickles bytes without
  // ever ending a line; over the limit, a client is told so.
  // Three clients hold the three slots once the service has seen the
  // earlier ones close (and these again, on a try that came too soon).
  std::unique_ptr<LineClient> a, b, slow;
  ASSERT_TRUE(WaitUntil(
      [&] {
        a.reset(), b.reset(), slow.reset();
        a = std::make_unique<LineClient>(service.port());
        b = std::make_unique<LineClient>(service.port());
        slow = std::make_unique<LineClient>(service.port());
        return a->Admitted() && b->Admitted() && slow->Admitted();
      },
      std::chrono::seconds(10)));
  LineClient d(service.port());
  EXPECT_EQ(d.ReadLine(), "-busy: too many clients (at most 3)");
  const auto start = Clock::now();
  std::string trickled = "-1|Connect,ID1,GL,0,T1,9801";
  bool closed = false;
  for (size_t i = 0; i < trickled.size() && !closed; ++i) {
    if (send(slow->fd(), &trickled[i], 1, MSG_NOSIGNAL) != 1) closed = true;
    closed = closed || slow->ReadLine(300) == "<eof>";
  }
  EXPECT_TRUE(closed || slow->ReadLine(3000) == "<eof>");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
  EXPECT_EQ(a->ReadLine(4000), "<eof>");
  EXPECT_EQ(b->ReadLine(4000), "<eof>");
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "T1"), 0);  // still serving
  EXPECT_EQ(service.Stop(), 0);
}

// A captured frame is good for its own connection and place only: played
// again there or on any other connection it is refused, logged at a
// bounded rate, and confirms nothing, so the lease of a dead station still
// runs out. Lines that are refused hold no slot: a run of them closes the
// connection, and sparse ones do not put off the idle timeout.
TEST_F(ServiceDaemonTest, ReplayedFramesAreRefusedAndJunkHoldsNoSlot) {
  ServiceProcess service;
  ASSERT_TRUE(StartService(
      service, {"--heartbeat-seconds", "1", "--lease-seconds", "2", "--idle-timeout", "2", "--max-clients", "2"}));
  auto unlocked = [](const std::string& reply) {
    return reply.rfind("+", 0) == 0 ? suite::UnlockReply(std::string_view(reply).substr(1), 1).value_or(reply) : reply;
  };
  std::string admission, heartbeat;
  {
    LineClient c(service.port());
    admission = Signed(c, "Connect,ID30,GL,-1,45030.5,9801");
    c.Send(admission);
    EXPECT_EQ(unlocked(c.ReadLine()), "relogin");
    db_.AddLogin("45030.5", "ST30", "dave", "GL0101", 3030.5);
    heartbeat = Signed(c, "Connect,ID30,GL,0,45030.5,9801");
    c.Send(heartbeat);
    EXPECT_EQ(unlocked(c.ReadLine()), "pass");
    for (const std::string& again : {admission, heartbeat}) {
      c.Send(again);
      EXPECT_EQ(c.ReadLine(), "-refused: the request is out of order on this connection") << again;
    }
  }
  const struct {
    const char* what;
    std::string frame;
  } kReplays[] = {
      {"a heartbeat", heartbeat},
      {"an admission", admission},
      {"a frame bound to no connection", suite::RequestFrame(1, "Connect,ID30,GL,0,45030.5,9801", db_.key())},
  };
  for (const auto& r : kReplays) {
    LineClient c(service.port());
    c.Send(r.frame);
    EXPECT_EQ(c.ReadLine().rfind("-refused: the request is not signed", 0), 0u) << r.what;
  }
  // The operator's drill: the heartbeat replayed every few hundred
  // milliseconds; the station is dead all the same.
  const bool released = WaitUntil(
      [&] {
        LineClient c(service.port());
        c.Send(heartbeat);
        EXPECT_EQ(c.ReadLine().rfind("-refused", 0), 0u);
        return db_.TaskRows("45030.5") == 0;
      },
      std::chrono::seconds(10), std::chrono::milliseconds(50));
  EXPECT_TRUE(released) << service.Log();
  const std::string log = service.Log();
  size_t lines = 0;
  for (size_t at = 0; (at = log.find("not signed with the service key for its connection", at)) != log.npos; ++at) {
    ++lines;
  }
  EXPECT_GE(lines, 1u) << log;
  EXPECT_LE(lines, 2u) << log;  // a dozen refusals or more, in a second or two of the log

  // Both slots taken by junk: one sends three blank lines and is closed at
  // once; the other sends a blank line before its idle time is up and is
  // closed at the idle timeout all the same, from its connect.
  std::unique_ptr<LineClient> burst, sparse;
  ASSERT_TRUE(WaitUntil(
      [&] {
        burst.reset(), sparse.reset();
        burst = std::make_unique<LineClient>(service.port());
        sparse = std::make_unique<LineClient>(service.port());
        return burst->Admitted() && sparse->Admitted();
      },
      std::chrono::seconds(10)));
  const auto start = Clock::now();
  burst->Send("\n\n\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(burst->ReadLine().rfind("-", 0), 0u) << i;
  EXPECT_EQ(burst->ReadLine(1000), "<eof>");
  // Real time on the daemon's clock, with nothing of it to wait for: the
  // blank line must come late in the idle time, where a timer it put off
  // would end past the bound below.
  std::this_thread::sleep_for(std::chrono::milliseconds(1400));
  sparse->Send("\n");
  EXPECT_EQ(sparse->ReadLine().rfind("-", 0), 0u);
  EXPECT_EQ(sparse->ReadLine(3000), "<eof>");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2900));  // not 2 s from the blank line
  clsLogin login;
  EXPECT_EQ(service::SvcConnectEx("", "ID31", "GL", "45031.5"), 1);
  EXPECT_EQ(service.Stop(), 0);
}

TEST_F(ServiceDaemonTest, AServiceThatIsDownOrSilentCostsATimeoutNotAHang) {
  env_.registry.SetString(suite::kSettingsKey, "RpcTimeoutSeconds", "1");
  testing::SilentPort silent;
  ASSERT_FALSE(silent.address().empty());
  const std::string silent_address = silent.address();

  clsLogin login;
  service::frmTimer timer;
  timer.Init(nullptr, "ID1", "", "GL", "T1", false);
  timer.Load();
  for (const std::string& address : {silent_address, std::string("127.0.0.1:1")}) {
    env_.registry.SetString(suite::kSettingsKey, "ServiceAddress", address);
    const auto start = Clock::now();
    EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "T1"), -1) << address;
    login.ClearError();
    env_.Advance(service::kHeartbeatMillis);
    TimerQueue::ForThread().RunDue();
    EXPECT_EQ(login.LogState(), 102) << address;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << address;
  }
}

TEST_F(ServiceDaemonTest, SessionRemoteExecExitReachesTheService) {
  ServiceProcess service;
  ASSERT_TRUE(StartService(service));
  clsLogin login;
  // The session's object has signed on to nothing: its subsystem is empty.
  EXPECT_EQ(service::SvcConnectEx("", "SESS@1", "", "T9"), 1);

  const std::string dir = db_.dir();
  std::ofstream(dir + "/session.reg") << "Windows Registry Editor Version 5.00\n\n"
                                      << "[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\Tarn]\n"
                                      << "\"ServiceAddress\"=\"" << service.address() << "\"\n"
                                      << "\"ServiceKeyFile\"=\"" << db_.key_file() << "\"\n";
  std::ofstream(dir + "/script.txt") << "let cSerial \"SESS@1\"\nRemoteExec \"exit\"\ncServer\n";
  const std::string command = "TARN_COMPUTERNAME=PC01 TARN_REGISTRY=" + dir + "/session.reg " +
                              std::string(TARN_BIN_DIR) + "/tarn session < " + dir + "/script.txt";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(out.find("\"member\":\"RemoteExec\""), std::string::npos) << out;
  EXPECT_EQ(out.find("\"error\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"result\":\"PC01\""), std::string::npos) << out;

  EXPECT_FALSE(service::SvcConnect("", "SESS@1", "", "T9"));  // the exit ended it
  EXPECT_NE(service.Log().find("exit: SESS@1"), std::string::npos) << service.Log();
  EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
}  // namespace tarn
