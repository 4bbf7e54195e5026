// Creation, properties, the error-state members and the release sequence of
// the login object. The other operations live with their concern.
#include "tarn/login.h"

#include "core/config.h"
#include "core/login_state.h"
#include "core/thread_state.h"
#include "platform/env.h"
#include "resources/error_state.h"
#include "resources/res_service.h"

namespace tarn {

clsLogin::clsLogin(Edition edition) : state_(std::make_unique<core::LoginState>(edition)) {
  core::Thread();  // the start-up routine runs before the first object is used
  core::LoginState& s = *state_;
  s.CurDate = Env::Current().Now();
  s.cSerial = core::WorkstationSerial(edition);
  s.cServerSerial = s.cSerial;
  s.cDbServerSerial = s.cSerial;
}

clsLogin::~clsLogin() { ReleaseSequence(); }

Edition clsLogin::edition() const { return state_->edition; }

void clsLogin::set_cWebClient(const std::string& vData) { state_->cWebClient = vData; }
Variant clsLogin::cServer() const { return Variant(state_->cServer); }
void clsLogin::set_cServer(const Variant& value) {
  if (value.IsString() && value.ToString().empty()) return;
  state_->cServer = value.ToString();
}
int32_t clsLogin::LanguageID() const { return 0; }
std::string clsLogin::cUserPassWord() const { return state_->cUserPassWord; }
int32_t clsLogin::LogState() const { return core::Thread().log_state; }
std::string clsLogin::ShareString() const { return core::Thread().share_string; }
std::string clsLogin::SysPassword() const { return state_->SysPassword; }
std::string clsLogin::cSubName() const { return state_->cSubName; }
std::string clsLogin::cAcc_Id() const { return state_->cAcc_Id; }
void clsLogin::set_cAcc_Id(std::string& pCaccId) { state_->cAcc_Id = pCaccId; }
std::string clsLogin::cAccName() const { return state_->cAccName; }
Date clsLogin::CurDate() const { return state_->CurDate; }
std::string clsLogin::cIYear() const { return state_->cIYear; }
int16_t clsLogin::iMonth() const { return state_->iMonth; }
std::string clsLogin::cUserId() const { return state_->cUserId; }
std::string clsLogin::cUserName() const { return state_->cUserName; }
std::string clsLogin::ValeDbName() const { return state_->ValeDbName; }
std::string clsLogin::ValeDbPath() const { return state_->ValeDbPath; }
std::string clsLogin::ValeZtPath() const { return state_->ValeZtPath; }
bool clsLogin::IsAdmin() const { return state_->IsAdmin; }
std::string clsLogin::TaskId() const { return state_->TaskId; }
std::string clsLogin::GetIstallPath() const { return core::GetIstallPath(state_->edition); }
Variant clsLogin::cSerial() const { return Variant(state_->cSerial); }
void clsLogin::set_cSerial(const Variant& value) {
  if (value.IsNull()) return;
  state_->cSerial = value.ToString();
}
std::string clsLogin::AuthString() const { return state_->AuthString; }
void clsLogin::set_AuthString(const std::string& vNewValue) { state_->AuthString = vNewValue; }
Variant clsLogin::cServerSerial() const { return Variant(state_->cServerSerial); }
Variant clsLogin::cDbServerSerial() const { return Variant(state_->cDbServerSerial); }
bool clsLogin::IsGroupVer() const { return state_->IsGroupVer; }
std::string clsLogin::cSub_Id() const { return state_->cSub_Id; }
void clsLogin::set_TaskId(std::string& pTaskId) { state_->TaskId = pTaskId; }
std::string clsLogin::DataSource() const { return state_->DataSource; }
std::string clsLogin::cEmployeeId() const { return state_->cEmployeeId; }
std::string clsLogin::LanguageRegion() const { return state_->LanguageRegion; }

ObjectPtr clsLogin::ResSvr() { return resources::SharedResService().GetResSvr(); }
ObjectPtr clsLogin::ResFormat() { return resources::SharedResService().GetResFormat(); }
ObjectPtr clsLogin::ResLocalSvr() { return resources::SharedResService().GetResLocalSvr(); }
ObjectPtr clsLogin::ResLayoutSvr() { return resources::SharedResService().GetResLayoutSvr(); }

void clsLogin::ClearError() { resources::ClearLastError(); }

std::shared_ptr<clsErrorRes> clsLogin::GetLastErrorResID() {
  core::ThreadState& t = core::Thread();
  if (t.log_state == 0) return nullptr;
  if (!t.error_record) t.error_record = std::make_shared<clsErrorRes>();
  t.error_record->set_ResId(t.last_res_id);
  t.error_record->set_ResArg(t.last_res_arg);
  return t.error_record;
}

void clsLogin::ShutDown() { ReleaseSequence(); }

// Every step ignores errors and the sequence always runs to its end: a
// module that is going away must not be stopped by a broken connection.
void clsLogin::ReleaseSequence() {
  core::LoginState& s = *state_;
  const bool extended = s.edition == Edition::kExtended;
  if (s.SystemConnection) {
    try {
      if (s.SystemConnection->State() != db::ObjectState::kClosed) {
        s.SystemConnection->Execute(
            db::Statement(extended ? "DELETE FROM ValeSystem..UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id=N'reg'"
                                   : "DELETE FROM ValeSystem..UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id='reg'")
                .Bind(s.TaskId));
        s.SystemConnection->Execute(
            db::Statement(extended
                              ? "UPDATE UA_log with(rowlock) SET Success=1,dOutTime= GETDATE() WHERE iLogId=? AND cAuth_Id=N'reg'"
                              : "UPDATE UA_log with(rowlock) SET Success=1,dOutTime= GETDATE() WHERE iLogId=? AND cAuth_Id='reg'")
                .BindNumber(s.TaskId));
        s.SystemConnection->Close();
      }
    } catch (...) {
    }
    s.SystemConnection.reset();
  }
  if (s.DatabaseKit) {
    try {
      s.DatabaseKit->oClose();
    } catch (...) {
    }
    s.DatabaseKit.reset();
  }
  if (s.HeartbeatTimer) {
    try {
      s.HeartbeatTimer->Unload();
    } catch (...) {
    }
    s.HeartbeatTimer.reset();
  }
  if (!s.TokenBuilt && s.LoginUI) {
    try {
      s.LoginUI->SubLogout(s.cSub_Id);
    } catch (...) {
    }
    try {
      s.LoginUI->ShutDown();
    } catch (...) {
    }
  }
  core::ThreadState& t = core::Thread();
  t.res_service.reset();
  t.error_record.reset();
}

}  // namespace tarn
