// Building the login object's identity from a token of the login interface
// or from the interface's user data, and the sub-function filter the
// interface answers for the signed-on user.
#include <exception>

#include "core/login_state.h"
#include "platform/object_registry.h"
#include "platform/text.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "resources/res_arg_xml.h"
#include "signon/connection_data.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

std::string Text(const suite::ContextData& data, std::string_view member) { return data.Get(member).ToStringOrEmpty(); }

// The user data's members in the interface's order, each stored as it is
// read: a member that is missing or does not convert raises, and the fields
// read before it keep their new values. The extended edition takes over
// the account name, period, administrator flag, enterprise type, user name
// and server identity too, where the full edition's sign-on queries them.
void ReadUserData(core::LoginState& s, const suite::ContextData& data) {
  const bool extended = s.edition == Edition::kExtended;
  s.cUserId = Text(data, "UserId");
  s.cEmployeeId = Text(data, "EmployeeId");
  s.cUserPassWord = Text(data, "Password");
  s.cSub_Id = Text(data, "cSubId");
  // The system administrator in system administration works in no
  // account set and no year.
  if (AsciiUpper(s.cSub_Id) == "AA" && AsciiUpper(s.cUserId) == "ADMIN") {
    s.cAcc_Id.clear();
    s.cIYear.clear();
  } else {
    s.cAcc_Id = Text(data, "AccID");
    s.cIYear = Text(data, "iYear");
    if (extended) {
      s.cAccName = Text(data, "AccName");
      s.iMonth = data.Get("iMonth").ToInt16();
      s.IsAdmin = data.Get("IsAdmin").ToBool();
      s.EntTypeID = Text(data, "EntTypeID");
    }
  }
  s.cServer = Text(data, "AppServer");
  s.ValeDbName = Text(data, "ConnString");
  s.SysConnString = s.ValeDbName + ";initial catalog=valesystem";
  const Variant oper_date = data.Get("operDate");
  if (!oper_date.ToStringOrEmpty().empty()) s.CurDate = oper_date.ToDate();
  s.cSerial = Text(data, "WorkStationSerial");
  s.DataSource = Text(data, "DataSource");
  s.RightServer = Text(data, "RightServer");
  s.IsGroupVer = data.Get("IsCompanyVer").ToBool();
  s.LanguageRegion = Text(data, "LanguageID");
  if (extended) {
    s.cUserName = Text(data, "UserName");
    s.cServerSerial = Text(data, "AppServerSerial");
  }
}

// The extended edition's question to the login interface. A token it
// refuses records 8887 with the interface's text, and its resource id and
// arguments when it gives a record. Raises what the interface raises.
std::shared_ptr<suite::UserData> GetUserDataByToken(const std::string& token) {
  auto ui = ObjectRegistry::Global().CreateAs<suite::LoginUI>(suite::kLoginUiProgId);
  std::shared_ptr<suite::UserData> data = ui->GetLoginInfo_2(token);
  if (data) return data;
  resources::RecordRawError(resources::kTokenRefused, ui->ErrDescript());
  if (std::shared_ptr<suite::LoginErrorRecord> record = ui->GetLastErrorResID()) {
    resources::ThreadLastError().last_res_id = record->ResId();
    resources::SetLastArgumentsFromXml(record->ResArg());
  }
  return nullptr;
}

}  // namespace

bool clsLogin::ConstructLogin(const std::string& UserToken) {
  core::LoginState& s = *state_;
  if (s.edition == Edition::kExtended) return InternalConstructLogin(UserToken);
  s.UserToken = UserToken;
  try {
    auto ui = ObjectRegistry::Global().CreateAs<suite::LoginUI>(suite::kLoginUiProgId);
    std::shared_ptr<suite::UserData> data = ui->GetLoginInfo_2(UserToken);
    if (!data) {
      resources::SetShareString(ui->ErrDescript());
      return false;
    }
    ReadUserData(s, *data);
    s.TokenBuilt = true;
    return true;
  } catch (const ComError& e) {
    resources::SetShareString(e.description());
    return false;
  } catch (const std::exception& e) {
    resources::SetShareString(e.what());
    return false;
  }
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the public signature, kept for callers
bool clsLogin::InternalConstructLogin(const std::string& userToken, ObjectPtr LoginUserData) {
  core::LoginState& s = *state_;
  core::RequireExtended(s, "InternalConstructLogin");
  s.UserToken = userToken;
  try {
    std::shared_ptr<suite::ContextData> data;
    if (LoginUserData) {
      // Handed in by the caller: the token is kept but not checked.
      data = std::dynamic_pointer_cast<suite::ContextData>(LoginUserData);
      if (!data) {
        throw ComError(errnum::kNoSuchMember, "Object doesn't support this property or method: a " +
                                                  LoginUserData->TypeName() + " is no user data");
      }
    } else {
      data = GetUserDataByToken(userToken);
      if (!data) return false;
    }
    ReadUserData(s, *data);
    if (!s.ValeDbName.empty()) s.SysPassword = signon::DatabasePassword(s.ValeDbName);
    s.TokenBuilt = true;
    return true;
  } catch (const ComError& e) {
    resources::RecordRawError(e.number(), e.description());
    return false;
  } catch (const std::exception& e) {
    resources::RecordRawError(errnum::kInvalidCall, e.what());
    return false;
  }
}

bool clsLogin::ConstructLoginEx(const std::string& userToken, ObjectPtr LoginUserData) {
  core::RequireExtended(*state_, "ConstructLoginEx");
  return InternalConstructLogin(userToken, std::move(LoginUserData));
}

std::string clsLogin::userToken() const {
  core::RequireExtended(*state_, "userToken");
  return state_->UserToken;
}

std::string clsLogin::GetEndSubAuthID(std::string& pAuth_id) {
  std::shared_ptr<suite::LoginUI> ui;
  try {
    ui = ObjectRegistry::Global().CreateAs<suite::LoginUI>(suite::kLoginUiProgId);
  } catch (const ComError&) {
    return "1=2";
  }
  if (state_->IsAdmin) return "1=1";
  return ui->GetEndSubAuthsWithAuthID(state_->UserToken, pAuth_id, state_->IsAdmin, state_->cSub_Id);
}

}  // namespace tarn
