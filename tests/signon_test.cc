// Signing on against the demo database: through the login interface, from
// a token, and the completion step's rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "core/login_parts.h"
#include "core/thread_state.h"
#include "db/fault.h"
#include "db/recordset.h"
#include "platform/object_registry.h"
#include "signon/connection_data.h"
#include "suite/login_service/context_data.h"
#include "suite/login_service/login_service.h"
#include "suite/key_file.h"
#include "db/connection_string.h"
#include "suite/login_service/token.h"
#include "suite/service_config.h"
#include "suite/settings.h"
#include "support/demo_database.h"
#include "support/fake_env.h"
#include "tarn/com_error.h"
#include "resources/error_state.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using testing::DemoDatabase;
using testing::FakeEnv;
using testing::FakeEnvScope;

class SignOnTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::UseDemoDatabase(env_, db_); }

  // A token of the demo login service for `overrides` on top of ALICE in GL,
  // account set 001, 2024.
  std::string Token(const suite::Members& overrides = {}) {
    suite::Members data{{"UserId", Variant("ALICE")},
                        {"EmployeeId", Variant("E7")},
                        {"Password", Variant("alice")},
                        {"cSubId", Variant("GL")},
                        {"AccID", Variant("001")},
                        {"iYear", Variant("2024")},
                        {"AppServer", Variant("PC01")},
                        {"ConnString", Variant(suite::AccountConnectionString(db_.system_database))},
                        {"operDate", Variant("2024-03-15")},
                        {"WorkStationSerial", Variant("SERIAL-1")},
                        {"DataSource", Variant(db_.dir)},
                        {"RightServer", Variant("")},
                        {"IsCompanyVer", Variant(false)},
                        {"LanguageID", Variant("en-us")}};
    for (const auto& [k, v] : overrides) data[k] = v;
    return suite::LoginService::IssueToken(data);
  }

  int64_t Count(const std::string& table) {
    auto conn = db::Connection::Create();
    EXPECT_TRUE(conn->Open(db_.system_database, "", "").ok());
    db::ResultSet rows;
    EXPECT_TRUE(
        conn->Query(db::Statement(table == "UA_task" ? "SELECT count(*) FROM UA_task" : "SELECT count(*) FROM UA_log"),
                    &rows)
            .ok());
    return rows.rows() ? rows.at(0, 0).ToInt32() : -1;
  }

  int64_t Rows(const std::string& sql, const std::string& bound) {
    auto conn = db::Connection::Create();
    EXPECT_TRUE(conn->Open(db_.system_database, "", "").ok());
    db::ResultSet rows;
    EXPECT_TRUE(conn->Query(db::Statement(sql).Bind(bound), &rows).ok()) << sql;
    return rows.rows() ? static_cast<int64_t>(rows.at(0, 0).ToDouble()) : -1;
  }

  bool LoginWith(clsLogin& login, std::string sub, std::string acc, std::string year, std::string user,
                 std::string password, std::string date) {
    std::string server, serial;
    return login.Login(sub, acc, year, user, password, date, server, serial);
  }

  DemoDatabase db_ = testing::CopyOfDemoDatabase();
  FakeEnv env_;
  FakeEnvScope scope_{env_};
};

