// Task control on purpose-made rules: registration and release in every
// mode, the failure table, and each exclusion rule from both sides. One
// behavioural suite, run on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/login_parts.h"
#include "db/connection.h"
#include "db/fault.h"
#include "resources/error_state.h"
#include "suite/sysdb/schema.h"
#include "support/fake_env.h"
#include "support/fake_parley.h"
#include "support/scratch_server.h"
#include "support/shell.h"
#include "tarn/com_error.h"
#include "tarn/login.h"
#include "tasks/login_task.h"

namespace tarn {
namespace {

using db::Statement;
using testing::ScratchServer;

// The rules: one function of every kind, and ids that look like SQL.
struct Function {
  const char* id;
  const char* sub;
  const char* name;
  const char* kinds = nullptr;  // the extended edition's cAuthType
};
const Function kFunctions[] = {
    {"F0", "GL", "Plain"},
    {"F0B", "GL", "Plain too"},
    {"XY", "GL", "Exclusive in year", "1"},
    {"XA", "GL", "Exclusive in account", "2"},
    {"LY", "GL", "Year lock", "1"},
    {"K01", "GL", "Pair and year lock"},
    {"PA", "AP", "Pair A", "0"},
    {"PB", "AP", "Pair B", "0"},
    {"PN", "AP", "Pair of NULL kind"},
    {"PC", "AP", "Partner of PN"},
    {"PM", "AP", "Pair of a negative kind"},
    {"PD", "AP", "Partner of PM"},
    {"S3", "PS", "Payroll lock"},
    {"SX", "PS", "Exempted"},
    {"SY", "PS", "Not exempted"},
    {"B3", "BM", "Locks nothing"},
    {"B1", "BM", "Leaf"},
    {"M4", "FA", "Shuts out GL", "4"},
    {"BAD20", "GL", "NULL and 0"},
    {"BAD120", "GL", "Kinds 4 and 5"},
    {"E3", "PS", "Pair in payroll", "3"},
    {"E3P", "PS", "Partner of E3"},
    {"Q'1", "GL", "Quote"},
    {"' OR '1'='1", "GL", "Or"},
    {"'; DROP TABLE UA_task; --", "GL", "Drop"},
    {"总账凭证", "GL", "Chinese"},
};
constexpr int kNull = -1;
// kind, function, partner, exempted, module
struct Control {
  const char* id;
  int kind;  // kNull: NULL
  const char* repellent;
  const char* not_repellent;
  const char* module;
};
const Control kControls[] = {
    {"XY", 1, nullptr, nullptr, nullptr},  {"XA", 2, nullptr, nullptr, nullptr},
    {"LY", 1, nullptr, nullptr, nullptr},  {"K01", 0, "F0B", nullptr, nullptr},
    {"K01", 1, nullptr, nullptr, nullptr}, {"PA", 0, "PB", nullptr, nullptr},
    {"PN", -1, "PC", nullptr, nullptr},    {"PM", -5, "PD", nullptr, nullptr},
    {"S3", 3, nullptr, "SX", nullptr},     {"B3", 3, nullptr, "B1", nullptr},
    {"B3", 3, nullptr, "B3", nullptr},     {"M4", 4, nullptr, nullptr, "GL"},
    {"BAD20", -1, "F0", nullptr, nullptr}, {"BAD20", 0, "F0B", nullptr, nullptr},
    {"BAD120", 4, nullptr, nullptr, "AP"}, {"BAD120", 5, nullptr, nullptr, nullptr},
};

std::string LongId() { return std::string(100, 'L'); }

class TaskControlTest : public ::testing::TestWithParam<ScratchServer::Kind> {
 protected:
  void SetUp() override {
    env_.vars["TARN_LANG"] = "en-us";
    std::string skip;
    server_ = ScratchServer::Make(GetParam(), &skip);
    if (!server_) TARN_SKIP_WITHOUT_BACKEND(skip);
    conn_ = db::Connection::Create();
    ASSERT_TRUE(conn_->Open(server_->server(), "", "").ok());
    ASSERT_TRUE(suite::CreateSystemDatabase(*conn_).ok());
    Exec(Statement("INSERT INTO UA_Account (cAcc_Id,cAcc_Name) VALUES ('T01','Test')"));
    std::vector<Function> functions(std::begin(kFunctions), std::end(kFunctions));
    const std::string long_id = LongId();
    functions.push_back({long_id.c_str(), "GL", "Long"});
    for (const Function& f : functions) {
      Exec(Statement("INSERT INTO UA_Auth (cAuth_Id,cSub_Id,cAuth_Name,cAuthType) VALUES (?,?,?,?)")
               .Bind(f.id)
               .Bind(f.sub)
               .Bind(f.name)
               .Bind(f.kinds ? Variant(f.kinds) : Variant(Null{})));
      Exec(Statement("INSERT INTO ua_auth_base (cAuth_Id,cSub_Id,cAuth_Name,bEndGrade) VALUES (?,?,?,1)")
               .Bind(f.id)
               .Bind(f.sub)
               .Bind(f.name));
      for (const char* user : {"U1", "G1"}) {
        for (int year : {1900, 2024, 2025, 2026}) {
          Exec(Statement("INSERT INTO UA_HoldAuth (cAcc_Id,iYear,cUser_Id,cAuth_Id) VALUES ('T01',?,?,?)")
                   .Bind(year)
                   .Bind(user)
                   .Bind(f.id));
        }
      }
    }
    for (const Control& c : kControls) {
      Exec(Statement("INSERT INTO UA_control (cAuth_Id,iAuthType,cRepellent,cNotRepellent,cRepellentModule) VALUES "
                     "(?,?,?,?,?)")
               .Bind(c.id)
               .Bind(c.kind == kNull ? Variant(Null{}) : Variant(int32_t{c.kind}))
               .Bind(c.repellent ? Variant(c.repellent) : Variant(Null{}))
               .Bind(c.not_repellent ? Variant(c.not_repellent) : Variant(Null{}))
               .Bind(c.module ? Variant(c.module) : Variant(Null{})));
    }
    Exec(Statement("INSERT INTO UA_ControlEx (cAuth_Id,iAuthType) VALUES ('XY',1)"));
    Exec(Statement("INSERT INTO UA_ControlEx (cAuth_Id,iAuthType) VALUES ('XA',2)"));
    Exec(Statement("INSERT INTO UA_ControlEx (cAuth_Id,iAuthType,cRepellent) VALUES ('E3',0,'E3P')"));
    Exec(Statement("INSERT INTO ua_role (cGroup_Id,cUser_Id) VALUES ('G1','U3')"));  // U3 holds through G1
  }

