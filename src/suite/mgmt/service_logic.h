// The management service's answers, shared by the daemon (`tarn service`)
// and the embedded service: admission and heartbeats of tasks per client
// identity, seat limits per subsystem, leases, and the notifications.
//
// Replies: "pass" for a known task; "relogin" for a task admitted now
// (never admitted, dropped by its lease, forgotten by a restart), so that
// the client writes its login task again; "refused: ..." when a seat limit
// is reached; "unknown task" for a heartbeat of a task it does not know.
// No reply but "pass"/"relogin" repeats anything the client sent.
#ifndef TARN_SUITE_MGMT_SERVICE_LOGIC_H_
#define TARN_SUITE_MGMT_SERVICE_LOGIC_H_

#include <cstdint>
#include <functional>
#include <string>

#include "db/connection.h"
#include "boundary/service_protocol.h"
#include "suite/mgmt/task_store.h"
#include "suite/service_config.h"
#include "tarn/status.h"

namespace tarn::suite {

using ServiceLog = std::function<void(const std::string&)>;

struct ServiceOptions {
  int64_t lease_ms = kDefaultLeaseSeconds * 1000;
  SeatLimits seats;           // by upper-cased subsystem; absent: no limit
  std::string host_identity;  // what HostInfo answers
};

struct ServiceReply {
  std::string text;
  bool plain = false;  // travels unlocked (HostInfo)
};

class ServiceLogic {
 public:
  // `system_db` (may be null) is where expired tasks' rows are released.
  ServiceLogic(ServiceOptions options, TaskStore& store, db::Connection* system_db, ServiceLog log);

  // Fails only when the store does.
  Status Handle(const ServiceRequest& request, int64_t now_ms, ServiceReply* reply);

  // Drops the tasks that no confirmation reached for the lease, releasing
  // their rows; returns how many were dropped.
  int Sweep(int64_t now_ms);

  const ServiceOptions& options() const { return options_; }

 private:
  Status Connect(const ServiceRequest& r, int64_t now_ms, ServiceReply* reply);
  void Release(const TaskEntry& e);

  ServiceOptions options_;
  TaskStore& store_;
  db::Connection* system_db_;
  ServiceLog log_;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_SERVICE_LOGIC_H_
