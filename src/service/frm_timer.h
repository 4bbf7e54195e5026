// The log-status heartbeat: a timer on the login object's thread that
// confirms the login's task with the management service once a minute and
// records a lost service as error 102. It fires when the thread pumps its
// timer queue (TimerQueue::RunDue), never concurrently with the thread's
// own calls.
#ifndef TARN_SERVICE_FRM_TIMER_H_
#define TARN_SERVICE_FRM_TIMER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "core/connections.h"
#include "core/heartbeat.h"
#include "core/identity.h"
#include "db/connection.h"

namespace tarn {
class TimerQueue;
}

namespace tarn::service {

// The interval of the heartbeat.
inline constexpr int64_t kHeartbeatMillis = 60000;

class frmTimer final : public core::HeartbeatForm {
 public:
  frmTimer() = default;  // cServer and cSubId start empty
  ~frmTimer() override;
  frmTimer(const frmTimer&) = delete;
  frmTimer& operator=(const frmTimer&) = delete;

  // Stores the values; starts nothing. `conSystem` and `cWebClient` are
  // kept, not used by the heartbeat.
  void Init(db::ConnectionPtr conSystem, std::string cSerial, std::string cServer, std::string cSubId,
            std::string cTaskId, bool bIsCompanyVer, std::string cWebClient = "");
  // The extended build's form: no system connection.
  void Init(std::string cSerial, std::string cServer, std::string cSubId, std::string cTaskId, bool bIsCompanyVer,
            std::string cWebClient = "");

  // Both forms in one: the settings' connection is null for the extended
  // edition's form.
  void Init(core::HeartbeatSettings settings) override;

  // Starts the timer on this thread's queue (again, if it ran): the first
  // heartbeat comes one interval later.
  void Load() override;
  // Stops the timer.
  void Unload() override;
  // One heartbeat (what the timer runs).
  void Tick();

  bool loaded() const { return timer_id_ != 0; }
  const std::string& cServer() const { return cServer_; }
  const std::string& cSerial() const { return cSerial_; }
  const std::string& cSubId() const { return cSubId_; }
  const std::string& cTaskId() const { return cTaskId_; }
  bool bIsCompanyVer() const { return bIsCompanyVer_; }
  const std::string& cWebClient() const { return cWebClient_; }
  const db::ConnectionPtr& conSystem() const { return conSystem_; }

 private:
  std::string cServer_;
  std::string cSubId_;
  std::string cTaskId_;
  db::ConnectionPtr conSystem_;
  std::string cWebClient_;
  std::string cSerial_;
  bool bIsCompanyVer_ = false;

  TimerQueue* queue_ = nullptr;  // of the thread that loaded the form
  uint64_t timer_id_ = 0;
};

// What the sign-on creates when the login object holds no timer yet.
std::shared_ptr<frmTimer> NewHeartbeat();

// The end of a sign-on: unloads the object's timer form, or creates one
// when it has none, initialises it from the object (RightServer as the
// host; `web_client` as the web-client text) and loads it.
void StartHeartbeat(const core::Identity& id, const core::Connections& c, core::Heartbeat& heartbeat,
                    const std::string& web_client);

}  // namespace tarn::service

#endif  // TARN_SERVICE_FRM_TIMER_H_