  void Exec(const Statement& st) { ASSERT_TRUE(conn_->Execute(st).ok()) << st.sql() << ": " << Error(); }
  std::string Error() const { return conn_->Errors().empty() ? "" : conn_->Errors().front().description; }
  int64_t Count(const Statement& st) {
    db::ResultSet rs;
    EXPECT_TRUE(conn_->Query(st, &rs).ok()) << st.sql() << ": " << Error();
    return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
  }
  int64_t Tasks(const std::string& auth) {
    return Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id=?").Bind(auth));
  }

  // A signed-on login of `station` (given as its web-client name, so that
  // several stations share this process).
  std::unique_ptr<clsLogin> Station(const std::string& station, const std::string& user = "U1",
                                    const std::string& sub = "GL", const std::string& year = "2024",
                                    Edition edition = Edition::kFull) {
    auto login = std::make_unique<clsLogin>(edition);
    core::LoginParts& s = core::PartsOf(*login);
    s.identity.cAcc_Id = "T01";
    s.identity.cIYear = year;
    s.identity.cUserId = user;
    s.identity.cSub_Id = sub;
    s.identity.cSubName = "Sub " + sub;
    s.identity.cWebClient = station;
    s.identity.TaskId = std::to_string(45000 + next_task_++) + ".5";
    s.identity.cServerSerial = "APP";
    s.identity.ValeDbName = server_->server();
    s.identity.SysConnString = server_->With("ValeSystem");  // the extended edition's system connection
    s.connections.SystemConnection = db::Connection::Create();
    EXPECT_TRUE(s.connections.SystemConnection->Open(server_->With("ValeSystem"), "", "").ok());
    return login;
  }
  // The login row of a station, as its sign-on writes it.
  void SignedOn(clsLogin& login) {
    parley_->reply = "relogin";
    EXPECT_TRUE(tasks::RegisterLoginTask(core::PartsOf(login).identity, core::PartsOf(login).connections));
    parley_->reply = "pass";
  }
  bool Lock(clsLogin& l, const std::string& auth, int16_t mode = -1, int16_t year = 0) {
    return l.TaskExec(auth, mode, year);
  }
  std::vector<Variant> LastArgs(clsLogin& l) {
    auto record = l.GetLastErrorResID();
    return record ? record->ResArg().items : std::vector<Variant>{};
  }
  std::string LastResId(clsLogin& l) {
    auto record = l.GetLastErrorResID();
    return record ? record->ResId() : std::string();
  }

