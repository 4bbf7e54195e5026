#include "platform/text.h"
#include "suite/service_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "suite/key_file.h"
#include "suite/settings.h"

namespace tarn::suite {
namespace {

std::optional<long long> Number(std::string_view text) {
  text = TrimSpace(text);
  long long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

std::string Value(std::string_view name) { return std::string(TrimSpace(Setting(name))); }

}  // namespace

ServiceConfig ReadServiceConfig() {
  ServiceConfig c;
  c.service_address = Value("ServiceAddress");
  c.system_database = Value("SystemDatabase");
  if (auto port = Number(Value("ServicePort")); port && *port > 0 && *port <= 65535) {
    c.service_port = static_cast<uint16_t>(*port);
  }
  if (auto lease = Number(Value("LeaseSeconds")); lease && *lease > 0) c.lease_seconds = *lease;
  if (const std::string beat = Value("HeartbeatSeconds"); !beat.empty()) {
    const std::optional<long long> n = Number(beat);
    if (n && *n >= 1) {
      c.heartbeat_seconds = *n;
    } else {
      c.config_error = "HeartbeatSeconds " + beat + " is not a number of seconds of at least 1";
    }
  }
  if (c.config_error.empty()) {
    c.config_error = LeaseProblem(c.lease_seconds, c.heartbeat_seconds, "LeaseSeconds", "HeartbeatSeconds");
  }
  if (auto t = Number(Value("RpcTimeoutSeconds")); t && *t > 0) {
    c.rpc_timeout_seconds = static_cast<int>(std::clamp<long long>(*t, 1, 60));
  }
  std::string ignored;
  if (!ParseSeatLimits(Value("Seats"), &c.seats, &ignored)) c.seats.clear();
  if (const std::string key_file = Value("ServiceKeyFile"); !key_file.empty()) {
    if (Status s = LoadKeyFile(key_file, &c.service_key); !s.ok()) {
      c.service_key.clear();
      c.key_error = "ServiceKeyFile: " + s.message();
    }
  }
  return c;
}

std::string LeaseProblem(int64_t lease_seconds, int64_t heartbeat_seconds, std::string_view lease_name,
                         std::string_view heartbeat_name) {
  if (heartbeat_seconds < 1 || lease_seconds / 2 >= heartbeat_seconds) return "";  // halved: no overflow
  return std::string(lease_name) + " " + std::to_string(lease_seconds) + " is shorter than twice " +
         std::string(heartbeat_name) + " (2 x " + std::to_string(heartbeat_seconds) +
         " s): a live station would lose its locks between beats";
}

bool ParseSeatLimits(std::string_view text, SeatLimits* out, std::string* error) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t end = text.find_first_of(", \t", i);
    const std::string_view item = text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
    i = end == std::string_view::npos ? text.size() : end + 1;
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    std::optional<long long> n = eq == std::string_view::npos ? std::nullopt : Number(item.substr(eq + 1));
    const std::string_view sub = eq == std::string_view::npos ? item : TrimSpace(item.substr(0, eq));
    if (!n || *n < 0 || *n > 1'000'000 || sub.empty()) {
      *error = "seat limit '" + std::string(item) + "' is not SUB=N";
      return false;
    }
    (*out)[AsciiUpper(sub)] = static_cast<int>(*n);
  }
  return true;
}

bool SplitHostPort(std::string_view text, uint16_t default_port, std::string* host, uint16_t* port) {
  text = TrimSpace(text);
  std::string_view h = text, p;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    h = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      p = rest.substr(1);
      if (p.empty()) return false;
    }
  } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    if (text.find(':') != colon) {
      h = text;  // a bare IPv6 address
    } else {
      h = text.substr(0, colon);
      p = text.substr(colon + 1);
      if (p.empty()) return false;
    }
  }
  if (h.empty()) return false;
  *port = default_port;
  if (!p.empty()) {
    std::optional<long long> n = Number(p);
    if (!n || *n < 1 || *n > 65535) return false;
    *port = static_cast<uint16_t>(*n);
  }
  *host = std::string(h);
  return true;
}

}  // namespace tarn::suite
