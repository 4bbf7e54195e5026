// The management service's logic, shared by the daemon and the embedded
// service: admission, heartbeats, seats, notifications, leases, and the
// refusal of bad lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <thread>

#include "platform/timer_queue.h"
#include "service/frm_timer.h"
#include "service/service_calls.h"
#include "db/fault.h"
#include "suite/mgmt/admit.h"
#include "suite/mgmt/embedded_service.h"
#include "suite/mgmt/lease_sweeper.h"
#include "suite/mgmt/memory_task_store.h"
#include "boundary/service_protocol.h"
#include "suite/mgmt/serve_line.h"
#include "suite/mgmt/service_logic.h"
#include "suite/reply_codec.h"
#include "suite/settings.h"
#include "suite/wire.h"
#include "support/fake_env.h"
#include "support/system_db.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using boundary::ServiceRequest;
using suite::ServiceLogic;
using suite::ServiceReply;
using testing::SystemDb;

class ServiceLogicTest : public ::testing::Test {
 protected:
  ServiceLogicTest() { options_.host_identity = "SVCHOST,tarn service"; }

  std::string Send(const std::string& line) {
    ServiceRequest r;
    std::string reason;
    if (!boundary::ParseServiceRequest(line, &r, &reason)) return "refused line: " + reason;
    ServiceReply reply;
    Status s = logic().Handle(r, &reply);
    return s.ok() ? reply.text : "error: " + s.message();
  }

  ServiceLogic& logic() {
    if (!logic_) {
      logic_ = std::make_unique<ServiceLogic>(options_, *store_, [this](const std::string& l) { log_.push_back(l); });
    }
    return *logic_;
  }

  suite::ServiceOptions options_;
  std::unique_ptr<suite::TaskStore> store_ = std::make_unique<suite::MemoryTaskStore>();
  std::unique_ptr<SystemDb> db_;
  std::unique_ptr<ServiceLogic> logic_;
  std::vector<std::string> log_;
};

TEST_F(ServiceLogicTest, AdmissionAnswersReloginThenPass) {
  EXPECT_EQ(Send("Connect,ID1,GL,0,T1,9801"), "relogin: unknown task");  // a heartbeat admits nothing
  EXPECT_EQ(Send("Connect,ID1,GL,-1,T1,9801"), "relogin");
  EXPECT_EQ(Send("Connect,ID1,GL,-1,T1,9801"), "pass");
  EXPECT_EQ(Send("Connect,ID1,GL,0,T1,9801"), "pass");
  // Tasks belong to the identity that registered them: another can neither
  // beat for one, take it over, nor end it.
  EXPECT_EQ(Send("Connect,ID2,GL,0,T1,9801"), "relogin: unknown task");
  EXPECT_EQ(Send("Connect,ID2,GL,-1,T1,9801"), "refused: the task belongs to another client");
  EXPECT_EQ(Send("Logout,ID2,GL,0,T1,9801"), "unknown task");
  EXPECT_EQ(Send("Connect,ID1,GL,0,T1,9801"), "pass");
  EXPECT_EQ(Send("HostInfo,ID1,,0,0,9801"), "SVCHOST,tarn service");
}

TEST_F(ServiceLogicTest, SeatLimitRefusesWithoutEchoingTheClient) {
  options_.seats = {{"GL", 1}, {"XPASS", 0}};
  EXPECT_EQ(Send("Connect,ID1,gl,-1,T1,9801"), "relogin");
  const std::string refusal = Send("Connect,ID2,GL,-1,T2,9801");
  EXPECT_EQ(refusal.rfind("refused", 0), 0u);
  // A subsystem code that holds "pass" must not turn a refusal into a pass.
  EXPECT_EQ(Send("Connect,ID2,xpass,-1,T2,9801").find("pass"), std::string::npos);
  EXPECT_EQ(Send("Connect,ID2,AP,-1,T3,9801"), "relogin");  // no limit for AP
  // A seat comes free when its task ends.
  EXPECT_EQ(Send("Logout,ID1,GL,0,T1,9801"), "pass");
  EXPECT_EQ(Send("Connect,ID2,GL,-1,T2,9801"), "relogin");
}

TEST_F(ServiceLogicTest, NotificationsActOnTheTable) {
  Send("Connect,ID1,GL,-1,T1,9801");
  Send("Connect,ID1,GL,-1,T2,9801");
  Send("Connect,ID1,AP,-1,T3,9801");
  EXPECT_EQ(Send("List,ID1,GL,0,0,9801"), "pass 3;AP T3;GL T1;GL T2");
  EXPECT_EQ(Send("Logout,ID1,XX,0,T3,9801"), "pass");
  EXPECT_EQ(Send("Logout,ID1,AP,0,T3,9801"), "unknown task");
  EXPECT_EQ(Send("ChangeYear,ID1,GL,0,0,9801"), "pass: 2 task(s) confirmed");
  EXPECT_EQ(Send("Exit,ID1,GL,0,0,9801"), "pass: 2 task(s) ended");
  EXPECT_EQ(Send("Connect,ID1,GL,0,T1,9801"), "relogin: unknown task");
  EXPECT_EQ(Send("List,ID1,GL,0,0,9801"), "pass 0");
  // An ended task comes back with the next admission.
  EXPECT_EQ(Send("Connect,ID1,GL,-1,T1,9801"), "relogin");
}

