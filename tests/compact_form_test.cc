// The compact build's settings form without a window, on SQLite and on
// PostgreSQL, both reached through the SQL Server provider's alias: what
// load, refresh, the account list, OK and Cancel do to the fields, to
// sys_path and to StrTarnConn, and the messages they show.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "compact/form_presenter.h"
#include "compact/login_form.h"
#include "compact/mod_login.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/recordset.h"
#include "platform/text.h"
#include "suite/sysdb/demo_data.h"
#include "support/demo_database.h"
#include "support/fake_env.h"
#include "support/scratch_demo.h"
#include "tarn/com_error.h"
#include "tarn/compact_login.h"
#include "tarn/message_box.h"

namespace tarn {
namespace {

using compact::LoginForm;
using compact::Module;
using testing::ScratchServer;

class CompactFormTest : public ::testing::TestWithParam<ScratchServer::Kind> {
 protected:
  void SetUp() override {
    std::string skip;
    demo_ = testing::ScratchDemo::Make(GetParam(), &skip);
    if (!demo_) TARN_SKIP_WITHOUT_BACKEND(skip);
    server_ = &demo_->server();
    dir_ = demo_->dir();
    auto conn = db::Connection::Create();
    ASSERT_TRUE(conn->Open(server_->server(), "", "").ok());
    ASSERT_TRUE(suite::CreateCompactHostDatabase(*conn).ok());

    // What the user types: the data directory on SQLite, host:port/database
    // on PostgreSQL, whose login is checked.
    db::ConnectionString cs;
    ASSERT_TRUE(db::ConnectionString::Parse(server_->server(), &cs).ok());
    const bool sqlite = GetParam() == ScratchServer::Kind::kSqlite;
    env_.registry.SetString(db::kProviderAliasKey, "SQLOLEDB.1", sqlite ? "SQLite" : "PostgreSQL");
    server_name_ = sqlite ? server_->dir() : cs.Get("Data Source");
    user_ = sqlite ? "sa" : cs.Get("User ID");
    password_ = sqlite ? "secret" : cs.Get("Password");
    host_ = server_->With(suite::kCompactHostCatalog);
    Module() = compact::ModuleData{};
    Module().StrConn = host_;
  }
  void TearDown() override { Module() = compact::ModuleData{}; }

  LoginForm Typed() {
    LoginForm form;
    form.Load();
    form.txtFwqName = server_name_;
    form.txtUserName = user_;
    form.txtUserPass = password_;
    return form;
  }