  std::unique_ptr<ScratchServer> server_;
  db::ConnectionPtr conn_;
  testing::FakeEnv env_;
  testing::FakeEnvScope env_scope_{env_};
  bool random_steps_ = (env_.random_step = 0.0137, true);  // a new log id for every registration
  std::shared_ptr<testing::FakeParley> parley_ = std::make_shared<testing::FakeParley>();
  testing::FakeParleyScope parley_scope_{parley_};
  int next_task_ = 0;
};

TEST_P(TaskControlTest, RegistrationWritesItsRowsAndReleaseRemovesThem) {
  auto a = Station("ST1");
  resources::RecordError(10, "Tarn.AA.TarnLogin.NotHoldAuth");  // a completed registration clears it
  env_.Advance(700);  // 10:30:00.7: the usage log's log-in is 10:30:00, never after its log-out
  ASSERT_TRUE(Lock(*a, "F0")) << a->ShareString();
  EXPECT_EQ(a->LogState(), 0);
  db::ResultSet row;
  ASSERT_TRUE(conn_
                  ->Query(Statement("SELECT cAcc_Id,iYear,cUser_Id,cStation,cTaskId,iLogId,cSub_Id,cAppServer FROM "
                                    "UA_task WHERE cAuth_Id='F0'"),
                          &row)
                  .ok());
  ASSERT_EQ(row.rows(), 1u);
  EXPECT_EQ(row.at(0, 0).ToString(), "T01");
  EXPECT_EQ(row.at(0, 1).ToInt32(), 2024);
  EXPECT_EQ(row.at(0, 3).ToString(), "ST1");
  EXPECT_EQ(row.at(0, 4).ToString(), a->TaskId());
  const double log_id = row.at(0, 5).ToDouble();
  EXPECT_GT(log_id, 0);
  EXPECT_EQ(row.at(0, 7).ToString(), "APP");
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_log WHERE iLogId=? AND cAuth_Id='F0' AND Success=0 AND dOutTime "
                            "IS NULL AND cStation='PC01' AND iYear=2024")
                      .Bind(log_id)),
            1);
  db::ResultSet in;
  ASSERT_TRUE(conn_->Query(Statement("SELECT dInTime FROM UA_log WHERE iLogId=?").Bind(log_id), &in).ok());
  ASSERT_EQ(in.rows(), 1u);
  EXPECT_EQ(FormatDateTime(in.at(0, 0).ToDate()), "2024-03-15 10:30:00");
  ASSERT_TRUE(Lock(*a, "F0B"));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_TaskLog WHERE cTaskId=?").Bind(a->TaskId())), 1);  // once

  ASSERT_TRUE(Lock(*a, "F0", 0));
  EXPECT_EQ(Tasks("F0"), 0);
  EXPECT_EQ(
      Count(
          Statement("SELECT count(*) FROM UA_log WHERE iLogId=? AND Success=1 AND dOutTime IS NOT NULL").Bind(log_id)),
      1);
  // Releasing what was never registered succeeds and touches nothing.
  const int64_t closed = Count(Statement("SELECT count(*) FROM UA_log WHERE Success=1"));
  EXPECT_TRUE(Lock(*a, "XY", 0));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_log WHERE Success=1")), closed);
  // An unknown id fails in the release mode too, and changes nothing even
  // where its row was written before the function went from UA_Auth.
  EXPECT_FALSE(Lock(*a, "NOPE", 0));
  EXPECT_EQ(a->LogState(), 9);
  EXPECT_EQ(LastArgs(*a).size(), 1u);
  ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_Auth WHERE cAuth_Id='F0B'")).ok());
  EXPECT_FALSE(Lock(*a, "F0B", 0));
  EXPECT_EQ(a->LogState(), 9);
  EXPECT_EQ(Tasks("F0B"), 1);
  // An object without a task id of its own releases nothing, not even a
  // row whose task id is empty.
  Exec(
      Statement("INSERT INTO UA_task (cAcc_Id,iYear,cAuth_Id,cStation,cTaskId,iLogId) VALUES "
                "('T01',2024,'F0','ST9','',77.5)"));
  auto unnamed = Station("ST2");
  core::PartsOf(*unnamed).identity.TaskId.clear();
  EXPECT_FALSE(Lock(*unnamed, "F0", 0));
  EXPECT_EQ(Tasks("F0"), 1);
}

TEST_P(TaskControlTest, ModesYearsAndTheirShortCuts) {
  auto a = Station("ST1");
  // Check only: the holding check, nothing written.
  EXPECT_TRUE(Lock(*a, "F0", 1));
  EXPECT_EQ(Tasks("F0"), 0);
  // SYSLOCK ids in any case: true, no row, not even a known id needed.
  resources::RecordError(10, "Tarn.AA.TarnLogin.NotHoldAuth");
  EXPECT_TRUE(Lock(*a, "syslockABC"));
  EXPECT_TRUE(Lock(*a, "SysLock1", 0));
  EXPECT_EQ(a->LogState(), 10);  // left as it was
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), 0);
  // The effective year: 1900 and above as given, below it the login year.
  ASSERT_TRUE(Lock(*a, "F0", -1, 1899));
  ASSERT_TRUE(Lock(*a, "F0B", -1, 1900));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='F0' AND iYear=2024")), 1);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='F0B' AND iYear=1900")), 1);

  // Holding: U2 holds nothing; U3 holds through its group; administrators
  // skip the check, but mode 2 knows no exemption and records nothing.
  auto u2 = Station("ST2", "U2");
  a->ClearError();
  EXPECT_FALSE(Lock(*u2, "F0B", 1));
  EXPECT_EQ(u2->LogState(), 10);
  a->ClearError();
  EXPECT_FALSE(Lock(*u2, "F0B", 2));
  EXPECT_EQ(u2->LogState(), 0);
  EXPECT_TRUE(Lock(*Station("ST3", "U3"), "F0B", 1));
  EXPECT_TRUE(Lock(*Station("ST3", "U3"), "F0B", 2));
  EXPECT_TRUE(Lock(*Station("ST4", "admin"), "F0B", 1));
  EXPECT_TRUE(Lock(*Station("ST4", "AsUser"), "F0B", 1));
  auto boss = Station("ST5", "U2");
  core::PartsOf(*boss).identity.IsAdmin = true;
  EXPECT_TRUE(Lock(*boss, "F0B", 1));
  EXPECT_FALSE(Lock(*boss, "F0B", 2));
  // Mode 2 reads the login year, whatever year is asked.
  EXPECT_TRUE(Lock(*Station("ST3", "U3", "GL", "2025"), "F0B", 2, 1999));
  // An unknown id: code 9 in modes -1 and 1.
  EXPECT_FALSE(Lock(*a, "NOPE", 1));
  EXPECT_EQ(a->LogState(), 9);
}