// Leases are stillness of the confirmation count as the sweeper saw it on
// its own clock: no time the rows carry can end a task early or keep it.
TEST_F(ServiceLogicTest, LeaseReleasesTheRowsOfATaskWhoseCountStoodStill) {
  db_ = std::make_unique<SystemDb>();
  ASSERT_TRUE(db_->ok());
  constexpr int64_t kLease = 180000;
  suite::LeaseSweeper sweeper(*store_, db_->conn().get(), [this](const std::string& l) { log_.push_back(l); });
  db_->AddLogin("45000.5", "ST01", "alice", "GL0101", 1234.5);
  db_->AddLogin("45000.75", "ST02", "bob", "GL0102", 5678.5);
  Send("Connect,ID1,GL,-1,45000.5,9801");
  Send("Connect,ID2,GL,-1,45000.75,9801");

  // A sweeper that starts late gives every task a full lease from then.
  const int64_t t0 = 9'000'000'000;
  EXPECT_EQ(sweeper.Sweep(t0, kLease), 0);
  Send("Connect,ID2,GL,0,45000.75,9801");  // bob's station beats, alice's does not
  EXPECT_EQ(sweeper.Sweep(t0 + 100000, kLease), 0);
  EXPECT_EQ(sweeper.Sweep(t0 + kLease - 1, kLease), 0);  // a slow station gets its grace
  EXPECT_EQ(sweeper.Sweep(t0 + kLease, kLease), 1);
  EXPECT_EQ(db_->TaskRows("45000.5"), 0);
  EXPECT_EQ(db_->OpenLogRows("alice"), 0);
  EXPECT_EQ(db_->TaskRows("45000.75"), 2);
  EXPECT_EQ(db_->OpenLogRows("bob"), 2);
  ASSERT_FALSE(log_.empty());
  const std::string line = log_.back();
  for (const char* part : {"45000.5", "ST01", "alice", "reg", "GL0101"}) {
    EXPECT_NE(line.find(part), std::string::npos) << line;
  }
  // The dropped task is admitted afresh.
  EXPECT_EQ(Send("Connect,ID1,GL,0,45000.5,9801"), "relogin: unknown task");
  EXPECT_EQ(Send("Connect,ID1,GL,-1,45000.5,9801"), "relogin");

  // Rows no entry knows (a service killed before it wrote the admission)
  // are adopted: the station that beats for them keeps them, claimed
  // under its identity; rows nobody beats for go a lease later.
  db_->AddLogin("46000.5", "ST03", "carol", "GL0103", 9012.5);
  db_->AddLogin("47000.5", "ST04", "dave", "GL0104", 3456.5);
  EXPECT_EQ(sweeper.Sweep(t0 + 200000, kLease), 0);
  EXPECT_NE(std::find_if(log_.begin(), log_.end(),
                         [](const std::string& l) { return l.find("adopted task 46000.5") != l.npos; }),
            log_.end());
  EXPECT_EQ(Send("Connect,ID3,GL,0,46000.5,9801"), "pass");
  EXPECT_EQ(Send("List,ID3,GL,0,0,9801"), "pass 1;GL 46000.5");
  Send("Connect,ID1,GL,0,45000.5,9801");
  Send("Connect,ID2,GL,0,45000.75,9801");
  EXPECT_EQ(sweeper.Sweep(t0 + 200000 + kLease, kLease), 1);
  EXPECT_EQ(db_->TaskRows("47000.5"), 0);
  EXPECT_EQ(db_->TaskRows("46000.5"), 2);
}

