// The management service daemon behind `tarn service`: one thread, asio,
// the shared service logic over an in-memory table (a restart forgets
// every task; clients are admitted again with "relogin"), leases checked
// on a timer against the system database.
#ifndef TARN_SUITE_MGMT_DAEMON_H_
#define TARN_SUITE_MGMT_DAEMON_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "suite/service_config.h"

namespace tarn::suite {

struct DaemonOptions {
  std::string listen_host = "127.0.0.1";
  uint16_t port = kDefaultServicePort;  // 0: any free port
  std::string connect;                         // system database connection string
  int64_t lease_seconds = kDefaultLeaseSeconds;
  size_t max_clients = 256;
  SeatLimits seats;
  int64_t idle_timeout_seconds = 30;
};

// Serves until SIGTERM or SIGINT. Writes "listening on HOST:PORT" to
// `out` once it accepts connections, and its log to `log`. Returns the
// process exit code.
int RunServiceDaemon(const DaemonOptions& options, std::FILE* out, std::FILE* log);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_DAEMON_H_
