#include "service/frm_timer.h"

#include <exception>

#include "platform/timer_queue.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "boundary/service_protocol.h"
#include "service/service_calls.h"

namespace tarn::service {

frmTimer::~frmTimer() { Unload(); }

void frmTimer::Init(db::ConnectionPtr conSystem, std::string cSerial, std::string cServer, std::string cSubId,
                    std::string cTaskId, bool bIsCompanyVer, std::string cWebClient) {
  conSystem_ = std::move(conSystem);
  Init(std::move(cSerial), std::move(cServer), std::move(cSubId), std::move(cTaskId), bIsCompanyVer,
       std::move(cWebClient));
}

void frmTimer::Init(std::string cSerial, std::string cServer, std::string cSubId, std::string cTaskId,
                    bool bIsCompanyVer, std::string cWebClient) {
  cSerial_ = std::move(cSerial);
  cServer_ = std::move(cServer);
  cSubId_ = std::move(cSubId);
  cTaskId_ = std::move(cTaskId);
  bIsCompanyVer_ = bIsCompanyVer;
  cWebClient_ = std::move(cWebClient);
}

void frmTimer::Init(core::HeartbeatSettings h) {
  conSystem_ = std::move(h.conSystem);
  Init(std::move(h.cSerial), std::move(h.cServer), std::move(h.cSubId), std::move(h.cTaskId), h.bIsCompanyVer,
       std::move(h.cWebClient));
}

void frmTimer::Load() {
  Unload();
  queue_ = &TimerQueue::ForThread();
  timer_id_ = queue_->Add(kHeartbeatMillis, [this] { Tick(); });
}

void frmTimer::Unload() {
  if (queue_ && timer_id_) queue_->Remove(timer_id_);
  queue_ = nullptr;
  timer_id_ = 0;
}

void frmTimer::Tick() {
  const std::string code = boundary::MapSubIdForEdition(cSubId_, bIsCompanyVer_);
  // No retry and no stop: the next minute tries again, and a success does
  // not clear the error; the caller does.
  if (SvcConnect(cServer_, cSerial_, code, cTaskId_)) return;
  try {
    resources::RecordError(resources::kServiceLost, resources::res::kErrorConnectApp);
  } catch (const std::exception&) {
    // Without the message package the code alone is recorded: a timer
    // callback must not throw into the host's message loop.
    resources::SetLogState(resources::kServiceLost);
  }
}

std::shared_ptr<frmTimer> NewHeartbeat() { return std::make_shared<frmTimer>(); }

void StartHeartbeat(const core::Identity& id, const core::Connections& c, core::Heartbeat& heartbeat,
                    const std::string& web_client) {
  if (heartbeat.HeartbeatTimer) {
    heartbeat.HeartbeatTimer->Unload();
  } else {
    heartbeat.HeartbeatTimer = NewHeartbeat();
  }
  // The extended edition's form takes no system connection.
  db::ConnectionPtr connection = id.edition == Edition::kFull ? c.SystemConnection : nullptr;
  heartbeat.HeartbeatTimer->Init(
      {std::move(connection), id.cSerial, id.RightServer, id.cSub_Id, id.TaskId, id.IsGroupVer, web_client});
  heartbeat.HeartbeatTimer->Load();
}

}  // namespace tarn::service
