// The extended edition's own members: the sign-on from a token or from user
// data, the forwarded error records of the login interface, the file-server
// and metadata members, and the argument text of the interface's records.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <memory>
#include <string>

#include "core/login_parts.h"
#include "extended/extended_members.h"
#include "db/connection.h"
#include "db/fault.h"
#include "platform/object_registry.h"
#include "resources/error_state.h"
#include "resources/res_arg_xml.h"
#include "resources/res_service.h"
#include "suite/login_service/context_data.h"
#include "suite/login_service/login_service.h"
#include "suite/stored_text_codec.h"
#include "support/demo_database.h"
#include "support/fake_env.h"
#include "support/fake_login_ui.h"
#include "tarn/com_error.h"
#include "tarn/login.h"
#include "tarn/message_box.h"
#include "typelib/login_type.h"

namespace tarn {
namespace {

using resources::ParseResArgXml;
using testing::FakeErrorRecord;
using testing::FakeLoginUI;

std::vector<std::string> Texts(const Array& a) {
  std::vector<std::string> out;
  for (const Variant& v : a.items) out.push_back(v.ToString());
  return out;
}

int32_t RaisedNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number();
  }
  return 0;
}

TEST(ResArgXmlTest, ArgumentsInDocumentOrder) {
  const Array empty = ParseResArgXml("");
  EXPECT_EQ(empty.lower_bound, 0);
  EXPECT_EQ(Texts(empty), std::vector<std::string>{""});

  const Array two = ParseResArgXml("<resarg key=\"A\"/><resarg key=\"B\">ignored</resarg>");
  EXPECT_EQ(two.lower_bound, 1);
  EXPECT_EQ(Texts(two), (std::vector<std::string>{"A", "B"}));

  // A missing or empty key is an empty argument; other elements, and
  // resarg elements below the top level, are not arguments.
  EXPECT_EQ(Texts(ParseResArgXml("<resarg/><other key=\"x\"/><resarg key=\"\"><resarg key=\"deep\"/></resarg>")),
            (std::vector<std::string>{"", ""}));
  // XML's own entities and character references are read as text.
  EXPECT_EQ(Texts(ParseResArgXml("<resarg key=\"a&amp;b &lt;c&gt; &#x4E2D;\"/>")),
            std::vector<std::string>{"a&b <c> 中"});
}

TEST(ResArgXmlTest, TextThatIsNoArgumentListRaises) {
  for (const char* bad : {"<resarg key=\"A\">", "plain text", "<other/>", "<resarg key=\"A\"/></res><res>",
                          "<!DOCTYPE r [<!ENTITY e \"x\">]><resarg key=\"&e;\"/>", "<resarg key=A/>",
                          "<resarg key=\"A\"/></res>trailing<res>"}) {
    EXPECT_THROW(ParseResArgXml(bad), ComError) << bad;
  }
  // Text that XML itself refuses, though a lenient parser reads it.
  for (const std::string& bad :
       {std::string("<resarg key=\"A\" key=\"B\"/>"), std::string("<resarg key=\"a & b\"/>"),
        std::string("<resarg key=\"&nbsp;\"/>"), std::string("<resarg key=\"ab&#0;cd\"/>"),
        std::string("<resarg key=\"&#x110000;\"/>"), std::string("<resarg key=\"&#xD800;\"/>"),
        std::string("<resarg key=\"a\x01"
                    "b\"/>"),
        std::string("<resarg key=\"A\"/>\x1b"), std::string("<resarg key=\"\xff\"/>"),
        std::string("<resarg key=\"\xed\xa0\x80\"/>"), std::string("<resarg key=\"A\"/><!-- a -- b -->"),
        std::string("<resarg key=\"<\"/>")}) {
    EXPECT_EQ(RaisedNumber([&] { ParseResArgXml(bad); }), errnum::kInvalidCall) << bad;
  }
  // Ten megabytes of arguments: read in one pass, nothing grows beyond it.
  std::string many;
  while (many.size() < 10 * 1024 * 1024) many += "<resarg key=\"k\"/>";
  const Array all = ParseResArgXml(many);
  EXPECT_EQ(all.items.size(), many.size() / std::string("<resarg key=\"k\"/>").size());
}

class ExtendedTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::UseDemoDatabase(env_, db_); }

  // User data of ALICE in GL, 001, 2024, with every member the extended
  // edition reads.
  static suite::Members AliceData(const std::string& conn) {
    return {{"UserId", Variant("ALICE")},        {"EmployeeId", Variant("E7")},
            {"Password", Variant("alice")},      {"cSubId", Variant("GL")},
            {"AccID", Variant("001")},           {"iYear", Variant("2024")},
            {"AccName", Variant("Acc name")},    {"iMonth", Variant(int32_t{4})},
            {"IsAdmin", Variant(true)},          {"EntTypeID", Variant("E1")},
            {"AppServer", Variant("APP1")},      {"ConnString", Variant(conn)},
            {"operDate", Variant("2024-04-02")}, {"WorkStationSerial", Variant("SERIAL-1")},
            {"DataSource", Variant("DS")},       {"RightServer", Variant("")},
            {"IsCompanyVer", Variant(false)},    {"LanguageID", Variant("en-us")},
            {"UserName", Variant("Alice")},      {"AppServerSerial", Variant("APP-ID")}};
  }
  std::string AccountConnection() const { return "data source=" + db_.dir + ";provider=SQLite"; }
  ObjectPtr Data(const suite::Members& m) const { return std::make_shared<suite::UserDataObject>(m); }

  // A login interface double under the interface's ProgID.
  std::shared_ptr<FakeLoginUI> Interface() {
    ui_ = std::make_shared<FakeLoginUI>();
    registration_ = std::make_unique<ScopedRegistration>(boundary::kLoginUiProgId, [this] { return ui_; });
    return ui_;
  }

  testing::DemoDatabase db_ = testing::CopyOfDemoDatabase();
  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
  std::shared_ptr<FakeLoginUI> ui_;
  std::unique_ptr<ScopedRegistration> registration_;
};

TEST_F(ExtendedTest, UserDataBuildsTheObjectWithoutAskingTheInterface) {
  auto ui = Interface();
  clsLogin login(Edition::kExtended);
  suite::Members data = AliceData(AccountConnection() + ";user id=sa;PASSWORD=\"it''s\";INITIAL CATALOG=X");
  ASSERT_TRUE(login.ConstructLoginEx("", Data(data))) << login.ShareString();
  EXPECT_TRUE(ui->calls.empty());
  EXPECT_EQ(login.userToken(), "");
  EXPECT_TRUE(core::PartsOf(login).connections.TokenBuilt);
  EXPECT_EQ(login.cUserId(), "ALICE");
  EXPECT_EQ(login.cAccName(), "Acc name");
  EXPECT_EQ(login.iMonth(), 4);
  EXPECT_TRUE(login.IsAdmin());
  EXPECT_EQ(login.EntTypeID(), "E1");
  EXPECT_EQ(login.cUserName(), "Alice");
  EXPECT_EQ(login.cServerSerial().ToString(), "APP-ID");
  EXPECT_EQ(FormatDay(login.CurDate()), "2024-04-02");
  EXPECT_EQ(login.SysPassword(), "it's");

  // Any token text is kept, unchecked.
  ASSERT_TRUE(login.InternalConstructLogin("whatever", Data(data)));
  EXPECT_EQ(login.userToken(), "whatever");

  // No password in the connection string: none.
  data["ConnString"] = Variant(AccountConnection());
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(data)));
  EXPECT_EQ(login.SysPassword(), "");

  // An empty operDate leaves the date.
  data["operDate"] = Variant("");
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(data)));
  EXPECT_EQ(FormatDay(login.CurDate()), "2024-04-02");
}

TEST_F(ExtendedTest, TheAdministratorInSystemAdministrationSkipsTheAccountMembers) {
  clsLogin login(Edition::kExtended);
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(AliceData(AccountConnection()))));
  suite::Members admin = AliceData(AccountConnection());
  admin["UserId"] = Variant("admin");
  admin["cSubId"] = Variant("aa");
  admin["AccName"] = Variant("other");
  admin["iMonth"] = Variant(int32_t{9});
  admin["IsAdmin"] = Variant(false);
  admin["EntTypeID"] = Variant("E9");
  admin.erase("AccID");  // not read, so not missed
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(admin))) << login.ShareString();
  EXPECT_EQ(login.cAcc_Id(), "");
  EXPECT_EQ(login.cIYear(), "");
  EXPECT_EQ(login.cAccName(), "Acc name");
  EXPECT_EQ(login.iMonth(), 4);
  EXPECT_TRUE(login.IsAdmin());
  EXPECT_EQ(login.EntTypeID(), "E1");
}

