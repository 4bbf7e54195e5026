// Building the login object's identity from a token of the login interface
// or from the interface's user data, and the sub-function filter the
// interface answers for the signed-on user.
#include <exception>

#include "core/login_parts.h"
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

std::string Text(const boundary::ContextData& data, std::string_view member) {
  return data.Get(member).ToStringOrEmpty();
}

// The user data's members in the interface's order, each stored as it is
// read: a member that is missing or does not convert raises, and the fields
// read before it keep their new values. The extended edition takes over
// the account name, period, administrator flag, enterprise type, user name
// and server identity too, where the full edition's sign-on queries them.
void ReadUserData(core::LoginParts& s, const boundary::ContextData& data) {
  const bool extended = s.identity.edition == Edition::kExtended;
  s.identity.cUserId = Text(data, "UserId");
  s.identity.cEmployeeId = Text(data, "EmployeeId");
  s.identity.cUserPassWord = Text(data, "Password");
  s.identity.cSub_Id = Text(data, "cSubId");
  // The system administrator in system administration works in no
  // account set and no year.
  if (AsciiUpper(s.identity.cSub_Id) == "AA" && AsciiUpper(s.identity.cUserId) == "ADMIN") {
    s.identity.cAcc_Id.clear();
    s.identity.cIYear.clear();
  } else {
    s.identity.cAcc_Id = Text(data, "AccID");
    s.identity.cIYear = Text(data, "iYear");
    if (extended) {
      s.identity.cAccName = Text(data, "AccName");
      s.identity.iMonth = data.Get("iMonth").ToInt16();
      s.identity.IsAdmin = data.Get("IsAdmin").ToBool();
      s.identity.EntTypeID = Text(data, "EntTypeID");
    }
  }
  s.identity.cServer = Text(data, "AppServer");
  s.identity.ValeDbName = Text(data, "ConnString");
  s.identity.SysConnString = s.identity.ValeDbName + ";initial catalog=valesystem";
  const Variant oper_date = data.Get("operDate");
  if (!oper_date.ToStringOrEmpty().empty()) s.identity.CurDate = oper_date.ToDate();
  s.identity.cSerial = Text(data, "WorkStationSerial");
  s.identity.DataSource = Text(data, "DataSource");
  s.identity.RightServer = Text(data, "RightServer");
  s.identity.IsGroupVer = data.Get("IsCompanyVer").ToBool();
  s.identity.LanguageRegion = Text(data, "LanguageID");
  if (extended) {
    s.identity.cUserName = Text(data, "UserName");
    s.identity.cServerSerial = Text(data, "AppServerSerial");
  }
}

// The extended edition's question to the login interface. A token it
// refuses records 8887 with the interface's text, and its resource id and
// arguments when it gives a record. Raises what the interface raises.
std::shared_ptr<boundary::UserData> GetUserDataByToken(const std::string& token) {
  auto ui = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
  std::shared_ptr<boundary::UserData> data = ui->GetLoginInfo_2(token);
  if (data) return data;
  resources::RecordRawError(resources::kTokenRefused, ui->ErrDescript());
  if (std::shared_ptr<boundary::LoginErrorRecord> record = ui->GetLastErrorResID()) {
    resources::ThreadLastError().last_res_id = record->ResId();
    resources::SetLastArgumentsFromXml(record->ResArg());
  }
  return nullptr;
}

}  // namespace

bool clsLogin::ConstructLogin(const std::string& UserToken) {
  core::LoginParts& s = *state_;
  if (s.identity.edition == Edition::kExtended) return InternalConstructLogin(UserToken);
  s.identity.UserToken = UserToken;
  try {
    auto ui = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
    std::shared_ptr<boundary::UserData> data = ui->GetLoginInfo_2(UserToken);
    if (!data) {
      resources::SetShareString(ui->ErrDescript());
      return false;
    }
    ReadUserData(s, *data);
    s.connections.TokenBuilt = true;
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
  core::LoginParts& s = *state_;
  core::RequireExtended(s.identity, "InternalConstructLogin");
  s.identity.UserToken = userToken;
  try {
    std::shared_ptr<boundary::ContextData> data;
    if (LoginUserData) {
      // Handed in by the caller: the token is kept but not checked.
      data = std::dynamic_pointer_cast<boundary::ContextData>(LoginUserData);
      if (!data) {
        throw ComError(errnum::kNoSuchMember, "Object doesn't support this property or method: a " +
                                                  LoginUserData->TypeName() + " is no user data");
      }
    } else {
      data = GetUserDataByToken(userToken);
      if (!data) return false;
    }
    ReadUserData(s, *data);
    if (!s.identity.ValeDbName.empty()) s.identity.SysPassword = signon::DatabasePassword(s.identity.ValeDbName);
    s.connections.TokenBuilt = true;
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
  core::RequireExtended(state_->identity, "ConstructLoginEx");
  return InternalConstructLogin(userToken, std::move(LoginUserData));
}

std::string clsLogin::userToken() const {
  core::RequireExtended(state_->identity, "userToken");
  return state_->identity.UserToken;
}

std::string clsLogin::GetEndSubAuthID(std::string& pAuth_id) {
  std::shared_ptr<boundary::LoginUI> ui;
  try {
    ui = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
  } catch (const ComError&) {
    return "1=2";
  }
  if (state_->identity.IsAdmin) return "1=1";
  return ui->GetEndSubAuthsWithAuthID(state_->identity.UserToken, pAuth_id, state_->identity.IsAdmin,
                                      state_->identity.cSub_Id);
}

}  // namespace tarn
