// Faults through every seam, walked statement by statement: the Nth
// statement of a sign-on, a registration, a release, the release sequence,
// each account-information index and the closing status fails as the
// database would fail it (a deadlock victim, a broken NOLOCK scan, a
// constraint, a lost connection that takes every later statement with it),
// for every N the operation reaches. Each time the public member must
// answer as its contract says (a code and a text, or an error raised where
// the member raises), and leave no task row that neither a release nor the
// lease can reach. Then the login interface throwing from each of its
// calls, a management service that fails, answers garbage or stalls, and a
// clock that jumps. Run under LeakSanitizer in the sanitized build.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/login_parts.h"
#include "db/connection.h"
#include "db/fault.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "suite/settings.h"
#include "support/demo_database.h"
#include "support/fake_env.h"
#include "support/fake_parley.h"
#include "support/scratch_demo.h"
#include "support/silent_port.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using db::Statement;
using testing::ScratchServer;

struct Fault {
  const char* name;
  int32_t native;
  const char* sql_state;
  bool sticky;  // the connection is gone: every later statement fails too
};
const Fault kFaults[] = {
    {"deadlock victim", 1205, "40001", false},
    {"scan broken under NOLOCK", 601, "HY000", false},
    {"constraint violated", 2627, "23000", false},
    {"connection lost", 0, "08S01", true},
};

// Fails the `nth` statement any connection of the process runs from now on
// (and, for a lost connection, every one after it), and says which it was.
class FaultAt {
 public:
  FaultAt(int nth, const Fault& fault)
      : hook_([this, nth, &fault](const Statement& st) -> std::optional<db::DbError> {
          ++seen_;
          if (seen_ < nth || (seen_ > nth && !fault.sticky)) return std::nullopt;
          if (seen_ == nth) failed_ = std::string(st.sql());
          return db::DbError{-2147467259, std::string("injected: ") + fault.name, fault.native, fault.sql_state};
        }) {}
  bool hit() const { return !failed_.empty(); }
  const std::string& failed() const { return failed_; }

 private:
  int seen_ = 0;
  std::string failed_;
  db::ScopedFaultHook hook_;
};

bool Mentions(const std::string& sql, std::string_view what) { return sql.find(what) != std::string::npos; }

// What a member did with its `nth` statement failing: its answer, whether
// it raised, and that statement ("" when the member ran fewer).
struct Attempt {
  bool ok = false;
  bool raised = false;
  std::string failed;
};
template <class Call>
Attempt Try(int nth, const Fault& fault, Call call) {
  Attempt a;
  FaultAt at(nth, fault);
  try {
    a.ok = call();
  } catch (const ComError&) {
    a.raised = true;
  }
  a.failed = at.failed();
  return a;
}

// No operation reaches this many statements; a walk that does is stuck.
constexpr int kMaxStatements = 400;

class FaultWalkTest : public ::testing::TestWithParam<Edition> {
 protected:
  void SetUp() override {
    std::string skip;
    demo_ = testing::ScratchDemo::Make(ScratchServer::Kind::kSqlite, &skip);
    if (!demo_) TARN_SKIP_WITHOUT_BACKEND(skip);
    dir_ = demo_->dir();
    db_ = demo_->db();
    testing::UseDemoDatabase(env_, db_);
    env_.random_step = 0.0137;  // a new task id and log id for every draw
    conn_ = db::Connection::Create();
    ASSERT_TRUE(conn_->Open(db_.system_database, "", "").ok());
    tasks_before_ = Count(Statement("SELECT count(*) FROM UA_task"));
  }

  bool extended() const { return GetParam() == Edition::kExtended; }

  std::unique_ptr<clsLogin> NewLogin() {
    auto login = std::make_unique<clsLogin>(GetParam());
    login->set_cWebClient("ST1");
    return login;
  }
  static bool SignOn(clsLogin& login) {
    LoginParams p{"GL", "001", "2024", "ALICE", "alice", "2024-03-15", "", ""};
    return login.Login(p);
  }
  std::unique_ptr<clsLogin> SignedOn() {
    auto login = NewLogin();
    EXPECT_TRUE(SignOn(*login)) << login->ShareString();
    return login;
  }