TEST_F(ExtendedTest, BadUserDataRecordsItsErrorAndKeepsWhatWasRead) {
  clsLogin login(Edition::kExtended);
  suite::Members data = AliceData(AccountConnection());
  data.erase("RightServer");
  EXPECT_FALSE(login.ConstructLoginEx("t", Data(data)));
  EXPECT_EQ(login.LogState(), errnum::kNoSuchMember);
  EXPECT_NE(login.ShareString().find("RightServer"), std::string::npos);
  EXPECT_EQ(login.DataSource(), "DS");  // read before the missing member
  EXPECT_FALSE(core::PartsOf(login).connections.TokenBuilt);

  data = AliceData(AccountConnection());
  data["operDate"] = Variant("the fifth of never");
  EXPECT_FALSE(login.ConstructLoginEx("t", Data(data)));
  EXPECT_EQ(login.LogState(), errnum::kTypeMismatch);

  data["operDate"] = Variant("2024-04-02");
  data["iMonth"] = Variant(int32_t{70000});
  EXPECT_FALSE(login.ConstructLoginEx("t", Data(data)));
  EXPECT_EQ(login.LogState(), errnum::kOverflow);

  // An object that is no user data.
  EXPECT_FALSE(login.ConstructLoginEx("t", std::make_shared<clsErrorRes>()));
  EXPECT_EQ(login.LogState(), errnum::kNoSuchMember);
}

TEST_F(ExtendedTest, ARefusedTokenRecords8887WithTheInterfacesRecord) {
  auto ui = Interface();
  ui->err_descript = "token expired";
  ui->error_record = std::make_shared<FakeErrorRecord>("Ui.TokenExpired", "<resarg key=\"A\"/><resarg key=\"B\"/>");
  clsLogin login(Edition::kExtended);
  EXPECT_FALSE(login.ConstructLogin("tok"));
  EXPECT_EQ(ui->calls, std::vector<std::string>{"GetLoginInfo_2(tok)"});
  EXPECT_EQ(login.LogState(), 8887);
  EXPECT_EQ(login.ShareString(), "token expired");
  EXPECT_EQ(login.userToken(), "tok");
  auto record = login.GetLastErrorResID();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ResId(), "Ui.TokenExpired");
  EXPECT_EQ(record->ResArg().lower_bound, 1);
  EXPECT_EQ(Texts(record->ResArg()), (std::vector<std::string>{"A", "B"}));

  // Arguments that are no argument list: the error of reading them.
  ui->error_record = std::make_shared<FakeErrorRecord>("Ui.X", "<resarg");
  EXPECT_FALSE(login.InternalConstructLogin("tok"));
  EXPECT_NE(login.LogState(), 8887);
  EXPECT_NE(login.LogState(), 0);

  // A token the interface accepts.
  ui->tokens["good"] = std::make_shared<testing::FakeUserData>();
  for (const auto& [name, value] : AliceData(AccountConnection())) ui->tokens["good"]->members[name] = value;
  EXPECT_TRUE(login.InternalConstructLogin("good"));
  EXPECT_EQ(login.cUserName(), "Alice");
}

TEST_F(ExtendedTest, LoginExCompletesAnObjectBuiltFromUserData) {
  clsLogin login(Edition::kExtended);
  std::string sub = "GL";
  ObjectPtr none;
  resources::RecordError(17, "Tarn.AA.TarnLogin.TaskRepellent2");
  EXPECT_FALSE(login.LoginEx(sub, none));
  EXPECT_EQ(login.LogState(), 17);  // unchanged
  EXPECT_NE(login.ShareString().find("account set and the user"), std::string::npos);

  suite::Members data = AliceData(suite::AccountConnectionString(db_.system_database));
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(data)));
  ObjectPtr sub_login = std::make_shared<suite::SubLoginDataObject>(
      suite::Members{{"SubName", Variant("Ledger from the interface")}, {"TaskId", Variant("4711")}});
  ASSERT_TRUE(login.LoginEx(sub, sub_login)) << login.ShareString();
  EXPECT_EQ(login.cSubName(), "Ledger from the interface");
  EXPECT_EQ(login.TaskId(), "4711");
  EXPECT_EQ(login.iMonth(), 4);  // from the user data, not queried
  EXPECT_NE(core::PartsOf(login).connections.SystemConnection, nullptr);

  // Sub-login data without the members fails the completion.
  ObjectPtr bare = std::make_shared<suite::SubLoginDataObject>(suite::Members{});
  login.ClearError();
  EXPECT_FALSE(login.LoginEx(sub, bare));
  EXPECT_EQ(login.LogState(), 901);
}