TEST_F(SignOnTest, LoginThroughTheInterfaceFillsTheObjectAndWritesTheLoginTask) {
  clsLogin login;
  const int64_t tasks = Count("UA_task");
  ASSERT_TRUE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-03-15")) << login.ShareString();
  EXPECT_EQ(login.cAccName(), "Tarn Demo Trading");
  EXPECT_EQ(login.iMonth(), 3);
  EXPECT_EQ(login.cUserName(), "Alice Chen");
  EXPECT_EQ(login.cSubName(), "General Ledger");
  EXPECT_EQ(login.cSub_Id(), "GL");
  EXPECT_EQ(login.cIYear(), "2024");
  EXPECT_EQ(FormatDay(login.CurDate()), "2024-03-15");
  EXPECT_FALSE(login.IsAdmin());
  EXPECT_EQ(login.ValeDbPath(), "\\ZT001\\2024\\");
  EXPECT_EQ(login.ValeZtPath(), "\\ZT001\\2024");
  EXPECT_FALSE(core::PartsOf(login).connections.TokenBuilt);
  EXPECT_NE(core::PartsOf(login).heartbeat.HeartbeatTimer, nullptr);
  ASSERT_FALSE(login.TaskId().empty());
  EXPECT_EQ(Count("UA_task"), tasks + 1);

  login.ShutDown();  // the login task goes with the object
  EXPECT_EQ(Count("UA_task"), tasks);

  // The system database's password reaches the module as it is, whatever
  // it holds, and adds nothing to the string it is handed: the module
  // opens the database the sign-on was checked against.
  env_.random_step = 0.1;  // the fake clock stands still: another task id each time
  for (const std::string password : {"p;Data Source=/nonexistent", "'quoted'", " blank ", "\ttab"}) {
    env_.registry.SetString(suite::kSettingsKey, "SystemDatabase",
                            db_.system_database + ";Password=" + db::QuoteValue(password));
    clsLogin with_password;
    ASSERT_TRUE(LoginWith(with_password, "GL", "001", "2024", "ALICE", "alice", "2024-03-15"))
        << password << ": " << with_password.ShareString();
    EXPECT_EQ(with_password.SysPassword(), password);
    db::ConnectionString handed;
    ASSERT_TRUE(db::ConnectionString::Parse(with_password.ValeDbName(), &handed).ok()) << with_password.ValeDbName();
    EXPECT_EQ(handed.Get("Data Source"), db_.dir) << with_password.ValeDbName();
    EXPECT_EQ(handed.Get("Password"), password);
    with_password.ShutDown();
  }
}

TEST_F(SignOnTest, RefusalsCarryTheServicesReasonAndWriteNothing) {
  clsLogin login;
  const int64_t tasks = Count("UA_task"), logs = Count("UA_log");
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "wrong", "2024-03-15"));
  EXPECT_NE(login.ShareString().find("password"), std::string::npos);
  EXPECT_EQ(login.LogState(), 0);  // the interface's refusals carry no code
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "NOBODY' OR '1'='1", "x", "2024-03-15"));
  EXPECT_NE(login.ShareString().find("NOBODY' OR '1'='1"), std::string::npos);
  EXPECT_FALSE(LoginWith(login, "GL", "9'9", "2024", "ALICE", "alice", "2024-03-15"));
  EXPECT_FALSE(LoginWith(login, "XX", "001", "2024", "ALICE", "alice", "2024-03-15"));
  EXPECT_EQ(Count("UA_task"), tasks);
  EXPECT_EQ(Count("UA_log"), logs);

  // Without account set or user the interface is never asked.
  login.ClearError();
  EXPECT_FALSE(LoginWith(login, "GL", "", "2024", "ALICE", "alice", ""));
  EXPECT_FALSE(login.ShareString().empty());
  EXPECT_EQ(login.LogState(), 0);
}

TEST_F(SignOnTest, TokenLoginCompletesWithoutTheInterface) {
  clsLogin login;
  ASSERT_TRUE(login.ConstructLogin(Token({{"UserId", Variant("BOB")}, {"operDate", Variant("2024-06-30")}})))
      << login.ShareString();
  EXPECT_TRUE(core::PartsOf(login).connections.TokenBuilt);
  EXPECT_EQ(login.cUserId(), "BOB");
  EXPECT_EQ(login.cEmployeeId(), "E7");
  EXPECT_EQ(login.cSerial().ToString(), "SERIAL-1");
  EXPECT_EQ(login.LanguageRegion(), "en-us");
  std::string sub = "GLX";
  ASSERT_TRUE(login.Login(sub)) << login.ShareString();
  EXPECT_EQ(sub, "GL");
  EXPECT_EQ(login.cUserName(), "Bob Li");
  EXPECT_EQ(login.iMonth(), 6);
  EXPECT_TRUE(core::PartsOf(login).connections.TokenBuilt);  // a token-built object stays so
  // No task id from an interface: the date and time as a day number.
  EXPECT_EQ(Variant(login.TaskId()).ToDouble(), env_.now.serial);

  // The struct form writes back as the by-reference one does.
  clsLogin again;
  ASSERT_TRUE(again.ConstructLogin(Token()));
  LoginParams params;
  params.sub_id = "glx";
  params.serial = "SERIAL-2";
  ASSERT_TRUE(again.Login(params)) << again.ShareString();
  EXPECT_EQ(params.sub_id, "gl");
  EXPECT_EQ(again.cSub_Id(), "GL");
  EXPECT_EQ(again.cSerial().ToString(), "SERIAL-2");
}

