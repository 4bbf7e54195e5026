// One behavioural suite for both editions, on the demo company, on SQLite,
// on PostgreSQL and on PostgreSQL through ODBC: sign-on, errors, task control with the same rule data,
// the calendar, account information and the closing status. Where the
// extended edition behaves differently the test says so next to the full
// edition's expectation.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "core/login_parts.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/fault.h"
#include "db/recordset.h"
#include "resources/error_state.h"
#include "suite/login_service/login_service.h"
#include "support/demo_database.h"
#include "suite/key_file.h"
#include "suite/login_service/token.h"
#include "support/fake_env.h"
#include "support/scratch_demo.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using db::Statement;
using testing::ScratchServer;

class EditionsTest : public ::testing::TestWithParam<std::tuple<Edition, ScratchServer::Kind>> {
 protected:
  void SetUp() override {
    std::string skip;
    demo_ = testing::ScratchDemo::Make(std::get<1>(GetParam()), &skip);
    if (!demo_) TARN_SKIP_WITHOUT_BACKEND(skip);
    dir_ = demo_->dir();
    db_ = demo_->db();
    testing::UseDemoDatabase(env_, db_);
    env_.random_step = 0.0137;  // a new task id and log id for every draw
    conn_ = db::Connection::Create();
    ASSERT_TRUE(conn_->Open(db_.system_database, "", "").ok());
  }

  Edition edition() const { return std::get<0>(GetParam()); }
  bool extended() const { return edition() == Edition::kExtended; }

  // A station's login object, signed on through the login interface.
  std::unique_ptr<clsLogin> SignOn(const std::string& station, const std::string& user, const std::string& sub = "GL",
                                   const std::string& acc = "001", const std::string& year = "2024") {
    auto login = std::make_unique<clsLogin>(edition());
    login->set_cWebClient(station);  // several stations in one process
    LoginParams p{sub, acc, year, user, AsciiLowerCopy(user), "2024-03-15", "", ""};
    EXPECT_TRUE(login->Login(p)) << user << ": " << login->ShareString();
    return login;
  }
  static std::string AsciiLowerCopy(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  // A token of the demo login service for ALICE in GL, 001, 2024.
  std::string Token() {
    return suite::LoginService::IssueToken(
        {{"UserId", Variant("ALICE")},
         {"EmployeeId", Variant("E7")},
         {"Password", Variant("alice")},
         {"cSubId", Variant("GL")},
         {"AccID", Variant("001")},
         {"iYear", Variant("2024")},
         {"AccName", Variant("From the token")},
         {"iMonth", Variant(int32_t{3})},
         {"IsAdmin", Variant(false)},
         {"EntTypeID", Variant("E1")},
         {"AppServer", Variant("PC01")},
         {"ConnString", Variant(suite::AccountConnectionString(db_.system_database))},
         {"operDate", Variant("2024-03-15")},
         {"WorkStationSerial", Variant("SERIAL-1")},
         {"DataSource", Variant(dir_)},
         {"RightServer", Variant("")},
         {"IsCompanyVer", Variant(false)},
         {"LanguageID", Variant("en-us")},
         {"UserName", Variant("Alice from the token")},
         {"AppServerSerial", Variant("APP-ID")}});
  }

  int64_t Count(const Statement& st) {
    db::ResultSet rs;
    EXPECT_TRUE(conn_->Query(st, &rs).ok());
    return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
  }
  static std::string ResId(clsLogin& l) {
    auto record = l.GetLastErrorResID();
    return record ? record->ResId() : std::string();
  }

  std::unique_ptr<testing::ScratchDemo> demo_;
  std::string dir_;
  testing::DemoDatabase db_;
  db::ConnectionPtr conn_;
  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
};

TEST_P(EditionsTest, SigningOnThroughTheInterface) {
  auto login = SignOn("ST1", "ALICE");
  EXPECT_EQ(login->cAccName(), "Tarn Demo Trading");
  EXPECT_EQ(login->iMonth(), 3);
  EXPECT_EQ(login->cUserName(), "Alice Chen");
  EXPECT_EQ(login->cSubName(), "General Ledger");
  EXPECT_FALSE(login->IsAdmin());
  EXPECT_FALSE(login->TaskId().empty());
  EXPECT_FALSE(core::PartsOf(*login).connections.TokenBuilt);  // the release logs out of the interface
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cTaskId=? AND cAuth_Id='reg'").Bind(login->TaskId())),
            1);
  // The database password, however the system database spells its key.
  db::ConnectionString system;
  ASSERT_TRUE(db::ConnectionString::Parse(db_.system_database, &system).ok());
  EXPECT_EQ(login->SysPassword(), system.Get("Password"));
  auto admin = SignOn("ST2", "DEMO");
  EXPECT_TRUE(admin->IsAdmin());
  if (extended()) {
    // Taken over from the interface: its token, and no question to the
    // management service about the data server.
    EXPECT_FALSE(login->userToken().empty());
    EXPECT_EQ(login->cDbServerSerial().ToString(), login->cSerial().ToString());
  } else {
    EXPECT_THROW(login->userToken(), ComError);
  }