TEST_P(TaskControlTest, TheFailuresOfTheTableBeforeAnyRow) {
  // No user (but the account set service's login): 25.
  auto nobody = Station("ST1", "");
  EXPECT_FALSE(Lock(*nobody, "F0"));
  EXPECT_EQ(nobody->LogState(), 25);
  auto service = Station("ST1", "", "AS");
  EXPECT_FALSE(Lock(*service, "F0"));
  EXPECT_EQ(service->LogState(), 10);  // past the user check: it holds nothing
  // The service refuses: 30 with the server as argument.
  auto a = Station("ST1");
  core::PartsOf(*a).identity.RightServer = "SRV9";
  parley_->reply = "refused: no";
  EXPECT_FALSE(Lock(*a, "F0"));
  EXPECT_EQ(a->LogState(), 30);
  ASSERT_EQ(LastArgs(*a).size(), 1u);
  EXPECT_EQ(LastArgs(*a)[0].ToString(), "SRV9");
  EXPECT_NE(a->ShareString().find("management service on SRV9"), std::string::npos) << a->ShareString();
  // No server: this computer's own service, named.
  core::PartsOf(*a).identity.RightServer = "";
  EXPECT_FALSE(Lock(*a, "F0"));
  EXPECT_NE(a->ShareString().find("management service on PC01"), std::string::npos) << a->ShareString();
  core::PartsOf(*a).identity.RightServer = "SRV9";
  // The service asks for a re-login: the login task is written again.
  parley_->reply = "relogin";
  ASSERT_TRUE(Lock(*a, "F0")) << a->ShareString();
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='reg' AND cTaskId=? AND iLogId=?")
                      .Bind(a->TaskId())
                      .BindNumber(a->TaskId())),
            1);
  // ... and a re-login that cannot be written is 30 too.
  core::PartsOf(*a).connections.SystemConnection->Close();
  EXPECT_FALSE(Lock(*a, "F0B"));
  EXPECT_EQ(a->LogState(), 30);
  parley_->reply = "pass";

  // A log id that exists already: 302, nothing written. The fake clock and
  // random number make the next log id known.
  auto b = Station("ST2");
  const double next = Variant(FormatNumber(env_.now.serial * env_.random * 100000.0)).ToDouble();  // the next draw
  Exec(Statement("INSERT INTO UA_task (cAcc_Id,iYear,cAuth_Id,cStation,cTaskId,iLogId) VALUES "
                 "('T99',2024,'F0','X','X',?)")
           .Bind(next));
  EXPECT_FALSE(Lock(*b, "F0B"));
  EXPECT_EQ(b->LogState(), 302);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=?").Bind(b->TaskId())), 0);
}

TEST_P(TaskControlTest, ProfilesThatAreNotAcceptedLeaveNoRow) {
  auto a = Station("ST1");
  for (const char* id : {"BAD20", "BAD120"}) {
    EXPECT_FALSE(Lock(*a, id));
    EXPECT_EQ(a->LogState(), 300) << id;
    EXPECT_EQ(LastArgs(*a).size(), 1u);
    EXPECT_EQ(Tasks(id), 0) << id;
  }
  // Kinds 0 and 1: profile 1, the year lock alone: its partner refuses it
  // as any task of the year would (15), not as a pair (14).
  auto b = Station("ST2");
  ASSERT_TRUE(Lock(*b, "F0B"));
  EXPECT_FALSE(Lock(*a, "K01"));
  EXPECT_EQ(a->LogState(), 15);
  ASSERT_TRUE(Lock(*b, "F0B", 0));
  ASSERT_TRUE(Lock(*a, "K01")) << a->ShareString();
}

// An exclusive function and the functions around it, from both sides.
TEST_P(TaskControlTest, ExclusiveFunctionsAndTheYearAndAccountLocks) {
  auto a = Station("ST1"), b = Station("ST2");
  SignedOn(*a);
  // A's own login (GL) does not stand in its way.
  ASSERT_TRUE(Lock(*a, "XY")) << a->ShareString();
  // Any function of the year is refused beside it, with five arguments.
  EXPECT_FALSE(Lock(*b, "F0"));
  EXPECT_EQ(b->LogState(), 17);
  EXPECT_EQ(LastResId(*b), "Tarn.AA.TarnLogin.TaskRepellent2Year");
  const std::vector<Variant> args = LastArgs(*b);
  ASSERT_EQ(args.size(), 5u);
  EXPECT_EQ(args[0].ToString(), "ST1");
  EXPECT_EQ(args[1].ToString(), "XY");
  EXPECT_EQ(args[2].ToString(), "Exclusive in year");
  EXPECT_EQ(args[3].ToString(), "F0");
  EXPECT_EQ(args[4].ToString(), "Plain");
  EXPECT_EQ(Tasks("F0"), 0);
  // Another year, or another account, is free.
  EXPECT_TRUE(Lock(*b, "F0", -1, 2025));
  ASSERT_TRUE(Lock(*a, "XY", 0));

  // The year lock needs the year to itself: another station's login in it
  // conflicts, with six arguments.
  SignedOn(*b);
  EXPECT_FALSE(Lock(*a, "LY"));
  EXPECT_EQ(a->LogState(), 15);
  EXPECT_EQ(LastResId(*a), "Tarn.AA.TarnLogin1.TaskRepellent4");
  ASSERT_EQ(LastArgs(*a).size(), 6u);
  EXPECT_EQ(LastArgs(*a)[0].ToString(), "ST2");
  EXPECT_EQ(LastArgs(*a)[2].ToString(), "reg");
  EXPECT_EQ(Tasks("LY"), 0);
  // In 2026 nobody works: granted.
  EXPECT_TRUE(Lock(*a, "LY", -1, 2026));
  ASSERT_TRUE(Lock(*a, "LY", 0));
  // The account lock sees every year: B's 2025 function refuses it.
  EXPECT_FALSE(Lock(*a, "XA", -1, 2026));
  EXPECT_EQ(a->LogState(), 17);
  EXPECT_EQ(LastResId(*a), "Tarn.AA.TarnLogin.TaskRepellent3");
  EXPECT_EQ(LastArgs(*a).size(), 6u);
}