TEST_F(SignOnTest, SubsystemCodesAreCheckedBeforeAnythingElse) {
  clsLogin login, other;
  ASSERT_TRUE(login.ConstructLogin(Token()));
  std::string sub = "G";
  EXPECT_FALSE(login.Login(sub));
  EXPECT_EQ(other.LogState(), 1);
  EXPECT_EQ(resources::ThreadLastError().last_res_id, "Tarn.AA.TarnLogin.InvalidateSubID");
  sub = "GLAPX";
  login.ClearError();
  EXPECT_TRUE(login.Login(sub));
  EXPECT_EQ(sub, "GL");

  // The console, office automation and the empty code need no database.
  clsLogin console;
  ASSERT_TRUE(console.ConstructLogin(Token({{"ConnString", Variant("")}})));
  for (std::string code : {"SC", "OA", "", "S"}) {
    EXPECT_TRUE(console.Login(code)) << code;
  }
  EXPECT_EQ(core::PartsOf(console).connections.SystemConnection, nullptr);
  EXPECT_NE(core::PartsOf(console).heartbeat.HeartbeatTimer, nullptr);
}

TEST_F(SignOnTest, CompletionReportsMissingAndMalformedConnectionData) {
  clsLogin login;
  ASSERT_TRUE(login.ConstructLogin(Token({{"ConnString", Variant("")}})));
  std::string sub = "GL";
  EXPECT_FALSE(login.Login(sub));
  EXPECT_EQ(login.LogState(), 887);

  for (const char* bad : {"Provider=SQLite;Server=x", "Provider=SQLite;Data Source=nowhere"}) {
    clsLogin broken;
    broken.ClearError();
    ASSERT_TRUE(broken.ConstructLogin(Token({{"ConnString", Variant(bad)}})));
    EXPECT_FALSE(broken.Login(sub)) << bad;
    EXPECT_EQ(broken.LogState(), 901) << bad;
    EXPECT_EQ(core::PartsOf(broken).connections.SystemConnection, nullptr);
  }
}

TEST_F(SignOnTest, DatabaseFailuresAre901WithTheDatabaseText) {
  clsLogin login;
  ASSERT_TRUE(login.ConstructLogin(Token({{"AccID", Variant("999")}})));
  std::string sub = "GL";
  login.ClearError();
  EXPECT_FALSE(login.Login(sub));
  EXPECT_EQ(login.LogState(), 901);
  const std::string prefix = login.ShareString();
  EXPECT_GT(prefix.size(), 10u);
  EXPECT_TRUE(login.TaskId().empty());  // written only once every query succeeded

  // A pending error text stays as it is.
  clsLogin year;
  ASSERT_TRUE(year.ConstructLogin(Token({{"iYear", Variant("20x4")}})));
  EXPECT_FALSE(year.Login(sub));
  EXPECT_EQ(year.ShareString(), prefix);
  year.ClearError();
  EXPECT_FALSE(year.Login(sub));
  EXPECT_EQ(year.LogState(), 901);
  EXPECT_NE(year.ShareString(), prefix);
}

TEST_F(SignOnTest, OperatingDateRules) {
  std::string sub = "GL";
  clsLogin year_end;
  ASSERT_TRUE(year_end.ConstructLogin(Token({{"operDate", Variant("")}})));
  std::string acc, year, user, pwd, date = "1899-01-01", srv, serial;
  ASSERT_TRUE(year_end.Login(sub, acc, year, user, pwd, date, srv, serial)) << year_end.ShareString();
  EXPECT_EQ(FormatDay(year_end.CurDate()), "2024-12-31");
  EXPECT_EQ(year_end.iMonth(), 12);

  clsLogin no_periods;  // a year without a twelfth period keeps the date
  ASSERT_TRUE(no_periods.ConstructLogin(Token({{"iYear", Variant("2030")}})));
  date = "1899-01-01";
  ASSERT_TRUE(no_periods.Login(sub, acc, year, user, pwd, date, srv, serial));
  EXPECT_EQ(FormatDay(no_periods.CurDate()), "1899-01-01");
  EXPECT_EQ(no_periods.iMonth(), 1);

  clsLogin gap;  // 26 to 30 June 2025 lie in no period of 002
  ASSERT_TRUE(gap.ConstructLogin(Token({{"AccID", Variant("002")}, {"iYear", Variant("2025")}})));
  date = "2025-06-28";
  ASSERT_TRUE(gap.Login(sub, acc, year, user, pwd, date, srv, serial));
  EXPECT_EQ(gap.iMonth(), 1);

  clsLogin bad;
  ASSERT_TRUE(bad.ConstructLogin(Token()));
  date = "2024-02-30";
  EXPECT_THROW(bad.Login(sub, acc, year, user, pwd, date, srv, serial), ComError);
}