  // A refusal: the interface's text in both; the extended edition adds 8888
  // and forwards the interface's own record.
  clsLogin refused(edition());
  LoginParams wrong{"GL", "001", "2024", "NOBODY", "x", "2024-03-15", "", ""};
  resources::ClearLastError();
  EXPECT_FALSE(refused.Login(wrong));
  EXPECT_NE(refused.ShareString().find("NOBODY"), std::string::npos);
  if (extended()) {
    EXPECT_EQ(refused.LogState(), 8888);
    auto record = refused.GetLastErrorResID();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->ResId(), "Tarn.AA.LoginService.UnknownUser");
    ASSERT_EQ(record->ResArg().items.size(), 1u);
    EXPECT_EQ(record->ResArg().lower_bound, 1);
    EXPECT_EQ(record->ResArg().items[0].ToString(), "NOBODY");
  } else {
    EXPECT_EQ(refused.LogState(), 0);
    EXPECT_EQ(refused.GetLastErrorResID(), nullptr);
  }
}

TEST_P(EditionsTest, SigningOnWithAToken) {
  clsLogin login(edition());
  ASSERT_TRUE(login.ConstructLogin(Token())) << login.ShareString();
  std::string sub = "GL";
  ASSERT_TRUE(login.Login(sub)) << login.ShareString();
  EXPECT_TRUE(core::PartsOf(login).connections.TokenBuilt);
  if (extended()) {
    // The user data's own values stand; nothing is queried for them.
    EXPECT_EQ(login.cAccName(), "From the token");
    EXPECT_EQ(login.cUserName(), "Alice from the token");
    EXPECT_EQ(login.EntTypeID(), "E1");
    EXPECT_EQ(login.cServerSerial().ToString(), "APP-ID");
  } else {
    EXPECT_EQ(login.cAccName(), "Tarn Demo Trading");
    EXPECT_EQ(login.cUserName(), "Alice Chen");
    EXPECT_THROW(login.EntTypeID(), ComError);
  }
  EXPECT_EQ(login.iMonth(), 3);

  // Not a token, and one sealed under another installation's key: refused
  // alike, and the extended edition forwards the service's record.
  const std::string other_key_file = dir_ + "/other.key";
  ASSERT_TRUE(suite::CreateKeyFile(other_key_file).ok());
  std::string other_key;
  ASSERT_TRUE(suite::LoadKeyFile(other_key_file, &other_key).ok());
  for (const std::string& token :
       {std::string("t1.not-a-token"), suite::SealToken(other_key, R"({"UserId":"ALICE","exp":99999})")}) {
    clsLogin bad(edition());
    resources::ClearLastError();
    EXPECT_FALSE(bad.ConstructLogin(token));
    EXPECT_FALSE(bad.ShareString().empty());
    if (extended()) {
      EXPECT_EQ(bad.LogState(), 8887);
      EXPECT_EQ(ResId(bad), "Tarn.AA.LoginService.BadToken");
    } else {
      EXPECT_EQ(bad.LogState(), 0);
    }
  }
}

