// The file server of the signed-on user: the login interface's description
// of it, and the file-server account bound to the suite user.
#include "core/login_parts.h"
#include "extended/extended_members.h"
#include "core/system_database.h"
#include "db/raise.h"
#include "db/recordset.h"
#include "platform/object_registry.h"
#include "platform/xml_text.h"
#include "resources/error_state.h"
#include "service/stored_text.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

// Both members trap every error: false, with its number and text.
bool Failed(int32_t number, std::string text) {
  resources::RecordRawError(number, std::move(text));
  return false;
}

}  // namespace

bool extended::ExtendedMembers::GetFileServerInfo(std::string& fsInfo) {
  core::RequireExtended(id_, "GetFileServerInfo");
  try {
    auto ui = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
    fsInfo = ui->GetFileServerInfo(id_.UserToken, false);
    return true;
  } catch (const ComError& e) {
    fsInfo.clear();
    return Failed(e.number(), e.description());
  } catch (const std::exception& e) {
    fsInfo.clear();
    return Failed(errnum::kInvalidCall, e.what());
  }
}

bool extended::ExtendedMembers::GetBindFsUser(std::string& fsUser) {
  core::RequireExtended(id_, "GetBindFsUser");
  try {
    auto rs = db::Recordset::Create();
    db::RaiseIfFailed(rs->Open(
        db::Statement("select cSysUserName,cSysUserPassword from ua_user where cuser_id=N? ").Bind(id_.cUserId),
        core::SystemAdoDb(id_, connections_), db::CursorType::kStatic));
    std::string text;
    if (!rs->Eof()) {
      const std::string name = rs->Value("cSysUserName").ToStringOrEmpty();
      if (!name.empty()) {
        std::string stored = rs->Value("cSysUserPassword").ToStringOrEmpty();
        const std::string password = service::DecodeStoredText(stored);
        text = "<valeco>\r\n<user name='" + XmlAttributeText(name, '\'') + "' pwd='" +
               XmlAttributeText(password, '\'') + "'> \r\n</user>\r\n</valeco>";
      }
    }
    if (rs->State() == db::ObjectState::kOpen) rs->Close();
    fsUser = std::move(text);
    return true;
  } catch (const ComError& e) {
    return Failed(e.number(), e.description());
  } catch (const std::exception& e) {
    return Failed(errnum::kInvalidCall, e.what());
  }
}

bool clsLogin::GetFileServerInfo(std::string& fsInfo) {
  return extended::ExtendedMembers(*state_).GetFileServerInfo(fsInfo);
}
bool clsLogin::GetBindFsUser(std::string& fsUser) { return extended::ExtendedMembers(*state_).GetBindFsUser(fsUser); }

}  // namespace tarn