TEST_F(SignOnTest, AdministratorsGetTheirOwnRules) {
  std::string sub = "GL";
  clsLogin admin;
  ASSERT_TRUE(admin.ConstructLogin(Token({{"UserId", Variant("ADMIN")}})));
  core::PartsOf(admin).identity.cAccName = "kept";
  ASSERT_TRUE(admin.Login(sub)) << admin.ShareString();
  EXPECT_EQ(admin.iMonth(), 0);
  EXPECT_FALSE(admin.IsAdmin());
  EXPECT_EQ(admin.cAccName(), "kept");

  clsLogin sysadmin;  // the system administrator in AA has no account set
  ASSERT_TRUE(sysadmin.ConstructLogin(Token({{"UserId", Variant("admin")}, {"cSubId", Variant("aa")}})));
  EXPECT_EQ(sysadmin.cAcc_Id(), "");
  EXPECT_EQ(sysadmin.cIYear(), "");

  clsLogin manager;  // DEMO holds the Admin right in 001
  ASSERT_TRUE(manager.ConstructLogin(Token({{"UserId", Variant("DEMO")}})));
  ASSERT_TRUE(manager.Login(sub));
  EXPECT_TRUE(manager.IsAdmin());
  std::string auth = "GL01";
  EXPECT_EQ(manager.GetEndSubAuthID(auth), "1=1");

  clsLogin alice;
  ASSERT_TRUE(alice.ConstructLogin(Token()));
  ASSERT_TRUE(alice.Login(sub));
  // GL0103 comes through ALICE's group.
  EXPECT_EQ(alice.GetEndSubAuthID(auth), "cAuth_Id IN ('GL0101','GL0102','GL0103')");
  auth = "AP01";
  EXPECT_EQ(alice.GetEndSubAuthID(auth), "1=2");
}

TEST_F(SignOnTest, BadTokensAreRefusedAndChangeNothing) {
  suite::LoginService service;
  std::string other_key_file = db_.dir + "/other.key";
  ASSERT_TRUE(suite::CreateKeyFile(other_key_file).ok());
  std::string other_key;
  ASSERT_TRUE(suite::LoadKeyFile(other_key_file, &other_key).ok());
  const std::string good = Token();
  env_.now.serial += 0.6;  // 14.4 hours later: past the default 12
  const std::string expired_token = good;
  env_.now.serial -= 0.6;

  clsLogin login;
  for (const std::string& bad : {std::string(), std::string("garbage"), good.substr(0, good.size() / 2), good + "x",
                                 suite::SealToken(other_key, R"({"UserId":"ALICE","exp":99999})"), std::string("t1."),
                                 std::string("t1.") + std::string(200, 'A')}) {
    EXPECT_FALSE(login.ConstructLogin(bad)) << bad;
    EXPECT_FALSE(login.ShareString().empty());
    EXPECT_EQ(login.cUserId(), "");
    EXPECT_FALSE(core::PartsOf(login).connections.TokenBuilt);
  }
  env_.now.serial += 0.6;
  EXPECT_FALSE(login.ConstructLogin(expired_token));
  EXPECT_NE(login.ShareString().find("expired"), std::string::npos);
}

