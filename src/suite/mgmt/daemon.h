// The management service daemon behind `tarn service`: one thread, asio,
// answers every request from memory; a second thread writes the tasks into
// the system database behind it, takes in what others changed there and
// sweeps the leases on the monotonic clock, so that a restart forgets no
// task and a busy or lost database never holds up an answer. Every request
// must carry the MAC of the installation's service key, bound to its
// connection's nonce and order.
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
  std::string connect;                  // system database connection string
  std::string service_key;              // the key's bytes (suite/key_file.h)
  int64_t lease_seconds = kDefaultLeaseSeconds;
  int64_t heartbeat_seconds = 60;
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