TEST_F(ExtendedTest, ARefusedSignOnForwardsTheInterfacesRecord) {
  auto ui = Interface();
  ui->accept_login = false;
  ui->err_descript = "wrong password";
  ui->error_record = std::make_shared<FakeErrorRecord>("Ui.BadPassword", "<resarg key=\"ALICE\"/>");
  clsLogin login(Edition::kExtended);
  LoginParams p{"GL", "001", "2024", "ALICE", "x", "", "", ""};
  EXPECT_FALSE(login.Login(p));
  EXPECT_EQ(login.LogState(), 8888);
  EXPECT_EQ(login.ShareString(), "wrong password");
  auto record = login.GetLastErrorResID();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ResId(), "Ui.BadPassword");
  EXPECT_EQ(Texts(record->ResArg()), std::vector<std::string>{"ALICE"});
  EXPECT_EQ(Texts(resources::ThreadLastError().last_res_arg), std::vector<std::string>{"ALICE"});

  // Refused at the subsystem, with no record: none, and the shared record
  // is dropped.
  ui->accept_login = true;
  ui->accept_sub_login = false;
  ui->error_record = nullptr;
  EXPECT_FALSE(login.Login(p));
  EXPECT_EQ(login.LogState(), 8888);
  EXPECT_EQ(login.GetLastErrorResID(), nullptr);
  resources::RecordError(1, "Tarn.AA.TarnLogin.InvalidateSubID");
  auto fresh = login.GetLastErrorResID();
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, record);

  // A record whose arguments do not read: none.
  resources::SetLogState(8888);
  ui->error_record = std::make_shared<FakeErrorRecord>("Ui.X", "<resarg key=");
  EXPECT_EQ(login.GetLastErrorResID(), nullptr);

  // The full edition records no code, and reports its own record.
  clsLogin full(Edition::kFull);
  resources::ClearLastError();
  ui->accept_sub_login = true;
  ui->accept_login = false;
  EXPECT_FALSE(full.Login(p));
  EXPECT_EQ(full.LogState(), 0);
}

TEST_F(ExtendedTest, NamesDerivedFromTheAccountConnection) {
  core::LoginParts login_parts(Edition::kExtended);
  extended::ExtendedMembers login(login_parts);
  core::LoginParts& s = login_parts;
  s.identity.cAcc_Id = "001";
  s.identity.ValeDbName = "data source=SRV1;user id=sa;password=p;initial catalog=VALEDATA_001_2024";
  EXPECT_EQ(login.ValeMetaName(), "data source=SRV1;user id=sa;password=p;initial catalog=VALEMeta_001");
  EXPECT_EQ(login.dbServerName(), "SRV1");
  // Kept once found, whatever changes after.
  s.identity.cAcc_Id = "002";
  s.identity.ValeDbName = "data source=SRV2;initial catalog=X;user id=sa";
  EXPECT_EQ(login.ValeMetaName(), "data source=SRV1;user id=sa;password=p;initial catalog=VALEMeta_001");
  EXPECT_EQ(login.dbServerName(), "SRV1");

  core::LoginParts middle_parts(Edition::kExtended);
  extended::ExtendedMembers middle(middle_parts);
  middle_parts.identity.cAcc_Id = "002";
  middle_parts.identity.ValeDbName = "initial catalog=X;data source=S";
  EXPECT_EQ(middle.ValeMetaName(), "initial catalog=VALEMeta_002;data source=S");

  // The searches are case-sensitive: nothing found, and asked again later.
  core::LoginParts mixed_parts(Edition::kExtended);
  extended::ExtendedMembers mixed(mixed_parts);
  mixed_parts.identity.ValeDbName = "Data Source=SRV1;Initial Catalog=X";
  EXPECT_EQ(mixed.ValeMetaName(), "");
  EXPECT_EQ(mixed.dbServerName(), "");
  mixed_parts.identity.ValeDbName = "data source=SRV3;initial catalog=X";
  EXPECT_EQ(mixed.dbServerName(), "SRV3");

  // A data source that no ';' ends is raised.
  core::LoginParts open_ended_parts(Edition::kExtended);
  extended::ExtendedMembers open_ended(open_ended_parts);
  open_ended_parts.identity.ValeDbName = "user id=sa;data source=SRV1";
  EXPECT_EQ(RaisedNumber([&] { open_ended.dbServerName(); }), errnum::kInvalidCall);
}