TEST(ServeLineTest, BadLinesGetClearRefusals) {
  auto store = std::make_unique<suite::MemoryTaskStore>();
  suite::ServiceOptions options;
  options.host_identity = "H";
  ServiceLogic logic(options, *store, nullptr);
  auto serve = [&](const std::string& line) { return suite::ServeLine(logic, line); };
  EXPECT_EQ(serve("Connect,ID,GL,-1,T,9801").rfind("-malformed line", 0), 0u);  // no handshake
  EXPECT_EQ(serve("x|Connect,ID,GL,-1,T,9801").rfind("-malformed line", 0), 0u);
  EXPECT_EQ(serve("99999999999|Connect,ID,GL,-1,T,9801").rfind("-malformed line", 0), 0u);
  EXPECT_EQ(serve("1|Connect,ID,GL,-1,T,9801,more").rfind("-malformed request", 0), 0u);
  EXPECT_EQ(serve("1|Connect,ID,GL,-1,T,9802").rfind("-malformed request", 0), 0u);
  EXPECT_EQ(serve("1|Connect,ID,GL,1,T,9801").rfind("-malformed request", 0), 0u);
  EXPECT_EQ(serve("1|Connect,ID,GL,-1,,9801").rfind("-malformed request", 0), 0u);
  EXPECT_EQ(serve("1|connect,ID,GL,-1,T,9801"), "-unknown command");
  EXPECT_EQ(serve(std::string("1|Connect,ID\0,GL,-1,T,9801", 26)).rfind("-binary", 0), 0u);
  EXPECT_EQ(serve("1|" + std::string(600, 'x')).rfind("-line longer", 0), 0u);
  // Served lines: locked for the request's handshake, HostInfo plain.
  EXPECT_EQ(suite::UnlockReply(serve("-7|Connect,ID,GL,-1,T,9801").substr(1), -7), "relogin");
  EXPECT_EQ(serve("-7|HostInfo,ID,,0,0,9801\r"), "+H");
}

// With a service key, only lines signed with it are served: forged List,
// Logout and seat-filling Connect lines are refused, and each is logged.
TEST(ServeLineTest, AServiceWithAKeyServesSignedLinesOnly) {
  const std::string key(32, 'k'), other(32, 'o');
  auto store = std::make_unique<suite::MemoryTaskStore>();
  suite::ServiceOptions options;
  options.service_key = key;
  options.seats = {{"GL", 1}};
  std::vector<std::string> log;
  ServiceLogic logic(options, *store, [&](const std::string& l) { log.push_back(l); });
  auto serve = [&](const std::string& frame) {
    return suite::ServeLine(logic, std::string_view(frame).substr(0, frame.size() - 1));
  };
  auto reply = [&](const std::string& frame) { return suite::UnlockReply(serve(frame).substr(1), 5); };

  EXPECT_EQ(reply(suite::RequestFrame(5, "Connect,ID1,GL,-1,T1,9801", key)), "relogin");
  for (const std::string& forged :
       {suite::RequestFrame(5, "Connect,ID2,GL,-1,T2,9801", other),
        suite::RequestFrame(5, "Logout,ID1,GL,0,T1,9801", ""), suite::RequestFrame(5, "List,ID1,GL,0,0,9801", other)}) {
    EXPECT_EQ(serve(forged).rfind("-refused: the request is not signed", 0), 0u) << forged;
  }
  // A signed line changed on the way fails too.
  std::string tampered = suite::RequestFrame(5, "Logout,ID1,GL,0,T1,9801", key);
  tampered.replace(tampered.find("ID1"), 3, "ID9");
  EXPECT_EQ(serve(tampered).rfind("-refused", 0), 0u);
  // The MAC's digits may come in either case; one digit changed fails.
  std::string upper = suite::RequestFrame(5, "List,ID1,GL,0,0,9801", key);
  std::string flipped = upper;
  for (auto c = upper.end() - 65; c != upper.end() - 1; ++c) *c = static_cast<char>(std::toupper(*c));
  EXPECT_EQ(reply(upper), "pass 1;GL T1");
  char& digit = flipped[flipped.size() - 2];
  digit = digit == '0' ? '1' : '0';
  EXPECT_EQ(serve(flipped).rfind("-refused", 0), 0u);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("not signed with the service key") != l.npos; }),
            5);
  // The forgeries changed nothing: T1 holds its seat and is still known.
  EXPECT_EQ(reply(suite::RequestFrame(5, "List,ID1,GL,0,0,9801", key)), "pass 1;GL T1");
  EXPECT_EQ(reply(suite::RequestFrame(5, "Connect,ID1,GL,0,T1,9801", key)), "pass");
}

// Two "processes" of one machine (two threads, each with its own
// connection) share the embedded service through the system database.
class EmbeddedServiceTest : public ::testing::Test {
 protected:
  EmbeddedServiceTest() {
    env_.registry.SetString(suite::kSettingsKey, "SystemDatabase", db_.connection_string());
    suite::SetEmbeddedServiceLog([this](const std::string& l) { log_.push_back(l); });
  }
  ~EmbeddedServiceTest() override {
    suite::SetEmbeddedServiceLog(nullptr);
    suite::ResetEmbeddedServiceForThread();
  }

  template <class F>
  auto OnOtherThread(F f) {
    decltype(f()) result;
    std::thread t([&] {
      ScopedEnv env(&env_);
      result = f();
      suite::ResetEmbeddedServiceForThread();
    });
    t.join();
    return result;
  }

  SystemDb db_;
  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
  std::vector<std::string> log_;
};

