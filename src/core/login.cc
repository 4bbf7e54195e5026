// Creation, properties, the error-state members and the release sequence of
// the login object. The other operations live with their concern.
#include "tarn/login.h"

#include "core/config.h"
#include "core/login_parts.h"
#include "core/release_sequence.h"
#include "core/thread_state.h"
#include "platform/env.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "resources/res_arg_xml.h"
#include "resources/res_service.h"
#include "tarn/com_error.h"

namespace tarn {

namespace core {
#ifdef TARN_TEST_HOOKS
// Only tests reach an object's parts this way: the members hand their
// operations the parts they need.
LoginParts& PartsOf(clsLogin& login) { return *login.state_; }
#endif

void RequireExtended(const Identity& id, std::string_view member) {
  if (id.edition == Edition::kExtended) return;
  throw ComError(errnum::kNoSuchMember, "Object doesn't support this property or method: " + std::string(member) +
                                            " belongs to the extended edition");
}
}  // namespace core

namespace {

// The extended edition's record of a refused sign-on: the login
// interface's own, or none when it has none. Any failure answers none.
std::shared_ptr<clsErrorRes> ForwardedRecord(boundary::LoginUI* ui) {
  try {
    if (ui == nullptr) return nullptr;
    std::shared_ptr<boundary::LoginErrorRecord> answer = ui->GetLastErrorResID();
    if (!answer) {
      resources::DropErrorRecord();
      return nullptr;
    }
    return resources::ForwardedErrorRecord(answer->ResId(), resources::ParseResArgXml(answer->ResArg()));
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

clsLogin::clsLogin(Edition edition) : state_(std::make_unique<core::LoginParts>(edition)) {
  core::Thread();  // the start-up routine runs before the first object is used
  resources::SetMessageEdition(edition);
  core::LoginParts& s = *state_;
  s.identity.CurDate = Env::Current().Now();
  s.identity.cSerial = core::WorkstationSerial(edition);
  s.identity.cServerSerial = s.identity.cSerial;
  s.identity.cDbServerSerial = s.identity.cSerial;
}

clsLogin::~clsLogin() { core::RunReleaseSequence(*state_); }

Edition clsLogin::edition() const { return state_->identity.edition; }

void clsLogin::set_cWebClient(const std::string& vData) { state_->identity.cWebClient = vData; }
Variant clsLogin::cServer() const { return Variant(state_->identity.cServer); }
void clsLogin::set_cServer(const Variant& value) {
  if (value.IsString() && value.ToString().empty()) return;
  state_->identity.cServer = value.ToString();
}
int32_t clsLogin::LanguageID() const { return 0; }
std::string clsLogin::cUserPassWord() const { return state_->identity.cUserPassWord; }
int32_t clsLogin::LogState() const { return resources::ThreadLastError().log_state; }
std::string clsLogin::ShareString() const { return resources::ThreadLastError().share_string; }
std::string clsLogin::SysPassword() const { return state_->identity.SysPassword; }
std::string clsLogin::cSubName() const { return state_->identity.cSubName; }
std::string clsLogin::cAcc_Id() const { return state_->identity.cAcc_Id; }
void clsLogin::set_cAcc_Id(std::string& pCaccId) { state_->identity.cAcc_Id = pCaccId; }
std::string clsLogin::cAccName() const { return state_->identity.cAccName; }
Date clsLogin::CurDate() const { return state_->identity.CurDate; }
std::string clsLogin::cIYear() const { return state_->identity.cIYear; }
int16_t clsLogin::iMonth() const { return state_->identity.iMonth; }
std::string clsLogin::cUserId() const { return state_->identity.cUserId; }
std::string clsLogin::cUserName() const { return state_->identity.cUserName; }
std::string clsLogin::ValeDbName() const { return state_->identity.ValeDbName; }
std::string clsLogin::ValeDbPath() const { return state_->identity.ValeDbPath; }
std::string clsLogin::ValeZtPath() const { return state_->identity.ValeZtPath; }
bool clsLogin::IsAdmin() const { return state_->identity.IsAdmin; }
std::string clsLogin::TaskId() const { return state_->identity.TaskId; }
std::string clsLogin::GetIstallPath() const { return core::GetIstallPath(state_->identity.edition); }
Variant clsLogin::cSerial() const { return Variant(state_->identity.cSerial); }
void clsLogin::set_cSerial(const Variant& value) {
  if (value.IsNull()) return;
  state_->identity.cSerial = value.ToString();
}
std::string clsLogin::AuthString() const { return state_->identity.AuthString; }
void clsLogin::set_AuthString(const std::string& vNewValue) { state_->identity.AuthString = vNewValue; }
Variant clsLogin::cServerSerial() const { return Variant(state_->identity.cServerSerial); }
Variant clsLogin::cDbServerSerial() const { return Variant(state_->identity.cDbServerSerial); }
bool clsLogin::IsGroupVer() const { return state_->identity.IsGroupVer; }
std::string clsLogin::cSub_Id() const { return state_->identity.cSub_Id; }
void clsLogin::set_TaskId(std::string& pTaskId) { state_->identity.TaskId = pTaskId; }
std::string clsLogin::DataSource() const { return state_->identity.DataSource; }
std::string clsLogin::cEmployeeId() const { return state_->identity.cEmployeeId; }
std::string clsLogin::LanguageRegion() const { return state_->identity.LanguageRegion; }

ObjectPtr clsLogin::ResSvr() { return resources::SharedResService().GetResSvr(); }
ObjectPtr clsLogin::ResFormat() { return resources::SharedResService().GetResFormat(); }
ObjectPtr clsLogin::ResLocalSvr() { return resources::SharedResService().GetResLocalSvr(); }
ObjectPtr clsLogin::ResLayoutSvr() { return resources::SharedResService().GetResLayoutSvr(); }

void clsLogin::ClearError() { resources::ClearLastError(); }

std::shared_ptr<clsErrorRes> clsLogin::GetLastErrorResID() {
  if (state_->identity.edition == Edition::kExtended && LogState() == resources::kLoginUiRefused) {
    return ForwardedRecord(state_->connections.RefusingLoginUI ? state_->connections.RefusingLoginUI.get()
                                                               : state_->connections.LoginUI.get());
  }
  return resources::LastErrorRecord();
}

void clsLogin::ShutDown() { core::RunReleaseSequence(*state_); }

}  // namespace tarn