TEST_F(ExtendedTest, TheBoundFileServerAccount) {
  core::LoginParts login_parts(Edition::kExtended);
  extended::ExtendedMembers login(login_parts);
  core::LoginParts& s = login_parts;
  s.identity.SysConnString = db_.system_database;
  s.identity.cUserId = "DEMO";
  std::string fs_user = "before";
  ASSERT_TRUE(login.GetBindFsUser(fs_user)) << resources::ThreadLastError().share_string;
  EXPECT_EQ(fs_user, "<valeco>\r\n<user name='demo.fs' pwd='fs-demo-2024'> \r\n</user>\r\n</valeco>");

  // A password without the stored-text mark stands as it is.
  s.identity.cUserId = "ALICE";
  ASSERT_TRUE(login.GetBindFsUser(fs_user));
  EXPECT_EQ(fs_user, "<valeco>\r\n<user name='alice.fs' pwd='plain-pass'> \r\n</user>\r\n</valeco>");

  // No account (a NULL name) or no such user: empty text, and true.
  for (const char* user : {"BOB", "NOBODY' OR '1'='1"}) {
    s.identity.cUserId = user;
    fs_user = "before";
    ASSERT_TRUE(login.GetBindFsUser(fs_user)) << user;
    EXPECT_EQ(fs_user, "") << user;
  }

  // Quotes and ampersands stay inside their attributes.
  auto conn = db::Connection::Create();
  ASSERT_TRUE(conn->Open(db_.system_database, "", "").ok());
  ASSERT_TRUE(conn->Execute(db::Statement("UPDATE UA_User SET cSysUserName=?, cSysUserPassword=? WHERE cUser_Id='BOB'")
                                .Bind("bob' x='1")
                                .Bind(suite::CommEncodeText("a&b'<c>") + "\x03"))
                  .ok());
  s.identity.cUserId = "BOB";
  ASSERT_TRUE(login.GetBindFsUser(fs_user));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(fs_user.c_str()));
  const pugi::xml_node user = doc.child("valeco").child("user");
  EXPECT_STREQ(user.attribute("name").value(), "bob' x='1");
  EXPECT_STREQ(user.attribute("pwd").value(), "a&b'<c>");
  EXPECT_FALSE(user.attribute("x"));

  // No system database: false with the error, the text as it was.
  core::LoginParts lost_parts(Edition::kExtended);
  extended::ExtendedMembers lost(lost_parts);
  lost_parts.identity.SysConnString = "Provider=SQLite;Data Source=/nonexistent/x;initial catalog=valesystem";
  fs_user = "kept";
  EXPECT_FALSE(lost.GetBindFsUser(fs_user));
  EXPECT_EQ(fs_user, "kept");
  EXPECT_NE(resources::ThreadLastError().log_state, 0);
  EXPECT_FALSE(resources::ThreadLastError().share_string.empty());
}

