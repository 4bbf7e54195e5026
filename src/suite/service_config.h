// How the management service is reached and run, from the settings of
// our stand-in components (suite/settings.h): ServiceAddress, ServicePort,
// SystemDatabase, LeaseSeconds, RpcTimeoutSeconds, and Seats, the embedded
// service's seat limits ("GL=5,AP=2"). Read afresh on each call, as
// registry values are.
#ifndef TARN_SUITE_SERVICE_CONFIG_H_
#define TARN_SUITE_SERVICE_CONFIG_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarn::suite {

inline constexpr uint16_t kDefaultServicePort = 9801;
inline constexpr int64_t kDefaultLeaseSeconds = 180;
inline constexpr int kDefaultRpcTimeoutSeconds = 5;

// Seat limits by upper-cased service subsystem code.
using SeatLimits = std::map<std::string, int>;

struct ServiceConfig {
  std::string service_address;
  uint16_t service_port = kDefaultServicePort;
  std::string system_database;
  int64_t lease_seconds = kDefaultLeaseSeconds;
  int rpc_timeout_seconds = kDefaultRpcTimeoutSeconds;
  SeatLimits seats;
  // The bytes of the key named by ServiceKeyFile; empty without one.
  std::string service_key;
};

// Unreadable numbers keep their defaults; the timeout is kept within 1..60
// seconds so that no call can hang its thread for long.
ServiceConfig ReadServiceConfig();

// "SUB=N" items separated by commas or blanks; N from 0 (closed) upwards.
// false with `error` set when an item is not of that form.
bool ParseSeatLimits(std::string_view text, SeatLimits* out, std::string* error);

// "host", "host:port", "[v6]" or "[v6]:port"; the port stays
// `default_port` when none is given. false when the port is no number in
// 1..65535 or the host is empty.
bool SplitHostPort(std::string_view text, uint16_t default_port, std::string* host, uint16_t* port);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SERVICE_CONFIG_H_
