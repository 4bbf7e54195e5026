#include "platform/text.h"
#include "suite/login_service/login_service.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "boundary/registry_keys.h"
#include "boundary/service_protocol.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/raise.h"
#include "platform/env.h"
#include "platform/xml_text.h"
#include "boundary/suite.h"
#include "suite/lingua/catalog.h"
#include "suite/lingua/format.h"
#include "suite/lingua/language.h"
#include "suite/login_service/password.h"
#include "suite/mgmt/admit.h"
#include "suite/key_file.h"
#include "suite/login_service/token.h"
#include "suite/settings.h"
#include "tarn/com_error.h"

namespace tarn::suite {

using boundary::ContextData;
using boundary::kLoginUiProgId;
using boundary::kProductContextProgId;
using boundary::kUserDataProgId;
using boundary::LoginErrorRecord;
using boundary::MapSubIdForEdition;
using boundary::ProductContext;
using boundary::RegistryRoot;
using boundary::UserData;
using boundary::WorkstationSerial;
namespace {

using Json = nlohmann::json;

// Runs a query and hands back its rows; a failure is an error of the call.
db::ResultSet Query(const db::ConnectionPtr& conn, const db::Statement& statement) {
  db::ResultSet rows;
  db::RaiseIfFailed(conn->Query(statement, &rows));
  return rows;
}

std::string Quote(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

class ErrorRecord final : public LoginErrorRecord {
 public:
  ErrorRecord(std::string id, std::string args) : id_(std::move(id)), args_(std::move(args)) {}
  std::string ResId() const override { return id_; }
  std::string ResArg() const override { return args_; }

 private:
  std::string id_, args_;
};

Json ToJson(const Members& members) {
  Json j = Json::object();
  for (const auto& [name, value] : members) {
    switch (value.type()) {
      case Variant::Type::kBool: j[name] = value.ToBool(); break;
      case Variant::Type::kInt16:
      case Variant::Type::kInt32: j[name] = value.ToInt32(); break;
      case Variant::Type::kDate: j[name] = FormatDateTime(value.ToDate()); break;
      default: j[name] = value.ToStringOrEmpty();
    }
  }
  return j;
}

Members FromJson(const Json& j) {
  Members members;
  for (const auto& [name, value] : j.items()) {
    if (value.is_boolean())
      members[name] = Variant(value.get<bool>());
    else if (value.is_number_integer())
      members[name] = Variant(value.get<int32_t>());
    else if (value.is_string())
      members[name] = Variant(value.get<std::string>());
  }
  return members;
}

// The mark of the user's hash as the system database holds it now; "" for
// a user who is gone or disabled. Raises when the database cannot be read.
std::string CurrentPasswordMark(const db::ConnectionPtr& conn, const std::string& user_id) {
  db::ResultSet user =
      Query(conn, db::Statement("SELECT cPasswordHash, bDisabled FROM UA_User WHERE cUser_Id = ?").Bind(user_id));
  if (user.rows() == 0 || (!user.at(0, 1).IsNull() && user.at(0, 1).ToBool())) return std::string();
  return PasswordMark(user.at(0, 0).ToStringOrEmpty());
}

// A task id no other station holds: numeric text, so that it can stand as
// the login task's log id (a double: at most 15 digits).
std::string NewTaskId(const db::ConnectionPtr& conn) {
  Env& env = Env::Current();
  for (int attempt = 0; attempt < 8; ++attempt) {
    const double seconds = std::floor((env.Now().serial - 43831.0) * 86400.0);  // since 2020-01-01
    const double id = std::fmod(std::max(seconds, 0.0), 1e9) * 1e6 + std::floor(env.Random() * 1e6);
    std::string text = FormatNumber(id);
    if (Query(conn, db::Statement("SELECT top 1 cTaskId FROM UA_TaskLog with(nolock) WHERE cTaskId = ?").Bind(text))
            .rows() == 0) {
      return text;
    }
  }
  throw ComError(errnum::kInvalidCall, "no free task id could be drawn");
}

// The functions (upper-cased) that a user holds in an account set and year,
// directly or through a group.
std::set<std::string> HeldRights(const db::ConnectionPtr& conn, const std::string& acc, const std::string& year,
                                 const std::string& user) {
  db::ResultSet rows =
      Query(conn, db::Statement("SELECT cAuth_Id FROM UA_HoldAuth WHERE cAcc_Id = ? AND iYear = ? AND (cUser_Id = ? OR "
                                "cUser_Id IN (SELECT cGroup_Id FROM ua_role WHERE cUser_Id = ?))")
                      .Bind(acc)
                      .BindNumber(year)
                      .Bind(user)
                      .Bind(user));
  std::set<std::string> held;
  for (size_t r = 0; r < rows.rows(); ++r) held.insert(AsciiUpper(rows.at(r, 0).ToStringOrEmpty()));
  return held;
}

// The working day for a sign-on that names a year but no date: today when
// the year's live periods hold it, else the year's last live day.
Date DayInYear(const db::ConnectionPtr& conn, const std::string& acc_id, const std::string& year, Date today) {
  db::ResultSet periods =
      Query(conn, db::Statement("SELECT dBegin, dEnd FROM UA_Period WHERE cAcc_Id = ? AND iYear = ? "
                                "AND (bIsDelete=0 or bIsDelete is null) ORDER BY dEnd")
                      .Bind(acc_id)
                      .BindNumber(year));
  if (periods.rows() == 0) return today;
  for (size_t r = 0; r < periods.rows(); ++r) {
    if (periods.at(r, 0).ToDate().serial <= today.serial && today.serial <= periods.at(r, 1).ToDate().serial) {
      return today;
    }
  }
  Date last = periods.at(periods.rows() - 1, 1).ToDate();
  last.serial = std::floor(last.serial);
  return last;
}

}  // namespace

std::string AccountConnectionString(const std::string& system_database) {
  db::ConnectionString cs;
  if (!db::ConnectionString::Parse(system_database, &cs).ok()) return system_database;
  // Through an ODBC driver the keys are the driver's own: its Server, Port
  // and Database go with the string, and only ADO's spellings name the data
  // source and the catalog (a data source the string lacks is its server).
  const bool driver_keys = db::RouteOf(cs) == db::Route::kOdbcDriver;
  std::string head, source, password;
  if (driver_keys && !cs.HasExact("Data Source")) {
    source = "data source=" + db::QuoteValue(cs.HasExact("Server") ? cs.GetExact("Server") : cs.GetExact("DSN"));
  }
  for (const auto& [key, value] : cs.items()) {
    const std::string canonical =
        driver_keys && !EqualsNoCase(key, "pwd") ? AsciiLower(key) : db::ConnectionString::Canonical(key);
    if (canonical == "initial catalog") continue;
    // Quoted where a value would not read back as written: a ';' in a
    // password must not end it, nor add items of its own (another Data
    // Source) that would send the module elsewhere than the sign-on.
    const std::string quoted = db::QuoteValue(value);
    std::string item = key + "=" + quoted;
    if (canonical == "data source") {
      source = "data source=" + quoted;  // the interface's spelling, which modules search for
    } else if (canonical == "password") {
      password = "password=" + quoted;  // last: modules read the password up to the end
    } else {
      head += item + ";";
    }
  }
  // Data source first, then the rest: it is always followed by ';'.
  std::string out = source + ";" + head + password;
  if (!out.empty() && out.back() == ';') out.pop_back();
  return out;
}

void LoginService::SetLanguageID(const std::string& locale) { language_ = LanguageFromSetting(locale); }

bool LoginService::RefuseText(const std::string& text) {
  error_text_ = text;
  error_res_id_.clear();
  error_args_ = Array();
  return false;
}

bool LoginService::Refuse(const std::string& res_id, std::vector<Variant> args) {
  const std::string language = language_.empty() ? CurrentLanguage() : language_;
  error_args_ = ArgsFrom(std::move(args));
  error_text_ = FormatPlaces(CatalogText(res_id, language), error_args_);
  error_res_id_ = res_id;
  return false;
}

db::ConnectionPtr LoginService::SystemDatabase() {
  if (conn_ && conn_->State() == db::ObjectState::kOpen) return conn_;
  const std::string system_database = Setting("SystemDatabase");
  if (system_database.empty()) {
    throw ComError(errnum::kInvalidCall,
                   "No system database is configured (SystemDatabase below " + std::string(kSettingsKey) + ")");
  }
  db::ConnectionPtr conn = db::Connection::Create();
  db::RaiseIfFailed(conn->Open(system_database, "", ""));
  conn_ = conn;
  return conn_;
}

bool LoginService::Login(std::string& sub_id, std::string& user_id, std::string& password, std::string& server,
                         std::string& date_text, std::string& acc_id, std::string& serial) {
  session_.reset();
  try {
    db::ConnectionPtr conn = SystemDatabase();
    db::ResultSet user = Query(
        conn,
        db::Statement("SELECT cUser_Name, cPasswordHash, bDisabled FROM UA_User WHERE cUser_Id = ?").Bind(user_id));
    if (user.rows() == 0) return Refuse("Tarn.AA.LoginService.UnknownUser", {Variant(user_id)});
    if (!user.at(0, 2).IsNull() && user.at(0, 2).ToBool()) {
      return Refuse("Tarn.AA.LoginService.UserDisabled", {Variant(user_id)});
    }
    if (!VerifyPassword(user.at(0, 1).ToStringOrEmpty(), password)) {
      return Refuse("Tarn.AA.LoginService.BadPassword");
    }

    // The date may carry the year after an '@' (the account set service).
    std::string day_text = date_text, year_text;
    if (size_t at = date_text.find('@'); at != std::string::npos) {
      day_text = date_text.substr(0, at);
      year_text = date_text.substr(at + 1);
    }
    Date date = Env::Current().Now();
    date.serial = std::floor(date.serial);
    if (!day_text.empty() && !ParseDateText(day_text, &date)) {
      return Refuse("Tarn.AA.LoginService.BadDate", {Variant(day_text)});
    }
    const bool admin = AsciiUpper(user_id) == "ADMIN";

    Members data;
    data["AccName"] = Variant("");
    data["iMonth"] = Variant(int32_t{0});
    data["IsAdmin"] = Variant(false);
    std::string year;
    if (!(admin && AsciiUpper(sub_id) == "AA")) {
      db::ResultSet account =
          Query(conn, db::Statement("SELECT cAcc_Name FROM UA_Account WHERE cAcc_Id = ?").Bind(acc_id));
      if (account.rows() == 0) return Refuse("Tarn.AA.LoginService.UnknownAccount", {Variant(acc_id)});
      data["AccName"] = Variant(account.at(0, 0).ToStringOrEmpty());
      if (!year_text.empty()) {
        const bool numeric = year_text.size() == 4 && std::all_of(year_text.begin(), year_text.end(), ::isdigit);
        if (!numeric || Query(conn, db::Statement("SELECT top 1 iId FROM UA_Period WHERE cAcc_Id = ? AND iYear = ? AND "
                                                  "(bIsDelete=0 or bIsDelete is null)")
                                        .Bind(acc_id)
                                        .BindNumber(year_text))
                                .rows() == 0) {
          return Refuse("Tarn.AA.LoginService.UnknownYear", {Variant(acc_id), Variant(year_text)});
        }
        if (day_text.empty()) date = DayInYear(conn, acc_id, year_text, date);
      }
      const std::string day = FormatDay(date);
      db::Statement period_query(
          year_text.empty() ? "SELECT iYear, iId FROM UA_Period WHERE cAcc_Id = ? AND dBegin <= ? AND dEnd >= ? AND "
                              "(bIsDelete=0 or bIsDelete is null) ORDER BY iYear"
                            : "SELECT iYear, iId FROM UA_Period WHERE cAcc_Id = ? AND dBegin <= ? AND dEnd >= ? AND "
                              "(bIsDelete=0 or bIsDelete is null) AND iYear = ?");
      period_query.Bind(acc_id).Bind(day).Bind(day);
      if (!year_text.empty()) period_query.BindNumber(year_text);
      db::ResultSet period = Query(conn, period_query);
      if (period.rows() == 0) return Refuse("Tarn.AA.LoginService.NoLivePeriod", {Variant(day)});
      year = period.at(0, 0).ToString();
      data["iMonth"] = Variant(period.at(0, 1).ToInt32());
      if (!admin) {
        const std::set<std::string> rights = HeldRights(conn, acc_id, year, user_id);
        if (rights.empty()) {
          return Refuse("Tarn.AA.LoginService.NoRight", {Variant(user_id), Variant(acc_id), Variant(year)});
        }
        data["IsAdmin"] = Variant(rights.count("ADMIN") != 0);
      }
    }

    // The identity a module reports to the management service when its
    // caller gives none, read as the component reads it.
    if (serial.empty()) {
      Env& env = Env::Current();
      serial = WorkstationSerial(RegistryRoot(env.Is64Bit()), edition_, env.ComputerName());
    }
    const std::string system_database = Setting("SystemDatabase");
    db::ConnectionString cs;
    // A string that does not parse names no data source: DataSource stays "".
    (void)db::ConnectionString::Parse(system_database, &cs);
    data["UserId"] = Variant(user_id);
    data["EmployeeId"] = Variant(user_id);
    data["Password"] = Variant(password);
    data["cSubId"] = Variant(sub_id);
    data["AccID"] = Variant(acc_id);
    data["iYear"] = Variant(year);
    data["EntTypeID"] = Variant("");
    data["AppServer"] = Variant(!server.empty() ? server : Setting("AppServer", Env::Current().ComputerName()));
    data["ConnString"] = Variant(AccountConnectionString(system_database));
    data["operDate"] = Variant(FormatDay(date));
    data["WorkStationSerial"] = Variant(serial);
    data["DataSource"] = Variant(cs.Get("Data Source"));
    data["RightServer"] = Variant(Setting("RightServer"));
    data["IsCompanyVer"] = Variant(false);
    data["LanguageID"] = Variant(language_.empty() ? CurrentLanguage() : language_);
    data["UserName"] = Variant(user.at(0, 0).ToStringOrEmpty());
    // The extended edition takes the server's identity from here instead
    // of asking the management service itself.
    data["AppServerSerial"] =
        Variant(edition_ == Edition::kExtended ? HostIdentity(data["AppServer"].ToString(), serial) : std::string());
    session_ = std::move(data);
    error_text_.clear();
    error_res_id_.clear();
    return true;
  } catch (const ComError& e) {
    return RefuseText(e.description());
  }
}

std::shared_ptr<ProductContext> LoginService::SubLogin(const std::string& sub_id) {
  if (!session_) {
    if (error_text_.empty()) Refuse("Tarn.AA.LoginService.BadToken");
    return nullptr;
  }
  try {
    db::ConnectionPtr conn = SystemDatabase();
    db::ResultSet sub =
        Query(conn, db::Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id = ?").Bind(AsciiUpper(sub_id)));
    if (sub.rows() == 0) {
      Refuse("Tarn.AA.LoginService.UnknownSubsystem", {Variant(sub_id)});
      return nullptr;
    }
    sub_name_ = sub.at(0, 0).ToStringOrEmpty();
    (*session_)["cSubId"] = Variant(AsciiUpper(sub_id));
    if (!OpenTask(AsciiUpper(sub_id))) return nullptr;
    return std::make_shared<ProductContextObject>(
        Members{{"SubId", Variant(AsciiUpper(sub_id))}, {"SubName", Variant(sub_name_)}});
  } catch (const ComError& e) {
    RefuseText(e.description());
    return nullptr;
  }
}

std::string LoginService::IssueToken(const Members& user_data) {
  std::string key;
  if (Status s = LoadKeyFile(Setting("TokenKeyFile"), &key); !s.ok()) {
    throw ComError(errnum::kInvalidCall, "No token key (" + s.message() +
                                             "): run `tarn db init` or set TokenKeyFile below " +
                                             std::string(kSettingsKey));
  }
  Json payload = ToJson(user_data);
  db::ConnectionPtr conn = db::Connection::Create();
  db::RaiseIfFailed(conn->Open(Setting("SystemDatabase"), "", ""));
  payload["mark"] = CurrentPasswordMark(conn, user_data.count("UserId") ? user_data.at("UserId").ToString() : "");
  payload["exp"] = Env::Current().Now().serial + static_cast<double>(SettingInt("TokenHours", 12)) / 24.0;
  return SealToken(key, payload.dump());
}

std::string LoginService::UserToken() { return session_ ? IssueToken(*session_) : std::string(); }

// The sign-on's task: admitted by the management service first, then its
// rows written in one transaction. A station that dies at any point leaves
// either no rows or rows whose task the service's lease releases; a seat
// the service refuses, or rows that cannot be written, refuse the sign-on
// with nothing kept.
bool LoginService::OpenTask(const std::string& sub) {
  Members& d = *session_;
  const std::string user = d["UserId"].ToString(), acc = d["AccID"].ToString(), year = d["iYear"].ToString();
  const std::string serial = d["WorkStationSerial"].ToString();
  const std::string right_server = d["RightServer"].ToString();
  const std::string service_sub = MapSubIdForEdition(sub, d["IsCompanyVer"].ToBool());
  const std::string station = Env::Current().ComputerName();
  const std::string app_server = d["AppServer"].ToString();
  db::ConnectionPtr conn = SystemDatabase();
  const std::string task_id = NewTaskId(conn);

  const Admission admission = AdmitTask(right_server, serial, service_sub, task_id);
  if (admission.outcome == Admission::kRefused) {
    return Refuse("Tarn.AA.LoginService.ServiceRefused", {Variant(admission.reason)});
  }
  const Variant service_host(right_server.empty() ? station : right_server);
  if (admission.outcome == Admission::kUnreachable) {
    return Refuse("Tarn.AA.LoginService.ServiceUnreachable", {service_host, Variant(admission.reason)});
  }
  if (admission.outcome == Admission::kFailed) {
    return Refuse("Tarn.AA.LoginService.ServiceFailed", {service_host, Variant(admission.reason)});
  }

  Status s = conn->BeginTrans();
  auto run = [&](const db::Statement& statement) {
    if (s.ok()) s = conn->Execute(statement);
  };
  run(db::Statement("INSERT INTO UA_TaskLog with(rowlock) (cSub_Id,cSub_Name,cStation,dInTime,cTaskId,TaskState,"
                    "cAppServer) VALUES(?,?,?, CONVERT(VarChar, getdate(), 121) ,?,'0',?)")
          .Bind(sub)
          .Bind(sub_name_)
          .Bind(station)
          .Bind(task_id)
          .Bind(app_server));
  // The system administrator, payroll and the console hold no login task.
  if (AsciiUpper(user) != "ADMIN" && std::string_view("PS,SC").find(sub) == std::string_view::npos) {
    run(db::Statement("INSERT INTO UA_task with(rowlock)(cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,"
                      "cSub_Id,cAppServer) VALUES(?,?,?,'reg',?,?,?,?,?)")
            .Bind(acc)
            .BindNumber(year)
            .Bind(user)
            .Bind(station)
            .Bind(task_id)
            .BindNumber(task_id)
            .Bind(sub)
            .Bind(app_server));
    run(db::Statement("INSERT INTO UA_log with(rowlock) VALUES(?,?,?,'reg',?,GETDATE(),NULL,?,?,0)")
            .Bind(acc)
            .Bind(sub)
            .Bind(user)
            .Bind(station)
            .BindNumber(task_id)
            .Bind(year));
  }
  if (s.ok()) s = conn->CommitTrans();
  if (!s.ok()) {
    (void)conn->RollbackTrans();  // the failure that ends the transaction is the one to report
    WithdrawTask(right_server, serial, service_sub, task_id);
    return Refuse("Tarn.AA.LoginService.SignOnNotRecorded", {Variant(s.message())});
  }
  task_id_ = task_id;
  return true;
}

std::string LoginService::GetTaskID(const std::string&) { return session_ ? task_id_ : std::string(); }

std::shared_ptr<UserData> LoginService::GetLoginInfo_2(const std::string& token) {
  std::string key, payload;
  // A key we cannot use says nothing of the token: the reason is the key's.
  if (Status s = LoadKeyFile(Setting("TokenKeyFile"), &key); !s.ok()) {
    RefuseText("No token key (" + s.message() + ")");
    return nullptr;
  }
  if (!OpenToken(key, token, &payload)) {
    Refuse("Tarn.AA.LoginService.BadToken");
    return nullptr;
  }
  Json j = Json::parse(payload, nullptr, false);
  if (!j.is_object() || !j.contains("exp") || !j["exp"].is_number()) {
    Refuse("Tarn.AA.LoginService.BadToken");
    return nullptr;
  }
  if (Env::Current().Now().serial > j["exp"].get<double>()) {
    Refuse("Tarn.AA.LoginService.TokenExpired");
    return nullptr;
  }
  // A token stands for the user as they were when it was issued: removed,
  // disabled or with a new password, the user's old tokens are void.
  const std::string user = j.value("UserId", std::string());
  try {
    if (!j.contains("mark") || !j["mark"].is_string() || j["mark"].get<std::string>().empty() ||
        j["mark"].get<std::string>() != CurrentPasswordMark(SystemDatabase(), user)) {
      Refuse("Tarn.AA.LoginService.TokenRevoked", {Variant(user)});
      return nullptr;
    }
  } catch (const ComError& e) {
    RefuseText(e.description());
    return nullptr;
  }
  j.erase("exp");
  j.erase("mark");
  return std::make_shared<UserDataObject>(FromJson(j));
}

std::string LoginService::GetEndSubAuthsWithAuthID(const std::string& token, const std::string& auth_id, bool is_admin,
                                                   const std::string&) {
  std::shared_ptr<UserData> data = GetLoginInfo_2(token);
  if (!data) return "1=2";
  const std::string user = data->Get("UserId").ToString(), acc = data->Get("AccID").ToString();
  const std::string year = data->Get("iYear").ToString();
  db::ConnectionPtr conn = SystemDatabase();

  // The leaf functions below auth_id (the function itself when it is a leaf).
  std::vector<std::string> leaves;
  std::vector<std::string> level{auth_id};
  std::set<std::string> seen{AsciiUpper(auth_id)};
  db::ResultSet self =
      Query(conn, db::Statement("SELECT bEndGrade FROM ua_auth_base WHERE cAuth_Id = ?").Bind(auth_id));
  if (self.rows() > 0 && !self.at(0, 0).IsNull() && self.at(0, 0).ToBool()) leaves.push_back(auth_id);
  while (!level.empty()) {
    std::vector<std::string> next;
    for (const std::string& parent : level) {
      db::ResultSet children =
          Query(conn, db::Statement("SELECT cAuth_Id, bEndGrade FROM ua_auth_base WHERE cSupAuth_Id = ?").Bind(parent));
      for (size_t r = 0; r < children.rows(); ++r) {
        const std::string child = children.at(r, 0).ToStringOrEmpty();
        if (!seen.insert(AsciiUpper(child)).second) continue;  // a cycle in the tree ends here
        if (!children.at(r, 1).IsNull() && children.at(r, 1).ToBool()) leaves.push_back(child);
        next.push_back(child);
      }
    }
    level = std::move(next);
  }

  std::set<std::string> held;
  bool holds_admin = is_admin;
  if (!holds_admin && !year.empty()) {
    held = HeldRights(conn, acc, year, user);
    holds_admin = held.count("ADMIN") != 0;
  }
  std::string list;
  for (const std::string& leaf : leaves) {
    if (!holds_admin && !held.count(AsciiUpper(leaf))) continue;
    list += (list.empty() ? "" : ",") + Quote(leaf);
  }
  return list.empty() ? "1=2" : "cAuth_Id IN (" + list + ")";
}

// The end of this interface's own sign-on: its login task's row and log
// entry go (the login object's release does the same for its task; twice
// is harmless), then the service hears of it. A launcher that only hands
// out a token therefore leaves nothing behind that holds functions.
void LoginService::SubLogout(const std::string& sub_id) {
  if (!session_ || task_id_.empty()) return;
  const Members& d = *session_;
  try {
    db::ConnectionPtr conn = SystemDatabase();
    // Each statement on its own: a failure of one must not keep the other.
    (void)conn->Execute(
        db::Statement("DELETE FROM UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id='reg'").Bind(task_id_));
    (void)conn->Execute(db::Statement("UPDATE UA_log with(rowlock) SET Success=1,dOutTime=GETDATE() WHERE iLogId=? "
                                      "AND cAuth_Id='reg' AND dOutTime IS NULL")
                            .BindNumber(task_id_));
  } catch (const ComError&) {
    // No database: the service's lease releases the rows.
  }
  WithdrawTask(d.at("RightServer").ToString(), d.at("WorkStationSerial").ToString(),
               MapSubIdForEdition(AsciiUpper(sub_id), d.at("IsCompanyVer").ToBool()), task_id_);
}

void LoginService::ShutDown() {
  session_.reset();
  task_id_.clear();
  conn_.reset();
}

std::string LoginService::GetDefaultConnstring(const std::string&) { return Setting("SystemDatabase"); }

std::string LoginService::GetFileServerInfo(const std::string&, bool) { return Setting("FileServer"); }

std::shared_ptr<LoginErrorRecord> LoginService::GetLastErrorResID() {
  if (error_res_id_.empty()) return nullptr;
  // One element per argument, in order, its value in the "key" attribute.
  std::string args;
  for (const Variant& arg : error_args_.items)
    args += "<resarg key=\"" + XmlAttributeText(arg.ToStringOrEmpty()) + "\"/>";
  return std::make_shared<ErrorRecord>(error_res_id_, args);
}

std::shared_ptr<UserData> LoginService::getLoginInfo() {
  return session_ ? std::make_shared<UserDataObject>(*session_) : nullptr;
}

std::shared_ptr<ContextData> LoginService::GetSubLoginInfo(const std::string& sub_id) {
  if (!session_) return nullptr;
  return std::make_shared<SubLoginDataObject>(
      Members{{"SubId", Variant(AsciiUpper(sub_id))}, {"SubName", Variant(sub_name_)}, {"TaskId", Variant(task_id_)}});
}

void RegisterDefaultLoginService(ObjectRegistry& registry, Edition edition) {
  registry.RegisterDefault(kLoginUiProgId, [edition] { return std::make_shared<LoginService>(edition); });
  registry.RegisterDefault(kUserDataProgId, [] { return std::make_shared<UserDataObject>(Members{}); });
  registry.RegisterDefault(kProductContextProgId, [] { return std::make_shared<ProductContextObject>(Members{}); });
}

}  // namespace tarn::suite