TEST_F(ExtendedTest, FileServerInformationAndTheConnections) {
  auto ui = Interface();
  ui->file_server = "file:///srv/docs";
  core::LoginParts login_parts(Edition::kExtended);
  extended::ExtendedMembers login(login_parts);
  core::LoginParts& s = login_parts;
  s.identity.UserToken = "tok";
  std::string info;
  ASSERT_TRUE(login.GetFileServerInfo(info));
  EXPECT_EQ(info, "file:///srv/docs");
  EXPECT_EQ(ui->calls, std::vector<std::string>{"GetFileServerInfo(tok,false)"});
  {
    ScopedRegistration gone(boundary::kLoginUiProgId, [] { return nullptr; });
    info = "before";
    EXPECT_FALSE(login.GetFileServerInfo(info));
    EXPECT_EQ(info, "");
    EXPECT_EQ(resources::ThreadLastError().log_state, errnum::kCannotCreate);
  }

  // Each connection is opened on first use and then the same object.
  s.identity.ValeDbName = "Provider=SQLite;Data Source=" + db_.dir;
  s.identity.SysConnString = db_.system_database;
  ObjectPtr account = login.ValeCurrentDb();
  EXPECT_EQ(login.ValeCurrentDb(), account);
  ObjectPtr system = login.ValeSystemADODb();
  EXPECT_EQ(login.ValeSystemADODb(), system);
  EXPECT_NE(account, system);
  auto conn = std::dynamic_pointer_cast<db::Connection>(system);
  ASSERT_NE(conn, nullptr);
  db::ResultSet rows;
  EXPECT_TRUE(conn->Query(db::Statement("SELECT count(*) FROM UA_User"), &rows).ok());

  // One that cannot be opened is raised, and tried again next time.
  core::LoginParts lost_parts(Edition::kExtended);
  extended::ExtendedMembers lost(lost_parts);
  lost_parts.identity.ValeDbName = "Provider=SQLite;Data Source=/nonexistent/x";
  lost_parts.identity.SysConnString = lost_parts.identity.ValeDbName;
  EXPECT_THROW(lost.ValeCurrentDb(), ComError);
  EXPECT_THROW(lost.ValeSystemADODb(), ComError);
  EXPECT_EQ(lost_parts.extended.CurrentDb, nullptr);
}

TEST_F(ExtendedTest, TheFullEditionHasNoneOfTheseMembers) {
  clsLogin full(Edition::kFull);
  std::string text;
  ObjectPtr none;
  const std::vector<std::function<void()>> members = {[&] { full.ValeCurrentDb(); },
                                                      [&] { full.GetFileServerInfo(text); },
                                                      [&] { full.EntTypeID(); },
                                                      [&] { full.ValeSystemADODb(); },
                                                      [&] { full.LoginEx(text, none); },
                                                      [&] { full.TaskExecEx("F", -1); },
                                                      [&] { full.InternalConstructLogin(""); },
                                                      [&] { full.ConstructLoginEx("", none); },
                                                      [&] { full.ValeMetaName(); },
                                                      [&] { full.dbServerName(); },
                                                      [&] { full.userToken(); },
                                                      [&] { full.GetBindFsUser(text); }};
  for (size_t i = 0; i < members.size(); ++i) EXPECT_EQ(RaisedNumber(members[i]), errnum::kNoSuchMember) << i;

  // Late bound: the full table does not know them; the extended one lists
  // them after the full members, in the interface's order.
  std::vector<Variant> args;
  EXPECT_EQ(RaisedNumber([&] {
              Invoke(typelib::LoginType(Edition::kFull), full, "dbServerName", MemberKind::kPropertyGet, args);
            }),
            errnum::kNoSuchMember);
  const auto& full_members = typelib::LoginType(Edition::kFull).members();
  const auto& ext_members = typelib::LoginType(Edition::kExtended).members();
  ASSERT_EQ(ext_members.size(), full_members.size() + 12);
  std::vector<std::string> added;
  for (size_t i = full_members.size(); i < ext_members.size(); ++i) added.push_back(ext_members[i].name);
  EXPECT_EQ(added, (std::vector<std::string>{"ValeCurrentDb", "GetFileServerInfo", "EntTypeID", "ValeSystemADODb",
                                             "LoginEx", "TaskExecEx", "InternalConstructLogin", "ConstructLoginEx",
                                             "ValeMetaName", "dbServerName", "userToken", "GetBindFsUser"}));
}