  int64_t Count(const Statement& st) {
    db::ResultSet rs;
    EXPECT_TRUE(conn_->Query(st, &rs).ok()) << st.sql();
    return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
  }
  int64_t RowsOf(const std::string& task_id, const std::string& auth_id) {
    return Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=? AND cAuth_Id=?").Bind(task_id).Bind(auth_id));
  }
  // Task rows that no release will reach and whose task the management
  // service does not know, so that its lease would not release them either.
  int64_t Stranded() {
    return Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId NOT IN (SELECT cTaskId FROM TarnServiceTask)"));
  }
  // The task rows, for a failure's message.
  std::string TaskRows() {
    db::ResultSet rs;
    (void)conn_->Query(Statement("SELECT cTaskId, cAuth_Id, cStation FROM UA_task"), &rs);
    std::string out;
    for (size_t r = 0; r < rs.rows(); ++r) {
      out += rs.at(r, 0).ToStringOrEmpty() + "/" + rs.at(r, 1).ToStringOrEmpty() + "/" + rs.at(r, 2).ToStringOrEmpty() +
             " ";
    }
    return out;
  }
  // What the lease does for a dead station's task.
  void Lease(const std::string& task_id) {
    ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_task WHERE cTaskId=?").Bind(task_id)).ok());
  }

  std::unique_ptr<testing::ScratchDemo> demo_;
  std::string dir_;
  testing::DemoDatabase db_;
  testing::FakeEnv env_;
  testing::FakeEnvScope env_scope_{env_};
  db::ConnectionPtr conn_;
  int64_t tasks_before_ = 0;
};

// A sign-on fails cleanly at any statement, its own or the login
// service's: false with a reason, and nothing left once the object goes.
TEST_P(FaultWalkTest, SignOnAtEveryStatement) {
  for (const Fault& fault : kFaults) {
    int n = 1;
    for (; n <= kMaxStatements; ++n) {
      auto login = NewLogin();
      // What the login interface raises reaches the caller.
      const auto [ok, raised, failed] = Try(n, fault, [&] { return SignOn(*login); });
      if (failed.empty()) {
        EXPECT_TRUE(ok) << login->ShareString();
        break;
      }
      const std::string where = std::string(fault.name) + " at statement " + std::to_string(n) + ": " + failed;
      if (!ok && !raised) {
        EXPECT_FALSE(login->ShareString().empty()) << where;
      }
      const std::string task_id = core::PartsOf(*login).identity.TaskId;
      login.reset();  // the release sequence, with the database back
      if (fault.sticky) {
        EXPECT_EQ(Stranded(), 0) << where;
        if (!task_id.empty()) Lease(task_id);
      }
      EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), tasks_before_) << where;
    }
    EXPECT_GT(n, 5) << fault.name << ": the walk reached too few statements";
    EXPECT_LE(n, kMaxStatements) << fault.name;
  }
}

// A registration that meets a fault either holds its row or has none and
// says why; only a failure of the logs after the checks leaves the row,
// for the release that follows.
TEST_P(FaultWalkTest, RegistrationAtEveryStatement) {
  auto alice = SignedOn();
  const std::string task_id = alice->TaskId();
  for (const Fault& fault : kFaults) {
    int n = 1;
    for (; n <= kMaxStatements; ++n) {
      alice->ClearError();
      const auto [ok, raised, failed] = Try(n, fault, [&] { return alice->TaskExec("GL0101", -1); });
      const int64_t rows = RowsOf(task_id, "GL0101");
      if (failed.empty()) {
        EXPECT_TRUE(ok) << alice->ShareString();
        EXPECT_EQ(rows, 1);
        EXPECT_TRUE(alice->TaskExec("GL0101", 0));
        break;
      }
      const std::string where = std::string(fault.name) + " at statement " + std::to_string(n) + ": " + failed;
      if (ok) {
        EXPECT_EQ(rows, 1) << "registered without its row; " << where;
      } else if (raised) {
        // Only the full edition's reads before the checks raise, and they
        // record nothing.
        EXPECT_FALSE(extended()) << where;
        if (!fault.sticky) {  // else a later statement raised
          EXPECT_TRUE(Mentions(failed, "UA_HoldAuth") || Mentions(failed, "UA_Auth") || Mentions(failed, "UA_control"))
              << where;
        }
        EXPECT_EQ(alice->LogState(), 0) << where;
        EXPECT_EQ(rows, 0) << where;
      } else {
        EXPECT_NE(alice->LogState(), 0) << where;
        EXPECT_FALSE(alice->ShareString().empty()) << where;
        if (!fault.sticky && rows != 0) {
          EXPECT_TRUE(Mentions(failed, "UA_TaskLog") || Mentions(failed, "UA_tasklog") || Mentions(failed, "UA_log"))
              << "a failed registration kept its row; " << where;
        }
        if (!fault.sticky && (fault.native == 1205 || fault.native == 601) && rows != 0) {
          EXPECT_EQ(alice->LogState(), 9999) << where;
        }
      }
      // Whatever happened, the release finds and removes it.
      EXPECT_TRUE(alice->TaskExec("GL0101", 0)) << where << ": " << alice->ShareString();
      EXPECT_EQ(RowsOf(task_id, "GL0101"), 0) << where;
    }
    EXPECT_GT(n, 5) << fault.name;
    EXPECT_LE(n, kMaxStatements) << fault.name;
  }
}