  db::ResultSet SysPath() {
    auto conn = db::Connection::Create();
    EXPECT_TRUE(conn->Open(host_, "", "").ok());
    db::ResultSet rows;
    EXPECT_TRUE(conn->Query(db::Statement("SELECT id,fwqname,username,userkl FROM sys_path"), &rows).ok());
    return rows;
  }
  void Exec(const std::string& sql) {
    auto conn = db::Connection::Create();
    ASSERT_TRUE(conn->Open(host_, "", "").ok());
    ASSERT_TRUE(conn->Execute(db::Statement(sql)).ok()) << sql;
  }

  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
  std::vector<Message> shown_;
  ScopedMessageHandler messages_{[this](const Message& m) {
    shown_.push_back(m);
    return MessageAnswer::kOk;
  }};
  std::unique_ptr<testing::ScratchDemo> demo_;
  ScratchServer* server_ = nullptr;
  std::string dir_, server_name_, user_, password_, host_;
};

TEST_P(CompactFormTest, RefreshListsAccountSetsAndOkHandsBackTheAccountDatabase) {
  LoginForm form = Typed();
  EXPECT_EQ(form.txtUserPass, password_);  // typed over an empty sys_path
  form.Refresh();
  ASSERT_TRUE(shown_.empty()) << shown_.front().text;
  EXPECT_EQ(Module().StrWorkConn, "Provider=SQLOLEDB.1;User ID=" + user_ + ";PassWord=" + password_ +
                                      ";Initial Catalog=ValeSystem;Data Source=" + server_name_);
  EXPECT_EQ(form.txtZtName.items, (std::vector<std::string>{"001|Tarn Demo Trading", "002|Tarn Demo Manufacturing"}));
  EXPECT_EQ(form.txtZtName.list_index, 0);
  EXPECT_EQ(form.txtPeriod.items, (std::vector<std::string>{"2023", "2024", "2025"}));
  EXPECT_EQ(form.txtPeriod.text, "2025");  // the latest year

  form.txtZtName.Select(1);
  form.AccountChosen();
  form.txtPeriod.Select(1);
  ASSERT_TRUE(form.Ok());
  const std::string expected = "Provider=SQLOLEDB.1;User ID=" + user_ + ";PassWord=" + password_ +
                               ";Initial Catalog=VALEDATA_002_2024;Data Source=" + server_name_;
  EXPECT_EQ(Module().StrTarnConn, expected);
  EXPECT_EQ(Module().StrWorkConn, expected);
  auto account = db::Connection::Create();
  EXPECT_TRUE(account->Open(Module().StrTarnConn, "", "").ok()) << account->Errors().front().description;
  EXPECT_EQ(AsciiLower(account->CurrentCatalog()), "valedata_002_2024");

  // The settings are remembered in the row with id 3, the password as typed.
  db::ResultSet rows = SysPath();
  ASSERT_EQ(rows.rows(), 1u);
  EXPECT_EQ(rows.at(0, 0).ToInt32(), 3);
  EXPECT_EQ(rows.at(0, 1).ToString(), server_name_);
  EXPECT_EQ(rows.at(0, 2).ToString(), user_);
  EXPECT_EQ(rows.at(0, 3).ToString(), password_);

  // The next load shows them; a second OK changes the same row.
  LoginForm again;
  again.Load();
  EXPECT_EQ(again.txtFwqName, server_name_);
  EXPECT_EQ(again.txtUserName, user_);
  EXPECT_EQ(again.txtUserPass, password_);
  again.Refresh();
  again.txtUserPass = password_;
  ASSERT_TRUE(again.Ok());
  rows = SysPath();
  ASSERT_EQ(rows.rows(), 1u);
  EXPECT_EQ(rows.at(0, 0).ToInt32(), 3);
}

TEST_P(CompactFormTest, MissingValuesAreRefusedWithTheFormsMessage) {
  LoginForm form = Typed();
  form.txtUserName.clear();
  form.txtZtName.items = {"stale|entry"};
  form.txtZtName.Select(0);
  Module().StrWorkConn = "left over";
  form.Refresh();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "设置不正确!");
  EXPECT_EQ(shown_[0].title, "岚峰帐套参数设置");
  EXPECT_EQ(shown_[0].icon, MessageIcon::kWarning);
  EXPECT_TRUE(form.txtZtName.items.empty());
  EXPECT_EQ(Module().StrWorkConn, "");

  // OK needs login name, account set and year; server and password may be
  // empty. A refusal empties StrTarnConn and keeps the form.
  form = Typed();
  form.Refresh();
  Module().StrTarnConn = "earlier";
  for (int missing = 0; missing < 3; ++missing) {
    LoginForm f = form;
    if (missing == 0) f.txtUserName.clear();
    if (missing == 1) f.txtZtName.text.clear();
    if (missing == 2) f.txtPeriod.text.clear();
    shown_.clear();
    EXPECT_FALSE(f.Ok()) << missing;
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "设置不正确!");
    EXPECT_EQ(Module().StrTarnConn, "");
    EXPECT_EQ(Module().StrWorkConn, "");
  }
  EXPECT_EQ(SysPath().rows(), 0u);
  form.txtFwqName.clear();
  form.txtUserPass.clear();
  shown_.clear();
  EXPECT_TRUE(form.Ok());
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(Module().StrTarnConn,
            "Provider=SQLOLEDB.1;User ID=" + user_ + ";PassWord=;Initial Catalog=VALEDATA_001_2025;Data Source=");
}