// The account lock spares exactly the own station's logins into its own
// subsystem, AA and DP.
TEST_P(TaskControlTest, TheAccountLockSparesOnlyTheOwnStationsLogins) {
  auto a = Station("ST1");
  SignedOn(*a);
  for (const char* sub : {"AA", "DP"}) SignedOn(*Station("ST1", "U1", sub));
  auto gl_again = Station("ST1");
  SignedOn(*gl_again);  // the same station in GL once more
  ASSERT_TRUE(Lock(*a, "XA")) << a->ShareString();
  ASSERT_TRUE(Lock(*a, "XA", 0));
  auto ap = Station("ST1", "U1", "AP");
  SignedOn(*ap);
  EXPECT_FALSE(Lock(*a, "XA"));
  EXPECT_EQ(LastArgs(*a)[1].ToString(), "AP");
}

TEST_P(TaskControlTest, PairsFromEitherSideInTheirYear) {
  auto a = Station("ST1"), b = Station("ST2");
  ASSERT_TRUE(Lock(*a, "PA"));
  EXPECT_FALSE(Lock(*b, "PB"));
  EXPECT_EQ(b->LogState(), 14);
  EXPECT_EQ(LastResId(*b), "Tarn.AA.TarnLogin.TaskRepellent5");
  EXPECT_EQ(LastArgs(*b).size(), 5u);
  EXPECT_TRUE(Lock(*b, "PB", -1, 2025));  // another year is no conflict
  ASSERT_TRUE(Lock(*a, "PA", 0));
  ASSERT_TRUE(Lock(*b, "PB"));
  EXPECT_FALSE(Lock(*a, "PA"));  // the other side
  EXPECT_EQ(a->LogState(), 14);
  ASSERT_TRUE(Lock(*b, "PB", 0));
  ASSERT_TRUE(Lock(*b, "PB", 0, 2025));
  // A pair of NULL kind is found from either side too; one of a negative
  // kind (profile 60) from its own side only.
  ASSERT_TRUE(Lock(*a, "PC"));
  EXPECT_FALSE(Lock(*b, "PN"));
  ASSERT_TRUE(Lock(*a, "PC", 0));
  ASSERT_TRUE(Lock(*a, "PN"));
  EXPECT_FALSE(Lock(*b, "PC"));
  ASSERT_TRUE(Lock(*a, "PN", 0));
  ASSERT_TRUE(Lock(*a, "PD"));
  EXPECT_FALSE(Lock(*b, "PM"));
  EXPECT_EQ(b->LogState(), 14);
  ASSERT_TRUE(Lock(*a, "PD", 0));
  ASSERT_TRUE(Lock(*a, "PM"));
  EXPECT_TRUE(Lock(*b, "PD")) << b->ShareString();
}

TEST_P(TaskControlTest, TheSubsystemLockWithItsExemptionsBothWays) {
  auto a = Station("ST1", "U1", "PS"), b = Station("ST2", "U1", "PS");
  ASSERT_TRUE(Lock(*a, "S3"));
  EXPECT_TRUE(Lock(*b, "SX"));   // exempted
  EXPECT_FALSE(Lock(*b, "SY"));  // the running lock does not exempt it
  EXPECT_EQ(b->LogState(), 14);
  EXPECT_EQ(LastResId(*b), "Tarn.AA.TarnLogin1.TaskRepellent6");
  EXPECT_EQ(LastArgs(*b)[1].ToString(), "S3");
  ASSERT_TRUE(Lock(*a, "S3", 0));
  ASSERT_TRUE(Lock(*b, "SY"));
  EXPECT_FALSE(Lock(*a, "S3"));  // the lock cannot start beside it
  EXPECT_EQ(LastArgs(*a)[1].ToString(), "SY");
  ASSERT_TRUE(Lock(*b, "SY", 0));
  EXPECT_TRUE(Lock(*a, "S3"));  // SX of B is exempted
  ASSERT_TRUE(Lock(*a, "S3", 0));

  // With the strict flag (mode 3) another station's login into the
  // subsystem conflicts too; without it, it does not. (Payroll logins get
  // their row from the sign-on, not from RegisterLoginTask.)
  Exec(Statement("INSERT INTO UA_task (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,cSub_Id) VALUES "
                 "('T01',2024,'U1','reg','ST2',?,?,'PS')")
           .Bind(b->TaskId())
           .BindNumber(b->TaskId()));
  EXPECT_FALSE(Lock(*a, "S3", 3));
  EXPECT_EQ(LastArgs(*a)[1].ToString(), "reg");
  EXPECT_TRUE(Lock(*a, "S3", -1));
  ASSERT_TRUE(Lock(*a, "S3", 0));

  // Every leaf exempted: no conflict, and no reverse scan either.
  auto bm = Station("ST3", "U1", "BM");
  ASSERT_TRUE(Lock(*bm, "B1"));
  EXPECT_TRUE(Lock(*Station("ST4", "U1", "BM"), "B3"));
}

TEST_P(TaskControlTest, AModuleShutOutFromBothSides) {
  auto fa = Station("ST1", "U1", "FA"), gl = Station("ST2");
  ASSERT_TRUE(Lock(*fa, "M4"));
  EXPECT_FALSE(Lock(*gl, "F0"));
  EXPECT_EQ(gl->LogState(), 14);
  EXPECT_EQ(LastArgs(*gl)[1].ToString(), "M4");
  ASSERT_TRUE(Lock(*fa, "M4", 0));
  ASSERT_TRUE(Lock(*gl, "F0"));
  EXPECT_FALSE(Lock(*fa, "M4"));
  EXPECT_EQ(LastArgs(*fa)[1].ToString(), "F0");
  EXPECT_TRUE(Lock(*fa, "M4", -1, 2025));  // GL works in 2024 only
}