// A release that meets a fault says so (9999 for a deadlock or a broken
// scan, 9003 for anything else), or has removed the row; a second release
// removes what the first could not.
TEST_P(FaultWalkTest, ReleaseAtEveryStatement) {
  auto alice = SignedOn();
  const std::string task_id = alice->TaskId();
  for (const Fault& fault : kFaults) {
    int n = 1;
    for (; n <= kMaxStatements; ++n) {
      ASSERT_TRUE(alice->TaskExec("GL0101", -1)) << alice->ShareString();
      alice->ClearError();
      const auto [ok, raised, failed] = Try(n, fault, [&] { return alice->TaskExec("GL0101", 0); });
      const int64_t rows = RowsOf(task_id, "GL0101");
      if (failed.empty()) {
        EXPECT_TRUE(ok);
        EXPECT_EQ(rows, 0);
        break;
      }
      const std::string where = std::string(fault.name) + " at statement " + std::to_string(n) + ": " + failed;
      if (ok) {
        EXPECT_EQ(rows, 0) << "released but the row stayed; " << where;
      } else if (raised) {
        EXPECT_FALSE(extended()) << where;  // the full edition's function read
        if (!fault.sticky) {
          EXPECT_TRUE(Mentions(failed, "UA_Auth")) << where;
        }
      } else if (!fault.sticky) {
        EXPECT_EQ(alice->LogState(), fault.native == 1205 || fault.native == 601 ? 9999 : 9003) << where;
        EXPECT_FALSE(alice->ShareString().empty()) << where;
      } else {
        EXPECT_NE(alice->LogState(), 0) << where;
      }
      EXPECT_TRUE(alice->TaskExec("GL0101", 0)) << where;
      EXPECT_EQ(RowsOf(task_id, "GL0101"), 0) << where;
    }
    EXPECT_GT(n, 2) << fault.name;
  }
}

// The release sequence ignores every error: whatever fails, the object
// goes without raising, and what stays is the lease's.
TEST_P(FaultWalkTest, ReleaseSequenceAtEveryStatement) {
  for (const Fault& fault : kFaults) {
    int n = 1;
    for (; n <= kMaxStatements; ++n) {
      auto alice = SignedOn();
      const std::string task_id = alice->TaskId();
      ASSERT_TRUE(alice->TaskExec("GL0101", -1));  // a function task outlives the sequence by design
      std::string failed;
      {
        FaultAt at(n, fault);
        EXPECT_NO_THROW(alice->ShutDown());
        EXPECT_NO_THROW(alice.reset());
        failed = at.failed();
      }
      const std::string where = std::string(fault.name) + " at statement " + std::to_string(n) + ": " + failed;
      EXPECT_EQ(Stranded(), 0) << where;
      if (!fault.sticky && !Mentions(failed, "UA_task")) {
        EXPECT_EQ(RowsOf(task_id, "reg"), 0) << where;
      }
      Lease(task_id);
      if (failed.empty()) break;
    }
    EXPECT_GT(n, 1) << fault.name;
  }
}

std::string Describe(const Variant& v) {
  if (v.IsObject()) return "object";
  if (v.IsNull()) return "null";
  if (v.IsEmpty()) return "empty";
  return v.ToString();
}

