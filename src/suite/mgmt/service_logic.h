// The management service's answers, shared by the daemon (`tarn service`)
// and the embedded service: admission and heartbeats of tasks per client
// identity, seat limits per subsystem, leases, and the notifications.
//
// Replies: "pass" for a known task (or one adopted from rows a lost
// service left, claimed by the first identity that confirms it); "relogin" for a task admitted now
// (never admitted, or dropped by its lease), so that the client writes its
// login task again; "refused: ..." when a seat limit is reached or the task
// belongs to another client; "relogin: unknown task" for a heartbeat of a
// task it does not know (not "pass": the heartbeat reports the loss).
// No reply but "pass"/"relogin" repeats anything the client sent.
#ifndef TARN_SUITE_MGMT_SERVICE_LOGIC_H_
#define TARN_SUITE_MGMT_SERVICE_LOGIC_H_

#include <cstdint>
#include <functional>
#include <string>

#include "boundary/service_protocol.h"
#include "suite/mgmt/task_store.h"
#include "suite/service_config.h"
#include "tarn/status.h"

namespace tarn::suite {

using boundary::ServiceRequest;

using ServiceLog = std::function<void(const std::string&)>;

struct ServiceOptions {
  SeatLimits seats;           // by upper-cased subsystem; absent: no limit
  std::string host_identity;  // what HostInfo answers
  // The installation's service key: every request must carry its MAC.
  // Empty: requests are not checked (the embedded service without a key).
  std::string service_key;
};

struct ServiceReply {
  std::string text;
  bool plain = false;  // travels unlocked (HostInfo)
};

class ServiceLogic {
 public:
  ServiceLogic(ServiceOptions options, TaskStore& store, ServiceLog log);

  // Fails only when the store does. No answer depends on a clock: leases
  // are the sweeper's (suite/mgmt/lease_sweeper.h).
  Status Handle(const ServiceRequest& request, ServiceReply* reply);

  const ServiceOptions& options() const { return options_; }

  // Says in the log that a request without a valid MAC was refused.
  void LogForgery() const;

 private:
  Status Connect(const ServiceRequest& r, ServiceReply* reply);

  ServiceOptions options_;
  TaskStore& store_;
  ServiceLog log_;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_SERVICE_LOGIC_H_