TEST_P(TaskControlTest, IdsThatLookLikeSqlAreOnlyText) {
  auto a = Station("ST1");
  const std::vector<std::string> ids = {"Q'1", "' OR '1'='1", "'; DROP TABLE UA_task; --", "总账凭证", LongId()};
  for (const std::string& id : ids) {
    EXPECT_TRUE(Lock(*a, id)) << id << ": " << a->ShareString();
    EXPECT_EQ(Tasks(id), 1) << id;
  }
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), 5);
  for (const std::string& id : ids) {
    ASSERT_TRUE(Lock(*a, id, 0)) << id;
  }
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), 0);
}

// Which errors are recorded, ignored or raised, by the steps they hit.
TEST_P(TaskControlTest, DatabaseErrorsFollowTheFailureTable) {
  auto a = Station("ST1");
  auto fail = [](const char* fragment, int32_t native) {
    return [fragment, native](const Statement& st) -> std::optional<db::DbError> {
      if (st.sql().find(fragment) == std::string_view::npos) return std::nullopt;
      return db::DbError{-2147467259, "simulated failure", native, "HY000"};
    };
  };
  {  // the function read: raised to the caller, nothing recorded
    db::ScopedFaultHook hook(fail("FROM UA_Auth WHERE cAuth_Id", 0));
    a->ClearError();
    EXPECT_THROW(Lock(*a, "F0"), ComError);
    EXPECT_EQ(a->LogState(), 0);
  }
  {  // the own insert: without its row the function would run unguarded,
     // so the registration fails as the handler reports it
    db::ScopedFaultHook hook(fail("INSERT INTO UA_task", 0));
    EXPECT_FALSE(Lock(*a, "F0"));
    EXPECT_EQ(a->LogState(), 22);
    EXPECT_EQ(Tasks("F0"), 0);
  }
  {  // the check after the insert: the own row goes again
    bool inserted = false;
    db::ScopedFaultHook hook([&](const Statement& st) -> std::optional<db::DbError> {
      inserted |= st.sql().find("INSERT INTO UA_task") != std::string_view::npos;
      if (!inserted || st.sql().find("UA_task with(nolock)") == std::string_view::npos) return std::nullopt;
      return db::DbError{-2147467259, "simulated failure", 1205, "40001"};
    });
    EXPECT_FALSE(Lock(*a, "XY"));
    EXPECT_EQ(a->LogState(), 9999);
    EXPECT_EQ(Tasks("XY"), 0);
  }
  {  // the usage log, chosen as deadlock victim: 9999; the row stays
    db::ScopedFaultHook hook(fail("INSERT INTO UA_log", 1205));
    EXPECT_FALSE(Lock(*a, "F0B"));
    EXPECT_EQ(a->LogState(), 9999);
    EXPECT_EQ(LastResId(*a), "Tarn.AA.TarnLogin.TaskRepellent");
    EXPECT_EQ(Tasks("F0B"), 1);
  }
  {  // another error there: 22, its text after a carriage return
    db::ScopedFaultHook hook(fail("INSERT INTO UA_log", 0));
    EXPECT_FALSE(Lock(*a, "PA"));
    EXPECT_EQ(a->LogState(), 22);
    EXPECT_NE(a->ShareString().find("\rsimulated failure"), std::string::npos) << a->ShareString();
  }
  {  // the release: 601 is 9999, anything else 9003
    db::ScopedFaultHook hook(fail("DELETE  FROM UA_task with(rowlock) WHERE ctaskid", 601));
    EXPECT_FALSE(Lock(*a, "F0B", 0));
    EXPECT_EQ(a->LogState(), 9999);
    EXPECT_EQ(LastResId(*a), "Tarn.AA.TarnLogin.ExceptionReleaseTask");
  }
  {
    db::ScopedFaultHook hook(fail("DELETE  FROM UA_task with(rowlock) WHERE ctaskid", 0));
    EXPECT_FALSE(Lock(*a, "F0B", 0));
    EXPECT_EQ(a->LogState(), 9003);
    EXPECT_NE(a->ShareString().find("\rsimulated failure"), std::string::npos);
  }
  ASSERT_TRUE(Lock(*a, "F0B", 0));
  ASSERT_TRUE(Lock(*a, "PA", 0));
  // A conflict whose undo fails as a deadlock victim: 9999.
  auto b = Station("ST2");
  ASSERT_TRUE(Lock(*b, "PB"));
  {
    db::ScopedFaultHook hook(fail("DELETE  FROM UA_task with(rowlock) WHERE ilogid", 1205));
    EXPECT_FALSE(Lock(*a, "PA"));
    EXPECT_EQ(a->LogState(), 9999);
  }
}

TEST_P(TaskControlTest, StationsOfTaskRowsAndOfTheLoginTask) {
  // PO without a web client writes an empty station; its task log too.
  auto po = Station("", "U1", "PO");
  ASSERT_TRUE(Lock(*po, "F0"));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='F0' AND cStation=''")), 1);
  // GL without a web client: the computer name; the task log too.
  auto gl = Station("");
  ASSERT_TRUE(Lock(*gl, "F0B"));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='F0B' AND cStation='PC01'")), 1);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_TaskLog WHERE cTaskId=? AND cStation='PC01'").Bind(gl->TaskId())),
            1);

  // RegisterLoginTask twice: one login row, one log entry, reopened.
  auto a = Station("ST1");
  ASSERT_TRUE(tasks::RegisterLoginTask(core::PartsOf(*a).identity, core::PartsOf(*a).connections));
  Exec(Statement("UPDATE UA_log SET dOutTime='2024-01-01' WHERE iLogId=?").BindNumber(a->TaskId()));
  ASSERT_TRUE(tasks::RegisterLoginTask(core::PartsOf(*a).identity, core::PartsOf(*a).connections));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=? AND cAuth_Id='reg'").Bind(a->TaskId())), 1);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_log WHERE iLogId=? AND dOutTime IS NULL").BindNumber(a->TaskId())),
            1);
  // The administrator, payroll and the console: the task-log row only.
  for (auto& login : {Station("ST5", "ADMIN"), Station("ST6", "U1", "PS"), Station("ST7", "U1", "SC")}) {
    ASSERT_TRUE(tasks::RegisterLoginTask(core::PartsOf(*login).identity, core::PartsOf(*login).connections));
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=?").Bind(login->TaskId())), 0);
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_TaskLog WHERE cTaskId=?").Bind(login->TaskId())), 1);
  }
  // The release of the object removes its login row.
  a.reset();
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='reg' AND cStation='ST1'")), 0);
}