// A key file that others could read or swap, or a name that is no key file,
// is refused with its path and the reason, and is never waited on or read
// without bound: by the token's users and by the service settings, which
// must not quietly fall back to unsigned requests.
TEST_F(SignOnTest, KeyFilesThatAreNotTheirOwnersAloneAreRefusedWithTheReason) {
  const std::string good = Token();
  std::ostringstream hex;
  hex << std::ifstream(db_.key_file).rdbuf();
  const struct {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* reason;
  } cases[] = {
      {"open.key",
       [&](const std::string& p) {
         std::ofstream(p) << hex.str();
         chmod(p.c_str(), 0644);
       },
       "is readable by others (mode 0644): chmod 600 it"},
      {"zero.key", [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }, "is a symbolic link"},
      {"fifo.key", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "is not a regular file"},
      {"big.key",
       [&](const std::string& p) {
         std::ofstream(p) << hex.str() << std::string(5000, ' ');
         chmod(p.c_str(), 0600);
       },
       "is larger than 4096 bytes"},
  };
  for (const auto& c : cases) {
    const std::string path = db_.dir + "/" + c.name;
    c.make(path);
    std::string key;
    const Status s = suite::LoadKeyFile(path, &key);
    EXPECT_NE(s.message().find(path + " " + c.reason), std::string::npos) << s.message();
    env_.registry.SetString(suite::kSettingsKey, "TokenKeyFile", path);
    clsLogin login;
    EXPECT_FALSE(login.ConstructLogin(good));
    EXPECT_NE(login.ShareString().find(path + " " + c.reason), std::string::npos) << login.ShareString();
    env_.registry.SetString(suite::kSettingsKey, "ServiceKeyFile", path);
    const suite::ServiceConfig config = suite::ReadServiceConfig();
    EXPECT_TRUE(config.service_key.empty()) << c.name;
    EXPECT_NE(config.key_error.find(path + " " + c.reason), std::string::npos) << config.key_error;
  }
  // A key written where a link was planted replaces the link, not what it names.
  const std::string planted = db_.dir + "/planted.key", target = db_.dir + "/theirs";
  std::ofstream(target) << "theirs";
  ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
  ASSERT_TRUE(suite::CreateKeyFile(planted).ok());
  std::string key;
  EXPECT_TRUE(suite::LoadKeyFile(planted, &key).ok());
  std::ostringstream theirs;
  theirs << std::ifstream(target).rdbuf();
  EXPECT_EQ(theirs.str(), "theirs");
}

TEST_F(SignOnTest, ADateThatIsNoDateFailsConstructLoginKeepingWhatWasFilled) {
  clsLogin login;
  EXPECT_FALSE(login.ConstructLogin(Token({{"operDate", Variant("not a date")}})));
  EXPECT_EQ(login.cUserId(), "ALICE");
  EXPECT_FALSE(core::PartsOf(login).connections.TokenBuilt);
  EXPECT_EQ(login.LogState(), 0);
}

TEST_F(SignOnTest, TheDatabaseKitIsOpenedOnceOnTheSystemDatabase) {
  clsLogin login;
  EXPECT_THROW(login.ValeSystemDb(), ComError);
  ASSERT_TRUE(login.ConstructLogin(Token()));
  std::string sub = "GL";
  ASSERT_TRUE(login.Login(sub));
  ObjectPtr kit = login.ValeSystemDb();
  ASSERT_NE(kit, nullptr);
  EXPECT_EQ(login.ValeSystemDb(), kit);
  login.ShutDown();
  EXPECT_EQ(core::PartsOf(login).connections.DatabaseKit, nullptr);
}

