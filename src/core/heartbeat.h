// The heartbeat as the login object owns it: the sign-on initialises and
// loads its form (service::StartHeartbeat), the release unloads it. It
// reads the identity through the settings the sign-on hands it.
#ifndef TARN_CORE_HEARTBEAT_H_
#define TARN_CORE_HEARTBEAT_H_

#include <memory>
#include <string>

#include "db/connection.h"

namespace tarn::core {

// What the sign-on hands the heartbeat form (service/frm_timer.h).
struct HeartbeatSettings {
  db::ConnectionPtr conSystem;  // kept, not used by the heartbeat
  std::string cSerial;
  std::string cServer;  // where the heartbeats go
  std::string cSubId;
  std::string cTaskId;
  bool bIsCompanyVer = false;
  std::string cWebClient;  // kept, not used by the heartbeat
};

class HeartbeatForm {
 public:
  virtual ~HeartbeatForm() = default;
  // Stores the values; starts nothing.
  virtual void Init(HeartbeatSettings settings) = 0;
  // Starts the timer on this thread: the first beat comes one interval on.
  virtual void Load() = 0;
  // Stops the timer.
  virtual void Unload() = 0;
};

struct Heartbeat {
  std::shared_ptr<HeartbeatForm> HeartbeatTimer;
};

}  // namespace tarn::core

#endif  // TARN_CORE_HEARTBEAT_H_