// What runs before a case: a function registered by its station, or a
// login row ("reg") as its sign-on writes it.
struct Running {
  const char* station;
  const char* sub;
  const char* auth;
  int16_t year = 2024;
  const char* klass = "";
};
// One registration asked of TaskExec and of `tarn tasks try`, which must
// answer alike; code 0 is a grant.
struct Ask {
  const char* what;
  Edition edition;
  std::vector<Running> running;
  const char* auth;
  int32_t code;
  const char* res_id = "";
  const char* sub = "GL";
  int16_t mode = -1;
  int16_t year = 0;
  const char* klass = "";
  const char* user = "U1";
  const char* login_year = "2024";
  bool admin = false;
};

using testing::Shell;

// The extended edition's rules, and the dry run against TaskExec, in both
// editions. Station ST1 asks; ST2 runs what is set up.
TEST_P(TaskControlTest, TheDryRunAnswersWhatTaskExecDoes) {
  constexpr Edition F = Edition::kFull, X = Edition::kExtended;
  const std::string kYear2 = "Tarn.AA.TarnLogin.TaskRepellent2Year", kAcc2 = "Tarn.AA.TarnLogin.TaskRepellent2",
                    k3 = "Tarn.AA.TarnLogin.TaskRepellent3", k4 = "Tarn.AA.TarnLogin1.TaskRepellent4",
                    k5 = "Tarn.AA.TarnLogin.TaskRepellent5", k6 = "Tarn.AA.TarnLogin1.TaskRepellent6";
  const Running gl_login{"ST2", "GL", "reg"}, ps_login{"ST2", "PS", "reg"};
  const std::vector<Ask> asks = {
      {"a SYSLOCK id", F, {}, "SysLockX", 0},
      {"a SYSLOCK id, extended", X, {}, "syslock1", 0},
      {"no holding", F, {}, "F0", 10, "Tarn.AA.TarnLogin.NotHoldAuth", "GL", -1, 0, "", "U2"},
      {"an administrator holds everything", F, {}, "F0", 0, "", "GL", -1, 0, "", "U2", "2024", true},
      {"no such function", F, {}, "NOPE", 9, "Tarn.AA.TarnLogin.NotExistAuthID"},
      {"extended: the holding comes before the function", X, {}, "NOPE", 10, "Tarn.AA.TarnLogin.NotHoldAuth"},
      {"extended: an administrator's unknown function",
       X,
       {},
       "NOPE",
       9,
       "Tarn.AA.TarnLogin.NotExistAuthID",
       "GL",
       -1,
       0,
       "",
       "U1",
       "2024",
       true},
      {"a profile never accepted", F, {}, "BAD20", 300, "Tarn.AA.TarnLogin.ExceptionAuthID"},
      {"exclusive in its year", F, {{"ST2", "GL", "XY"}}, "F0", 17, kYear2.c_str()},
      {"exclusive in its year, asked for another", F, {{"ST2", "GL", "XY"}}, "F0", 0, "", "GL", -1, 2025},
      {"exclusive in the account", F, {{"ST2", "GL", "XA", 2025}}, "F0", 17, kAcc2.c_str()},
      {"the year lock", F, {gl_login}, "LY", 15, k4.c_str()},
      // The reverse scan of the subsystem lock reads the login year, the
      // rest the year asked for.
      {"a running subsystem lock", F, {{"ST2", "PS", "S3"}}, "SY", 14, k6.c_str(), "PS"},
      {"a running subsystem lock, another login year",
       F,
       {{"ST2", "PS", "S3"}},
       "SY",
       0,
       "",
       "PS",
       -1,
       2024,
       "",
       "U1",
       "2025"},
      {"the strict subsystem lock", F, {ps_login}, "S3", 14, k6.c_str(), "PS", 3},
      {"the subsystem lock without the strict mode", F, {ps_login}, "S3", 0, "", "PS"},

      {"extended kind 1", X, {gl_login}, "LY", 15, k4.c_str()},
      {"extended kind 1 in a free year", X, {gl_login}, "LY", 0, "", "GL", -1, 2026},
      {"extended kind 2", X, {{"ST2", "GL", "F0", 2025}}, "XA", 17, k3.c_str(), "GL", -1, 2026},
      {"extended exclusive in its year", X, {{"ST2", "GL", "XY"}}, "F0", 17, kYear2.c_str()},
      {"extended exclusive in the account", X, {{"ST2", "GL", "XA", 2025}}, "F0", 17, kAcc2.c_str(), "GL", -1, 2026},
      {"extended kind 0", X, {{"ST2", "AP", "PA"}}, "PB", 14, k5.c_str(), "AP"},
      {"extended kind 0 in another year", X, {{"ST2", "AP", "PA", 2025}}, "PB", 0, "", "AP"},
      {"extended kind 3", X, {{"ST2", "PS", "E3P"}}, "E3", 14, k6.c_str(), "PS"},
      {"extended kind 3, strict, another station's login", X, {ps_login}, "E3", 14, k6.c_str(), "PS", 3},
      {"extended kind 3, not strict, another station's login", X, {ps_login}, "E3", 0, "", "PS"},
      {"extended kind 3, strict, no partner and no login", X, {gl_login}, "E3", 0, "", "PS", 3},
      {"extended kind 3, another class", X, {{"ST2", "PS", "E3P", 2024, "X"}}, "E3", 0, "", "PS", -1, 0, "Y"},
      {"extended kind 3, the same class", X, {{"ST2", "PS", "E3P", 2024, "X"}}, "E3", 14, k6.c_str(), "PS", -1, 0, "X"},
      {"extended kind 3, no class asked", X, {{"ST2", "PS", "E3P", 2024, "X"}}, "E3", 14, k6.c_str(), "PS"},
      {"extended kind 3, a partner of no class", X, {{"ST2", "PS", "E3P"}}, "E3", 14, k6.c_str(), "PS", -1, 0, "Y"},
      {"extended kind 3, strict and a class", X, {ps_login}, "E3", 14, k6.c_str(), "PS", 3, 0, "Y"},
      {"extended kind 4", X, {{"ST2", "GL", "F0"}}, "M4", 14, k5.c_str(), "FA"},
      // Only a function of kind 4 looks for what shuts it out.
      {"extended kind 4, seen from the module shut out", X, {{"ST2", "FA", "M4"}}, "F0", 0},
  };
  const std::string connect_file = ::testing::TempDir() + "tarn-try-" + std::to_string(getpid()) + "-" +
                                   std::to_string(static_cast<int>(GetParam()));
  std::ofstream(connect_file) << server_->With("ValeSystem") << "\n";
  auto quoted = [](const std::string& v) { return "'" + v + "'"; };
  for (const Ask& ask : asks) {
    SCOPED_TRACE(ask.what);
    const bool extended = ask.edition == Edition::kExtended;
    Exec(Statement("DELETE FROM UA_task"));
    for (const Running& r : ask.running) {
      if (std::string(r.auth) == "reg") {
        Exec(Statement("INSERT INTO UA_task (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,cSub_Id) VALUES "
                       "('T01',?,'U1','reg',?,'9.5',9.5,?)")
                 .Bind(r.year)
                 .Bind(r.station)
                 .Bind(r.sub));
        continue;
      }
      auto runner = Station(r.station, "U1", r.sub, "2024", ask.edition);
      ASSERT_TRUE(extended ? runner->TaskExecEx(r.auth, -1, r.year, r.klass) : runner->TaskExec(r.auth, -1, r.year))
          << runner->ShareString();
    }
    const int64_t rows = Count(Statement("SELECT count(*) FROM UA_task")),
                  logs = Count(Statement("SELECT count(*) FROM UA_log"));

    std::string command = "TARN_LANG=en-us TARN_COMPUTERNAME=PC01 " + std::string(TARN_BIN_DIR) +
                          "/tarn tasks try --connect-file " + connect_file + " --station ST1 --acc T01 --user " +
                          quoted(ask.user) + " --year " + ask.login_year + " --auth " + quoted(ask.auth) + " --sub " +
                          ask.sub;
    if (ask.year != 0) command += " --effective-year " + std::to_string(ask.year);
    if (ask.admin) command += " --admin";
    if (ask.mode == 3) command += " --strict";
    if (extended) command += " --extended";
    if (*ask.klass) command += " --class " + quoted(ask.klass);
    std::string tried;
    const int status = Shell(command, &tried);
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), rows) << "the dry run wrote";
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_log")), logs) << "the dry run wrote";

    auto asker = Station("ST1", ask.user, ask.sub, ask.login_year, ask.edition);
    core::PartsOf(*asker).identity.IsAdmin = ask.admin;
    const bool granted = extended ? asker->TaskExecEx(ask.auth, ask.mode, ask.year, ask.klass)
                                  : asker->TaskExec(ask.auth, ask.mode, ask.year);
    EXPECT_EQ(granted, ask.code == 0) << asker->ShareString();
    EXPECT_EQ(status, ask.code == 0 ? 0 : 1) << tried;
    if (ask.code == 0) {
      EXPECT_EQ(tried.rfind("granted: ", 0), 0u) << tried;
      continue;
    }
    EXPECT_EQ(asker->LogState(), ask.code);
    EXPECT_EQ(LastResId(*asker), ask.res_id);
    const std::string refusal = "refused (code " + std::to_string(ask.code) + ", " + ask.res_id + "): ";
    EXPECT_EQ(tried.rfind(refusal, 0), 0u) << tried;
    // A conflict is told with the same arguments.
    if (ask.code != 9 && ask.code != 10) {
      EXPECT_EQ(tried, refusal + asker->ShareString() + "\n");
    }
  }
  std::remove(connect_file.c_str());
}

std::string KindName(const ::testing::TestParamInfo<ScratchServer::Kind>& info) {
  return info.param == ScratchServer::Kind::kSqlite ? "SQLite" : "PostgreSQL";
}

INSTANTIATE_TEST_SUITE_P(Backends, TaskControlTest,
                         ::testing::Values(ScratchServer::Kind::kSqlite, ScratchServer::Kind::kPostgres), KindName);

}  // namespace
}  // namespace tarn
