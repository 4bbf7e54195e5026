// How the management service is reached and run, from the settings of
// our stand-in components (suite/settings.h): ServiceAddress, ServicePort,
// SystemDatabase, LeaseSeconds, HeartbeatSeconds, RpcTimeoutSeconds,
// ServiceKeyFile, and Seats, the embedded service's seat limits
// ("GL=5,AP=2"). Read afresh on each call, as registry values are.
#ifndef TARN_SUITE_SERVICE_CONFIG_H_
#define TARN_SUITE_SERVICE_CONFIG_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarn::suite {

inline constexpr uint16_t kDefaultServicePort = 9801;
inline constexpr int64_t kDefaultLeaseSeconds = 180;
// How often a login object confirms its task.
inline constexpr int64_t kDefaultHeartbeatSeconds = 60;
inline constexpr int kDefaultRpcTimeoutSeconds = 5;

// Seat limits by upper-cased service subsystem code.
using SeatLimits = std::map<std::string, int>;

struct ServiceConfig {
  std::string service_address;
  uint16_t service_port = kDefaultServicePort;
  std::string system_database;
  int64_t lease_seconds = kDefaultLeaseSeconds;
  // The interval at which the service expects a station to confirm its
  // task; the lease must cover two of them.
  int64_t heartbeat_seconds = kDefaultHeartbeatSeconds;
  int rpc_timeout_seconds = kDefaultRpcTimeoutSeconds;
  SeatLimits seats;
  // The bytes of the key named by ServiceKeyFile; empty without one.
  std::string service_key;
  // Why the key named by ServiceKeyFile was refused (LoadKeyFile's
  // message); empty when none is named or it loaded. A caller must not
  // fall back to unsigned requests when this is set.
  std::string key_error;
  // Why these settings cannot be served as they are: a LeaseSeconds
  // shorter than twice HeartbeatSeconds, or a HeartbeatSeconds below 1.
  // Empty when they can.
  std::string config_error;
};

// Unreadable numbers keep their defaults; the timeout is kept within 1..60
// seconds so that no call can hang its thread for long.
ServiceConfig ReadServiceConfig();

// The reason a lease cannot be served with stations that beat every
// `heartbeat_seconds`: one shorter than two beats releases a live
// station's locks between them. Empty when it can. `lease_name` and
// `heartbeat_name` name the settings in the text.
std::string LeaseProblem(int64_t lease_seconds, int64_t heartbeat_seconds, std::string_view lease_name,
                         std::string_view heartbeat_name);

// "SUB=N" items separated by commas or blanks; N from 0 (closed) upwards.
// false with `error` set when an item is not of that form.
bool ParseSeatLimits(std::string_view text, SeatLimits* out, std::string* error);

// "host", "host:port", "[v6]" or "[v6]:port"; the port stays
// `default_port` when none is given. false when the port is no number in
// 1..65535 or the host is empty.
bool SplitHostPort(std::string_view text, uint16_t default_port, std::string* host, uint16_t* port);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SERVICE_CONFIG_H_