// A second sign-on on one object ends the first, but only once it has
// succeeded: refused by the interface, or failing in the completion after
// the interface admitted it, it leaves the first sign-on whole, so that its
// function and login task are still released by their own calls.
TEST_F(SignOnTest, ASecondLoginSignsTheFirstOutOnlyOnceItHasSucceeded) {
  clsLogin login;
  const int64_t tasks = Count("UA_task");
  ASSERT_TRUE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-03-15")) << login.ShareString();
  const std::string first = login.TaskId();
  ASSERT_TRUE(login.TaskExec("GL0201", -1)) << login.ShareString();
  // The completion's subsystem name is the read that fails.
  auto failing_completion = [] {
    return db::ScopedFaultHook([](const db::Statement& st) -> std::optional<db::DbError> {
      if (st.sql().find("FROM UA_SubSys") == std::string_view::npos) return std::nullopt;
      return db::DbError{-2147467259, "disk I/O error", 1105, "HY000"};
    });
  };
  env_.random = 0.5;
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "wrong", "2024-04-15"));
  {
    auto hook = failing_completion();
    env_.random = 0.75;
    EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-04-15"));
  }
  EXPECT_EQ(login.TaskId(), first);
  EXPECT_EQ(login.iMonth(), 3);
  EXPECT_EQ(Count("UA_task"), tasks + 2);  // the login task and GL0201, nothing of the attempts
  EXPECT_TRUE(login.TaskExec("GL0201", 0)) << login.ShareString();
  EXPECT_EQ(Rows("SELECT count(*) FROM UA_task WHERE cAuth_Id=?", "GL0201"), 0);

  env_.random = 0.25;  // the fake clock stands still: another draw
  ASSERT_TRUE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-04-15")) << login.ShareString();
  EXPECT_NE(login.TaskId(), first);
  EXPECT_EQ(Count("UA_task"), tasks + 1);
  EXPECT_EQ(Rows("SELECT count(*) FROM UA_task WHERE cTaskId=?", first), 0);
  EXPECT_EQ(Rows("SELECT count(*) FROM UA_log WHERE iLogId=? AND dOutTime IS NULL", first), 0);
  EXPECT_EQ(login.iMonth(), 4);
  login.ShutDown();
  EXPECT_EQ(Count("UA_task"), tasks);
  // An object without a task id of its own has nothing to release, and
  // says so rather than report a release.
  clsLogin identified;
  ASSERT_TRUE(identified.ConstructLogin(Token()));
  EXPECT_FALSE(identified.TaskExec("GL0201", 0));
  EXPECT_NE(identified.LogState(), 0);

  // A first sign-on that fails in its completion is no token-built object
  // afterwards: the next Login asks the interface again, which refuses a
  // wrong password instead of reusing the identity it has ended.
  clsLogin fresh;
  {
    auto hook = failing_completion();
    EXPECT_FALSE(LoginWith(fresh, "GL", "001", "2024", "ALICE", "alice", "2024-03-15"));
  }
  EXPECT_FALSE(LoginWith(fresh, "GL", "001", "2024", "ALICE", "wrong", "2024-03-15"));
  EXPECT_EQ(Count("UA_task"), tasks);
}

// Nothing of a sign-on is kept unless all of it is: a seat the service
// refuses, or a database that fills up halfway, leave no row at all.
TEST_F(SignOnTest, ASignOnThatCannotBeRecordedWritesNothing) {
  const int64_t tasks = Count("UA_task"), logs = Count("UA_log");
  const int64_t task_logs = Rows("SELECT count(*) FROM UA_TaskLog WHERE cSub_Id<>?", "");
  clsLogin login;
  env_.registry.SetString(suite::kSettingsKey, "Seats", "GL=0");
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-03-15"));
  EXPECT_NE(login.ShareString().find("refused the sign-on"), std::string::npos) << login.ShareString();
  EXPECT_NE(login.ShareString().find("seat"), std::string::npos) << login.ShareString();
  env_.registry.SetString(suite::kSettingsKey, "Seats", "");

  for (int nth = 1; nth <= 3; ++nth) {
    int writes = 0;
    db::ScopedFaultHook full([&](const db::Statement& st) -> std::optional<db::DbError> {
      const std::string_view sql = st.sql();
      if (sql.find("UA_") == std::string_view::npos || !db::IsWrite(sql) || ++writes != nth) return std::nullopt;
      return db::DbError{-2147467259, "database or disk is full", 1105, "HY000"};
    });
    EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "2024-03-15")) << nth;
    EXPECT_NE(login.ShareString().find("disk is full"), std::string::npos) << login.ShareString();
  }
  EXPECT_EQ(Count("UA_task"), tasks);
  EXPECT_EQ(Count("UA_log"), logs);
  EXPECT_EQ(Rows("SELECT count(*) FROM UA_TaskLog WHERE cSub_Id<>?", ""), task_logs);
  // The service was told: no task it admitted for them is still active.
  EXPECT_EQ(Rows("SELECT count(*) FROM TarnServiceTask WHERE bActive=1 AND cSub_Id=?", "GL"), 0);
}