TEST_F(ExtendedTest, AnUnknownMessageIdIsShownThenRaised) {
  std::vector<Message> shown;
  ScopedMessageHandler handler([&](const Message& m) {
    shown.push_back(m);
    return MessageAnswer::kOk;
  });
  clsLogin full(Edition::kFull);
  EXPECT_EQ(resources::SharedResService().GetResString("No.Such.Id"), "");
  EXPECT_TRUE(shown.empty());

  clsLogin extended(Edition::kExtended);
  try {
    resources::SharedResService().GetResString("No.Such.Id");
    ADD_FAILURE() << "no error for an unknown id";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), 99);
    EXPECT_EQ(e.source(), "test");
    EXPECT_EQ(e.description(), "not find No.Such.Id");
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "没有找到资源号：No.Such.Id");
  EXPECT_EQ(shown[0].buttons, MessageButtons::kOk);
  EXPECT_THROW(resources::SharedResService().GetResFormatString("No.Such.Id", Array{1, {Variant("x")}}), ComError);
  EXPECT_EQ(shown.size(), 2u);
}

// The extended edition binds its strings as Unicode values (N?), as it
// writes N'...' literals: every string of sign-on, task control and the
// release; in the calendar, account information and closing status only
// the account-set, subsystem and user ids. Numbers stay plain, and so does
// the log-in time of the usage log.
TEST_F(ExtendedTest, TheExtendedEditionBindsStringsAsUnicode) {
  std::vector<std::string> wrong;
  int checked = 0;
  auto stays_plain = [](const std::string& sql, size_t value) {
    return (sql.rfind("INSERT INTO UA_log", 0) == 0 && sql.find("GETDATE()") == std::string::npos &&
            value == 5) ||                                                          // the log-in time of a function
           (sql.rfind("SELECT iId, iYear FROM UA_Period", 0) == 0 && value > 0) ||  // the day
           (sql.find("from ua_holdauth") != std::string::npos && sql.find("iIsuser") != std::string::npos &&
            value == 1);  // the year text of the holders
  };
  db::ScopedFaultHook spy([&](const db::Statement& st) -> std::optional<db::DbError> {
    const std::string sql(st.sql());
    if (sql.find("TarnService") != std::string::npos) return std::nullopt;  // the management service's own
    if (sql.find("ua_holdauth.cAuth_id =") != std::string::npos &&
        sql.find("ua_holdauth.cAuth_id ='ADMIN' then  'ADMIN' else '' end") == std::string::npos) {
      wrong.push_back("a literal that is no id marked: " + sql);
    }
    size_t value = 0;
    bool in_literal = false;
    for (size_t i = 0; i < sql.size() && value < st.values().size(); ++i) {
      if (sql[i] == '\'') in_literal = !in_literal;
      if (in_literal || sql[i] != '?') continue;
      const Variant& v = st.values()[value];
      const bool text = v.IsString() || (v.IsArray() && !v.ToArray().items.empty() && v.ToArray().items[0].IsString());
      const bool national = i > 0 && sql[i - 1] == 'N';
      if (text && national == stays_plain(sql, value)) {
        wrong.push_back((national ? "value " : "string ") + std::to_string(value) +
                        (national ? " marked: " : " plain: ") + sql);
      }
      ++checked;
      ++value;
    }
    return std::nullopt;
  });
  clsLogin login(Edition::kExtended);
  ASSERT_TRUE(login.ConstructLoginEx("t", Data(AliceData(suite::AccountConnectionString(db_.system_database)))));
  std::string sub = "GL";
  ObjectPtr none;
  ASSERT_TRUE(login.LoginEx(sub, none)) << login.ShareString();
  EXPECT_TRUE(login.TaskExecEx("GL0101", -1, 0, "K"));
  EXPECT_TRUE(login.TaskExecEx("GL0101", 0));
  int16_t year = 0, period = 0;
  EXPECT_EQ(login.GetPeriod(DateFromCivil({2024, 3, 1, 0, 0, 0}), year, period), 0);
  Variant v;
  EXPECT_TRUE(login.GetAccInfo(301, v));
  EXPECT_TRUE(login.GetAccInfo(120, v));
  v = Variant("GL");
  EXPECT_TRUE(login.GetAccInfo(203, v));
  bool closed = false;
  EXPECT_TRUE(login.ClosingStatus(204, "GL", 2024, closed));
  std::string fs;
  EXPECT_TRUE(login.GetBindFsUser(fs));
  login.ShutDown();
  EXPECT_GT(checked, 30);
  for (const std::string& what : wrong) ADD_FAILURE() << what;
}

}  // namespace
}  // namespace tarn