// Account information raises every database error to its caller and is
// none the worse for it: the next call answers as before. The closing
// status raises them in the full edition and traps them in the extended.
TEST_P(FaultWalkTest, AccountInformationAndClosingStatusAtEveryStatement) {
  auto alice = SignedOn();
  const int32_t indexes[] = {10, 11, 100, 105, 115, 118, 120, 121, 200, 201, 202, 203, 204, 205, 206, 300, 301, 302};
  for (int32_t index : indexes) {
    auto ask = [&](Variant* v) {
      *v = Variant(std::string("GL"));
      return alice->GetAccInfo(index, *v);
    };
    Variant expected_value;
    const bool expected = ask(&expected_value);
    for (const Fault& fault : kFaults) {
      for (int n = 1; n <= kMaxStatements; ++n) {
        Variant v;
        const auto [ok, raised, failed] = Try(n, fault, [&] { return ask(&v); });
        if (failed.empty()) {
          EXPECT_EQ(ok, expected) << index;
          EXPECT_EQ(Describe(v), Describe(expected_value)) << index;
          break;
        }
        const std::string where =
            "index " + std::to_string(index) + ", " + fault.name + " at statement " + std::to_string(n) + ": " + failed;
        EXPECT_TRUE(raised) << "a failed statement was answered as data; " << where;
        Variant again;
        EXPECT_EQ(ask(&again), expected) << where;
        EXPECT_EQ(Describe(again), Describe(expected_value)) << where;
      }
    }
  }
  for (int16_t index : {204, 205, 206}) {
    for (const Fault& fault : kFaults) {
      for (int n = 1; n <= kMaxStatements; ++n) {
        bool state = false;
        const auto [ok, raised, failed] = Try(n, fault, [&] { return alice->ClosingStatus(index, "GL", 2024, state); });
        if (failed.empty()) {
          EXPECT_TRUE(ok) << index;
          break;
        }
        const std::string where = "closing status " + std::to_string(index) + ", " + fault.name + " at statement " +
                                  std::to_string(n) + ": " + failed;
        EXPECT_EQ(raised, !extended()) << where;
        if (extended()) {
          EXPECT_FALSE(ok) << where;
        }
      }
    }
  }
}

// The login interface, wrapped so that its Nth call raises.
class ThrowingLoginUI : public boundary::LoginUI {
 public:
  ThrowingLoginUI(std::shared_ptr<boundary::LoginUI> inner, int throw_at, int* calls)
      : inner_(std::move(inner)), throw_at_(throw_at), calls_(calls) {}

  void SetLanguageID(const std::string& locale) override { Call(), inner_->SetLanguageID(locale); }
  bool Login(std::string& sub, std::string& user, std::string& password, std::string& server, std::string& date,
             std::string& acc, std::string& serial) override {
    Call();
    return inner_->Login(sub, user, password, server, date, acc, serial);
  }
  std::shared_ptr<boundary::ProductContext> SubLogin(const std::string& sub) override {
    return Call(), inner_->SubLogin(sub);
  }
  std::string UserToken() override { return Call(), inner_->UserToken(); }
  std::string GetTaskID(const std::string& sub) override { return Call(), inner_->GetTaskID(sub); }
  std::string ErrDescript() override { return Call(), inner_->ErrDescript(); }
  std::shared_ptr<boundary::UserData> GetLoginInfo_2(const std::string& token) override {
    return Call(), inner_->GetLoginInfo_2(token);
  }
  std::string GetEndSubAuthsWithAuthID(const std::string& token, const std::string& auth, bool admin,
                                       const std::string& sub) override {
    return Call(), inner_->GetEndSubAuthsWithAuthID(token, auth, admin, sub);
  }
  void SubLogout(const std::string& sub) override { Call(), inner_->SubLogout(sub); }
  void ShutDown() override { Call(), inner_->ShutDown(); }
  std::string GetDefaultConnstring(const std::string& host) override {
    return Call(), inner_->GetDefaultConnstring(host);
  }
  std::string GetFileServerInfo(const std::string& token, bool flag) override {
    return Call(), inner_->GetFileServerInfo(token, flag);
  }
  std::shared_ptr<boundary::LoginErrorRecord> GetLastErrorResID() override {
    return Call(), inner_->GetLastErrorResID();
  }
  std::string userToken() override { return Call(), inner_->userToken(); }
  std::shared_ptr<boundary::UserData> getLoginInfo() override { return Call(), inner_->getLoginInfo(); }
  std::shared_ptr<boundary::ContextData> GetSubLoginInfo(const std::string& sub) override {
    return Call(), inner_->GetSubLoginInfo(sub);
  }

 private:
  void Call() {
    if (++*calls_ == throw_at_) throw ComError(-2147023170, "The remote procedure call failed.", "LoginUI");
  }
  std::shared_ptr<boundary::LoginUI> inner_;
  int throw_at_;
  int* calls_;
};