TEST_P(CompactFormTest, AServerThatRefusesShowsItsErrorAndKeepsWhatWasListed) {
  LoginForm form = Typed();
  if (GetParam() == ScratchServer::Kind::kSqlite) {
    form.txtFwqName = dir_ + "/no-such-directory";
  } else {
    form.txtUserPass = "wrong-password";
  }
  form.txtPeriod.items = {"2024"};
  form.txtPeriod.Select(0);
  form.Refresh();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(shown_[0].title, "岚峰帐套参数设置");
  EXPECT_NE(shown_[0].text.find(GetParam() == ScratchServer::Kind::kSqlite ? "does not exist" : "password"),
            std::string::npos)
      << shown_[0].text;
  EXPECT_TRUE(form.txtZtName.items.empty());
  EXPECT_EQ(form.txtPeriod.items, std::vector<std::string>{"2024"});  // untouched: no account was chosen
}

TEST_P(CompactFormTest, TheAccountCodeIsOnlyTextInTheYearsQuery) {
  LoginForm form = Typed();
  form.Refresh();
  // A code that would widen a pasted statement to every account set.
  form.txtZtName.text = "001' OR '1'='1|x";
  form.AccountChosen();
  EXPECT_TRUE(shown_.empty()) << shown_.front().text;
  EXPECT_TRUE(form.txtPeriod.items.empty());
  EXPECT_EQ(form.txtPeriod.text, "");
  form.txtZtName.text = "002|typed";
  form.AccountChosen();
  EXPECT_EQ(form.txtPeriod.text, "2025");
  // An entry without '|' has the empty code: no years, and a database
  // name without one.
  form.txtZtName.text = "002";
  form.AccountChosen();
  EXPECT_TRUE(form.txtPeriod.items.empty());
  form.txtPeriod.text = "2024";
  ASSERT_TRUE(form.Ok());
  EXPECT_NE(Module().StrTarnConn.find(";Initial Catalog=VALEDATA__2024;"), std::string::npos);
}

TEST_P(CompactFormTest, LoadReadsNullsAsEmptyAndFailsWithoutItsTable) {
  Exec("INSERT INTO sys_path (id,fwqname,username,userkl) VALUES (NULL,'SRV1','sa',NULL)");
  LoginForm form;
  form.Load();
  EXPECT_EQ(form.txtFwqName, "SRV1");
  EXPECT_EQ(form.txtUserName, "sa");
  EXPECT_EQ(form.txtUserPass, "");
  // NULL is 0 in a number field, "" in a text field; no row is Empty.
  EXPECT_EQ(compact::GetFieldValue("select id from sys_path", "id").ToInt32(), 0);
  EXPECT_EQ(compact::GetFieldValue("select userkl from sys_path", "userkl").ToString(), "");
  EXPECT_TRUE(compact::GetFieldValue("select id from sys_path where id=42", "id").IsEmpty());

  // An existing row is changed in place, whatever its id.
  form.txtFwqName = server_name_;
  form.txtUserName = user_;
  form.txtUserPass = password_;
  form.Refresh();
  ASSERT_TRUE(form.Ok());
  db::ResultSet rows = SysPath();
  ASSERT_EQ(rows.rows(), 1u);
  EXPECT_TRUE(rows.at(0, 0).IsNull());
  EXPECT_EQ(rows.at(0, 3).ToString(), password_);

  Exec("DROP TABLE sys_path");
  EXPECT_THROW(form.Load(), ComError);
  Module().StrConn = server_->With("NoSuchCatalog");
  EXPECT_THROW(form.Load(), ComError);
}

INSTANTIATE_TEST_SUITE_P(Backends, CompactFormTest,
                         ::testing::Values(ScratchServer::Kind::kSqlite, ScratchServer::Kind::kPostgres),
                         [](const ::testing::TestParamInfo<ScratchServer::Kind>& p) {
                           return p.param == ScratchServer::Kind::kSqlite ? "SQLite" : "PostgreSQL";
                         });