TEST_F(EmbeddedServiceTest, ProcessesAgreeAndLeasesRunOnTheSweepersOwnClock) {
  ASSERT_TRUE(db_.ok());
  clsLogin login;  // start-up of this thread: the default libraries
  db_.AddLogin("45000.5", "ST01", "alice", "GL0101", 1234.5);
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "45000.5"), 1);
  // A row of the table's older form, which kept a time there (Unix
  // milliseconds): read as a count, neither expired at once nor eternal.
  db_.AddLogin("45100.5", "ST09", "bob", "GL0102", 9100.5);
  ASSERT_TRUE(db_.conn()
                  ->Execute(db::Statement("INSERT INTO TarnServiceTask (cIdentity,cSub_Id,cTaskId,nConfirmed,bActive) "
                                          "VALUES('OLD','GL','45100.5',1733700000000,1)"))
                  .ok());
  EXPECT_EQ(OnOtherThread([] { return service::SvcConnectEx("", "ID1", "GL", "45000.5"); }), 0);
  EXPECT_TRUE(OnOtherThread([] { return service::SvcConnect("localhost", "ID1", "GL", "45000.5"); }));
  EXPECT_EQ(service::SvcHostInfo("PC01", "ID1"), "PC01");

  // Two minutes of heartbeats keep it, while the wall clock jumps ten
  // years ahead and a day back; then the station goes silent.
  service::frmTimer timer;
  timer.Init(nullptr, "ID1", "", "GL", "45000.5", false);
  timer.Load();
  for (double jump : {3650.0, -1.0}) {
    env_.Advance(service::kHeartbeatMillis);
    env_.now.serial += jump;
    TimerQueue::ForThread().RunDue();
  }
  EXPECT_EQ(login.LogState(), 0);
  EXPECT_EQ(db_.TaskRows("45100.5"), 2);
  timer.Unload();
  env_.Advance(179000);
  EXPECT_TRUE(service::SvcConnect("", "ID1", "GL", "45000.5"));  // still inside the lease
  env_.Advance(180001);
  // A process that has just started has seen nothing stand still: it ends
  // nothing. This thread has watched the count for the whole lease.
  EXPECT_FALSE(OnOtherThread([] { return service::SvcConnect("", "ID9", "GL", "other"); }));
  EXPECT_EQ(db_.TaskRows("45000.5"), 2);
  EXPECT_FALSE(service::SvcConnect("", "ID9", "GL", "other"));
  EXPECT_EQ(db_.TaskRows("45000.5"), 0);
  EXPECT_EQ(db_.OpenLogRows("alice"), 0);
  EXPECT_EQ(db_.TaskRows("45100.5"), 0);
  std::vector<std::string> released;
  for (const std::string& l : log_) {
    if (l.find("lease expired") != std::string::npos && l.find("alice") != std::string::npos) released.push_back(l);
  }
  ASSERT_EQ(released.size(), 1u);
  EXPECT_NE(released[0].find("alice"), std::string::npos) << released[0];
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "45000.5"), 1);
}

TEST_F(EmbeddedServiceTest, ATaskAdmittedAtSignOnPassesItsFirstRegistration) {
  ASSERT_TRUE(db_.ok());
  clsLogin login;
  EXPECT_EQ(suite::AdmitTask("", "ID5", "GL", "T5").outcome, suite::Admission::kAdmitted);
  EXPECT_EQ(service::SvcConnectEx("", "ID5", "GL", "T5"), 0);
  env_.registry.SetString(suite::kSettingsKey, "Seats", "AP=0");
  const suite::Admission refused = suite::AdmitTask("", "ID5", "AP", "T6");
  EXPECT_EQ(refused.outcome, suite::Admission::kRefused);
  EXPECT_NE(refused.reason.find("seat"), std::string::npos) << refused.reason;
  // A service that cannot write its table is no unreachable one: the
  // sign-on is told the database's own reason.
  db::ScopedFaultHook full([](const db::Statement& st) -> std::optional<db::DbError> {
    if (st.sql().find("INSERT INTO TarnServiceTask") == std::string_view::npos) return std::nullopt;
    return db::DbError{-2147467259, "database or disk is full", 13, "HY000"};
  });
  const suite::Admission failed = suite::AdmitTask("", "ID5", "GL", "T7");
  EXPECT_EQ(failed.outcome, suite::Admission::kFailed);
  EXPECT_NE(failed.reason.find("disk is full"), std::string::npos) << failed.reason;
}

TEST_F(EmbeddedServiceTest, WithoutASystemDatabaseCallsFail) {
  env_.registry = RegistryStore();
  clsLogin login;
  EXPECT_EQ(service::SvcConnectEx("", "ID1", "GL", "T"), -1);
  EXPECT_EQ(service::SvcHostInfo("", "ID1"), "");
}

}  // namespace
}  // namespace tarn