TEST_P(EditionsTest, TaskControlOnTheSameRules) {
  // Month-end closing needs the year to itself, in both editions: DEMO
  // works on this computer, whose ledger logins it spares.
  auto alice = SignOn("ST1", "ALICE");
  auto demo = SignOn("", "DEMO");
  ASSERT_TRUE(demo->TaskExec("GL0201", -1)) << demo->ShareString();
  EXPECT_FALSE(alice->TaskExec("GL0101", -1));
  EXPECT_EQ(alice->LogState(), 17);
  ASSERT_TRUE(demo->TaskExec("GL0201", 0));
  EXPECT_TRUE(alice->TaskExec("GL0101", -1)) << alice->ShareString();

  auto bob = SignOn("ST3", "BOB", "AP");
  auto bob2 = SignOn("ST4", "BOB", "AR");

  // A pair of kind 0 repels in both.
  ASSERT_TRUE(bob->TaskExec("AP0102", -1)) << bob->ShareString();
  EXPECT_FALSE(bob2->TaskExec("AP0103", -1));
  EXPECT_EQ(bob2->LogState(), 14);
  ASSERT_TRUE(bob->TaskExec("AP0102", 0));

  // A pair of NULL kind: only the full edition pairs it.
  ASSERT_TRUE(bob->TaskExec("AR0102", -1));
  EXPECT_EQ(bob2->TaskExec("AR0103", -1), extended());
  ASSERT_TRUE(bob->TaskExec("AR0102", 0));
  ASSERT_TRUE(bob2->TaskExec("AR0103", 0));

  // A NULL and a 0 row: never accepted by the full edition (300); the
  // extended edition reads cAuthType and grants it.
  EXPECT_EQ(demo->TaskExec("GL0901", -1), extended());
  if (!extended()) {
    EXPECT_EQ(demo->LogState(), 300);
  }
  ASSERT_TRUE(demo->TaskExec("GL0901", 0));

  // The holding query: the full edition records nothing, the extended one
  // records 10.
  resources::ClearLastError();
  EXPECT_FALSE(alice->TaskExec("AP0102", 2));
  EXPECT_EQ(alice->LogState(), extended() ? 10 : 0);

  // Releasing an id that does not exist.
  EXPECT_EQ(alice->TaskExec("NOPE", 0), extended());
  if (!extended()) {
    EXPECT_EQ(alice->LogState(), 9);
  }

  // A mode that is neither register, check nor holding releases, in both
  // editions; the extended edition checks the holding first.
  ASSERT_TRUE(alice->TaskExec("GL0102", -1)) << alice->ShareString();
  EXPECT_TRUE(alice->TaskExec("GL0102", 4)) << alice->ShareString();
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='GL0102'")), 0);
  EXPECT_TRUE(alice->TaskExec("GL0102", -2));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='GL0102'")), 0);
  EXPECT_EQ(alice->TaskExec("AP0102", 4), !extended());
  if (extended()) {
    EXPECT_EQ(alice->LogState(), 10);
  }

  // Classes of authorisation: the extended edition's pairs see only their
  // own class (or none).
  if (extended()) {
    ASSERT_TRUE(bob->TaskExecEx("AP0103", -1, 0, "X")) << bob->ShareString();
    EXPECT_TRUE(bob2->TaskExecEx("AP0102", -1, 0, "Y")) << bob2->ShareString();
    ASSERT_TRUE(bob2->TaskExecEx("AP0102", 0, 0, "Y"));
    EXPECT_FALSE(bob2->TaskExecEx("AP0102", -1, 0, "X"));
    EXPECT_EQ(bob2->LogState(), 14);
    EXPECT_FALSE(bob2->TaskExec("AP0102", -1));  // no class: every running partner counts
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task WHERE cAuth_Id='AP0103' AND cAuthClassCode='X'")), 1);
  } else {
    EXPECT_THROW(bob->TaskExecEx("AP0103", -1, 0, "X"), ComError);
  }
}