// A token stands for its user as they were: removed, disabled or with a new
// password, the user's tokens are refused with that reason, and yield no
// password.
TEST_F(SignOnTest, TokensDieWithTheirUsersPassword) {
  auto exec = [&](const std::string& sql) {
    auto conn = db::Connection::Create();
    ASSERT_TRUE(conn->Open(db_.system_database, "", "").ok());
    ASSERT_TRUE(conn->Execute(db::Statement(sql)).ok()) << sql;
  };
  const std::string bob = Token({{"UserId", Variant("BOB")}, {"Password", Variant("bob")}});
  const std::string carol = Token({{"UserId", Variant("CAROL")}, {"Password", Variant("carol")}});
  const std::string demo = Token({{"UserId", Variant("DEMO")}, {"Password", Variant("demo")}});
  clsLogin check;
  ASSERT_TRUE(check.ConstructLogin(bob)) << check.ShareString();

  exec("UPDATE UA_User SET cPasswordHash='changed' WHERE cUser_Id='BOB'");
  exec("UPDATE UA_User SET bDisabled=1 WHERE cUser_Id='CAROL'");
  exec("DELETE FROM UA_User WHERE cUser_Id='DEMO'");
  for (const auto& [token, user] : {std::pair{bob, "BOB"}, {carol, "CAROL"}, {demo, "DEMO"}}) {
    clsLogin login;
    EXPECT_FALSE(login.ConstructLogin(token)) << user;
    EXPECT_NE(login.ShareString().find(std::string("token of user ") + user + " is no longer valid"), std::string::npos)
        << login.ShareString();
    EXPECT_EQ(login.cUserPassWord(), "");
    EXPECT_EQ(login.cUserId(), "");
  }
}

// The interface reads what it is given: a year that is no year, a date
// that is no date, and no date at all in a year that is over.
TEST_F(SignOnTest, TheInterfaceHonoursTheYearAndTellsBadDates) {
  clsLogin login;
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024xyz", "ASUSER", "asuser", ""));
  EXPECT_NE(login.ShareString().find("no fiscal year 2024xyz"), std::string::npos) << login.ShareString();
  EXPECT_FALSE(LoginWith(login, "GL", "001", "2024", "ALICE", "alice", "not a date"));
  EXPECT_NE(login.ShareString().find("'not a date' is not a date"), std::string::npos) << login.ShareString();
  // A year without a date (as `tarn token --year` asks): 2024-03-15, the
  // fake clock's day, lies in 2024; 2023 is over, so its last live day.
  for (const auto& [year, day] : {std::pair{"2024", "2024-03-15"}, {"2023", "2023-12-31"}}) {
    suite::LoginService ui;
    std::string sub = "GL", user = "DEMO", password = "demo", server, date = std::string("@") + year, acc = "001",
                serial;
    ASSERT_TRUE(ui.Login(sub, user, password, server, date, acc, serial)) << ui.ErrDescript();
    EXPECT_EQ(ui.getLoginInfo()->Get("iYear").ToString(), year);
    EXPECT_EQ(ui.getLoginInfo()->Get("operDate").ToString(), day);
  }
}

TEST(ConnectionDataTest, ServerAndPasswordComeOutOfTheAccountString) {
  using signon::DatabasePassword;
  using signon::DataServerName;
  EXPECT_EQ(DataServerName("Provider=SQLOLEDB;Data Source=SRV1;User ID=sa;Password=p;w"), "SRV1");
  EXPECT_EQ(DatabasePassword("Provider=SQLOLEDB;Data Source=SRV1;User ID=sa;Password=p;w"), "p;w");
  EXPECT_EQ(DatabasePassword("data source=S;password=abc;initial catalog=X"), "abc");
  EXPECT_EQ(DatabasePassword("Data Source=S;Password=\"it''s\""), "it's");
  EXPECT_EQ(DatabasePassword("Data Source=S;Password=it''s"), "it''s");
  EXPECT_EQ(DatabasePassword("Data Source=S;User ID=sa"), "");
  EXPECT_THROW(DataServerName("Provider=SQLOLEDB;Server=S;"), ComError);
  EXPECT_THROW(DataServerName("Provider=SQLOLEDB;Data Source=S"), ComError);
  EXPECT_EQ(signon::AccountDatabaseName("001", "2008"), "VALEDATA_001_2008");
  EXPECT_EQ(signon::AccountDatabaseName("001", ""), "");
}

}  // namespace
}  // namespace tarn
