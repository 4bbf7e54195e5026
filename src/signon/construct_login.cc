// Building the login object's identity from a token of the login interface,
// and the sub-function filter the interface answers for the signed-on user.
#include <exception>

#include "core/login_state.h"
#include "platform/object_registry.h"
#include "platform/text.h"
#include "resources/error_state.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

std::string Text(const suite::UserData& data, std::string_view member) {
  return data.Get(member).ToStringOrEmpty();
}

}  // namespace

bool clsLogin::ConstructLogin(const std::string& UserToken) {
  core::LoginState& s = *state_;
  s.UserToken = UserToken;
  try {
    auto ui = ObjectRegistry::Global().CreateAs<suite::LoginUI>(suite::kLoginUiProgId);
    std::shared_ptr<suite::UserData> data = ui->GetLoginInfo_2(UserToken);
    if (!data) {
      resources::SetShareString(ui->ErrDescript());
      return false;
    }
    s.cUserId = Text(*data, "UserId");
    s.cEmployeeId = Text(*data, "EmployeeId");
    s.cUserPassWord = Text(*data, "Password");
    s.cSub_Id = Text(*data, "cSubId");
    // The system administrator in system administration works in no
    // account set and no year.
    if (AsciiUpper(s.cSub_Id) == "AA" && AsciiUpper(s.cUserId) == "ADMIN") {
      s.cAcc_Id.clear();
      s.cIYear.clear();
    } else {
      s.cAcc_Id = Text(*data, "AccID");
      s.cIYear = Text(*data, "iYear");
    }
    s.cServer = Text(*data, "AppServer");
    s.ValeDbName = Text(*data, "ConnString");
    s.SysConnString = s.ValeDbName + ";initial catalog=valesystem";
    const Variant oper_date = data->Get("operDate");
    if (!oper_date.ToStringOrEmpty().empty()) s.CurDate = oper_date.ToDate();
    s.cSerial = Text(*data, "WorkStationSerial");
    s.DataSource = Text(*data, "DataSource");
    s.RightServer = Text(*data, "RightServer");
    s.IsGroupVer = data->Get("IsCompanyVer").ToBool();
    s.LanguageRegion = Text(*data, "LanguageID");
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