TEST_P(EditionsTest, TheCalendar) {
  auto login = SignOn("ST1", "ALICE");
  int16_t year = 0, period = 0;
  EXPECT_EQ(login->GetPeriod(DateFromCivil({2023, 7, 4, 0, 0, 0}), year, period), 0);
  EXPECT_EQ(year, 2023);
  EXPECT_EQ(period, 7);
  Date begin, end;
  period = 3;
  EXPECT_EQ(login->GetNatureDate(period, begin, end), 0);
  EXPECT_EQ(FormatDay(begin), "2024-03-01");
  EXPECT_EQ(FormatDay(end), "2024-03-31");
  period = 13;  // deleted
  EXPECT_EQ(login->GetNatureDate(period, begin, end), -1);

  // Built from a token but not signed on: the extended edition opens its
  // own connection, the full one has none.
  clsLogin token_only(edition());
  ASSERT_TRUE(token_only.ConstructLogin(Token()));
  year = period = 0;
  EXPECT_EQ(token_only.GetPeriod(DateFromCivil({2024, 3, 1, 0, 0, 0}), year, period), extended() ? 0 : -1);
}

TEST_P(EditionsTest, AccountInformation) {
  auto login = SignOn("ST1", "DEMO");
  Variant v;
  ASSERT_TRUE(login->GetAccInfo(105, v));
  EXPECT_EQ(v.ToString(), "Tarn Demo Trading Co., Ltd.");
  v = Variant();
  ASSERT_TRUE(login->GetAccInfo(301, v));  // in-lists of users and groups
  auto rs = std::dynamic_pointer_cast<db::Recordset>(v.ToObject());
  ASSERT_NE(rs, nullptr);
  EXPECT_GE(rs->RecordCount(), 3);
  v = Variant(std::string("0012024"));
  ASSERT_TRUE(login->GetAccInfo(10, v));
  EXPECT_NE(v.ToString().find("INITIAL CATALOG=VALEDATA_001_2024"), std::string::npos);

  clsLogin token_only(edition());
  ASSERT_TRUE(token_only.ConstructLogin(Token()));
  v = Variant();
  if (extended()) {
    EXPECT_TRUE(token_only.GetAccInfo(105, v));
    EXPECT_EQ(v.ToString(), "Tarn Demo Trading Co., Ltd.");
  } else {
    try {
      token_only.GetAccInfo(105, v);
      ADD_FAILURE() << "no error before sign-on";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), errnum::kObjectRequired);
    }
  }
}

TEST_P(EditionsTest, ClosingStatus) {
  auto login = SignOn("ST1", "DEMO");
  bool closed = false;
  ASSERT_TRUE(login->ClosingStatus(205, "AP", 2023, closed));
  ASSERT_TRUE(login->ClosingStatus(204, "AP", 2023, closed));
  EXPECT_TRUE(closed);
  EXPECT_FALSE(login->ClosingStatus(204, "ZZ", 2023, closed));

  // A database error: raised by the full edition, trapped by the extended.
  db::ScopedFaultHook fault([](const Statement& st) -> std::optional<db::DbError> {
    if (std::string(st.sql()).find("UA_Subsys") == std::string::npos) return std::nullopt;
    return db::DbError{-2147467259, "the disk is gone", 0, "HY000"};
  });
  if (extended()) {
    EXPECT_FALSE(login->ClosingStatus(204, "AP", 2023, closed));
  } else {
    EXPECT_THROW(login->ClosingStatus(204, "AP", 2023, closed), ComError);
  }
}

std::string Name(const ::testing::TestParamInfo<std::tuple<Edition, ScratchServer::Kind>>& info) {
  const ScratchServer::Kind kind = std::get<1>(info.param);
  return std::string(std::get<0>(info.param) == Edition::kFull ? "Full" : "Extended") +
         (kind == ScratchServer::Kind::kSqlite     ? "SQLite"
          : kind == ScratchServer::Kind::kPostgres ? "PostgreSQL"
                                                   : "ODBC");
}

INSTANTIATE_TEST_SUITE_P(Editions, EditionsTest,
                         ::testing::Combine(::testing::Values(Edition::kFull, Edition::kExtended),
                                            ::testing::Values(ScratchServer::Kind::kSqlite,
                                                              ScratchServer::Kind::kPostgres,
                                                              ScratchServer::Kind::kOdbc)),
                         Name);

}  // namespace
}  // namespace tarn