// The interface may raise from any member: the sign-on raises it or
// answers false, the release sequence swallows it, and no row stays.
TEST_P(FaultWalkTest, ALoginInterfaceThatRaisesFromAnyMember) {
  const ObjectRegistry::Factory real = ObjectRegistry::Global().Find(boundary::kLoginUiProgId);
  ASSERT_TRUE(real);
  int calls = 0, throw_at = 0;
  ScopedRegistration wrapped(boundary::kLoginUiProgId, [&] {
    return std::make_shared<ThrowingLoginUI>(std::dynamic_pointer_cast<boundary::LoginUI>(real()), throw_at, &calls);
  });
  for (throw_at = 1; throw_at <= 50; ++throw_at) {
    calls = 0;
    auto login = NewLogin();
    bool ok = false;
    try {
      ok = SignOn(*login);
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), -2147023170) << "call " << throw_at;
    }
    const bool reached = calls >= throw_at;
    if (ok) {
      EXPECT_TRUE(login->TaskExec("GL0101", -1)) << login->ShareString();
    }
    const std::string task_id = core::PartsOf(*login).identity.TaskId;
    EXPECT_NO_THROW(login.reset()) << "call " << throw_at;
    if (!task_id.empty()) Lease(task_id);  // the function task is the lease's
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), tasks_before_)
        << "call " << throw_at << ": " << TaskRows();
    if (!reached) break;  // past the last call of a sign-on and its release
  }
  EXPECT_GT(throw_at, 4);
  EXPECT_LT(throw_at, 50);
}

// A service that fails the call, answers garbage, or accepts and never
// answers: every function is refused with 30 and writes no row.
TEST_P(FaultWalkTest, AManagementServiceThatFailsAnswersGarbageOrStalls) {
  auto alice = SignedOn();
  const std::string task_id = alice->TaskId();
  {
    auto parley = std::make_shared<testing::FakeParley>();
    testing::FakeParleyScope scope(parley);
    for (int variant = 0; variant < 3; ++variant) {
      parley->result = variant == 0 ? 1 : 0;  // the call failed
      if (variant == 1) parley->exact_buffer = std::string("\x01\xff garbage \x7f", 13);
      if (variant == 2) parley->exact_buffer = std::string(4096, 'p');  // no terminator at all
      EXPECT_FALSE(alice->TaskExec("GL0101", -1)) << variant;
      EXPECT_EQ(alice->LogState(), 30) << variant;
      EXPECT_EQ(RowsOf(task_id, "GL0101"), 0) << variant;
    }
  }
  // A real service address that accepts and never answers: the call ends
  // at the timeout.
  {
    testing::SilentPort silent;
    ASSERT_FALSE(silent.address().empty());
    env_.registry.SetString(suite::kSettingsKey, "ServiceAddress", silent.address());
    env_.registry.SetString(suite::kSettingsKey, "RpcTimeoutSeconds", "1");
    EXPECT_FALSE(alice->TaskExec("GL0101", -1));
    EXPECT_EQ(alice->LogState(), 30);
    EXPECT_EQ(RowsOf(task_id, "GL0101"), 0);
    env_.registry.SetString(suite::kSettingsKey, "ServiceAddress", "");
  }
  EXPECT_TRUE(alice->TaskExec("GL0101", -1)) << alice->ShareString();
  EXPECT_TRUE(alice->TaskExec("GL0101", 0));
}

// The clock jumps between the calls of a station, a day back and a year
// on: registration and release still pair up, and the log ids stay apart.
TEST_P(FaultWalkTest, AClockThatJumps) {
  auto alice = SignedOn();
  const std::string task_id = alice->TaskId();
  for (double jump : {-1.0, 365.0, -0.5, 3650.0}) {
    env_.now.serial += jump;
    ASSERT_TRUE(alice->TaskExec("GL0101", -1)) << jump << ": " << alice->ShareString();
    ASSERT_TRUE(alice->TaskExec("GL0102", -1)) << jump << ": " << alice->ShareString();
    EXPECT_EQ(
        Count(
            Statement("SELECT count(DISTINCT iLogId) FROM UA_task WHERE cTaskId=? AND cAuth_Id<>'reg'").Bind(task_id)),
        2);
    env_.now.serial -= jump / 2;
    EXPECT_TRUE(alice->TaskExec("GL0101", 0));
    EXPECT_TRUE(alice->TaskExec("GL0102", 0));
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=? AND cAuth_Id<>'reg'").Bind(task_id)), 0);
  }
}

std::string EditionName(const ::testing::TestParamInfo<Edition>& info) {
  return info.param == Edition::kExtended ? "Extended" : "Full";
}

INSTANTIATE_TEST_SUITE_P(Editions, FaultWalkTest, ::testing::Values(Edition::kFull, Edition::kExtended), EditionName);

}  // namespace
}  // namespace tarn