TEST(CompactConnectionStringTest, ValuesStandAsTypedUnlessTheyWouldEndTheirItem) {
  EXPECT_EQ(compact::AccountConnectionString("sa", "p@ss w0rd", "001", "2024", "SRV\\SQL"),
            "Provider=SQLOLEDB.1;User ID=sa;PassWord=p@ss w0rd;Initial Catalog=VALEDATA_001_2024;Data Source=SRV\\SQL");
  // A password with ';' or a leading quote would end its item or add one
  // of its own ("Data Source" pointing elsewhere), white space at an end
  // would be trimmed: quoted, it reads back as typed.
  for (const std::string& password : {std::string("a;Data Source=evil"), std::string("\"quoted\""), std::string("'x"),
                                      std::string(" padded "), std::string("\tsecret"), std::string("secret\r\n")}) {
    db::ConnectionString cs;
    ASSERT_TRUE(db::ConnectionString::Parse(compact::SystemConnectionString("sa", password, "SRV"), &cs).ok())
        << password;
    EXPECT_EQ(cs.Get("Password"), password);
    EXPECT_EQ(cs.Get("Data Source"), "SRV");
    EXPECT_EQ(cs.Get("Initial Catalog"), "ValeSystem");
  }
  EXPECT_EQ(compact::GetAccCode("001|Tarn|Demo"), "001");
  EXPECT_EQ(compact::GetAccCode("|name"), "");
  EXPECT_EQ(compact::GetAccCode("no bar"), "");
}

// Login without a window: the presenter stands for the dialog.
class CompactLoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = testing::CopyOfDemoDatabase();
    auto conn = db::Connection::Create();
    ASSERT_TRUE(conn->Open("Provider=SQLite;Data Source=" + db_.dir, "", "").ok());
    ASSERT_TRUE(suite::CreateCompactHostDatabase(*conn).ok());
    env_.registry.SetString(db::kProviderAliasKey, "SQLOLEDB.1", "SQLite");
    compact::Module() = compact::ModuleData{};
  }
  void TearDown() override {
    compact::SetFormPresenter(nullptr);
    compact::Module() = compact::ModuleData{};
    std::filesystem::remove_all(db_.dir);
  }

  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
  testing::DemoDatabase db_;
};

TEST_F(CompactLoginTest, ButtonsDecideStrTarnConnAndBothPropertiesAreTheThreads) {
  int shown = 0;
  std::string press = "ok";
  compact::SetFormPresenter([&](LoginForm& form) {
    ++shown;
    if (form.txtUserName.empty()) {
      form.txtFwqName = db_.dir;
      form.txtUserName = "sa";
    }
    form.Refresh();
    if (press == "ok") {
      ASSERT_TRUE(form.Ok());
    }
    if (press == "cancel") form.Cancel();
    if (press == "close") form.CloseBox();
  });
  CompactLogin first, second;
  first.set_StrConn("Provider=SQLite;Data Source=" + db_.dir + ";Initial Catalog=TarnHost");
  EXPECT_EQ(second.StrConn(), first.StrConn());
  first.Login();
  const std::string chosen = second.StrTarnConn();
  EXPECT_NE(chosen.find("Initial Catalog=VALEDATA_001_2025;Data Source=" + db_.dir), std::string::npos) << chosen;
  press = "close";
  second.Login();  // refilled from sys_path: the login name is there
  EXPECT_EQ(first.StrTarnConn(), chosen);
  press = "cancel";
  first.Login();
  EXPECT_EQ(second.StrTarnConn(), "");
  EXPECT_EQ(shown, 3);
}

TEST_F(CompactLoginTest, AHostDatabaseThatDoesNotServeFailsLoginWithoutTheForm) {
  bool shown = false;
  compact::SetFormPresenter([&](LoginForm&) { shown = true; });
  CompactLogin login;
  for (const std::string& conn : {"Provider=SQLite;Data Source=" + db_.dir + "/missing;Initial Catalog=TarnHost",
                                  "Provider=SQLite;Data Source=" + db_.dir + ";Initial Catalog=ValeSystem",
                                  std::string("not a connection string")}) {
    login.set_StrConn(conn);
    try {
      login.Login();
      ADD_FAILURE() << conn << ": no error";
    } catch (const ComError& e) {
      EXPECT_FALSE(e.description().empty());
    }
  }
  EXPECT_FALSE(shown);
  // Without a dialog to show it with, Login says so.
  compact::SetFormPresenter(nullptr);
  login.set_StrConn("Provider=SQLite;Data Source=" + db_.dir + ";Initial Catalog=TarnHost");
  EXPECT_THROW(login.Login(), ComError);
}

}  // namespace
}  // namespace tarn
