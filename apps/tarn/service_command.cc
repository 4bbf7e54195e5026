// tarn service: the management service daemon.
//
//   tarn service [--connect-file FILE | --connect "<connection string>"] [--key-file FILE]
//                [--listen ADDR:PORT] [--lease-seconds N] [--max-clients N]
//                [--seats SUB=N ...] [--idle-timeout S]
//
// The system database and the service key default to SystemDatabase and
// ServiceKeyFile of the registry file, so that no password need show in
// the process list.
#include <charconv>
#include <cstdio>
#include <string>

#include "commands.h"
#include "suite/mgmt/daemon.h"
#include "secrets.h"
#include "suite/key_file.h"
#include "suite/service_config.h"
#include "suite/settings.h"

namespace tarn::app {
namespace {

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "tarn service: %s\n", problem.c_str());
  std::fputs(
      "usage: tarn service [--connect-file FILE | --connect \"<connection string>\"] [--key-file FILE]\n"
      "                    [--listen ADDR:PORT] [--lease-seconds N] [--max-clients N]\n"
      "                    [--seats SUB=N ...] [--idle-timeout S]\n"
      "The system database and the service key come from the registry file (SystemDatabase,\n"
      "ServiceKeyFile) unless given. Listens on 127.0.0.1:9801 unless told otherwise; port 0\n"
      "takes a free one. Stops on SIGTERM or SIGINT.\n",
      stderr);
  return 2;
}

bool Number(const std::string& text, long long low, long long high, long long* out) {
  long long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || v < low || v > high) return false;
  *out = v;
  return true;
}

bool IsLoopback(const std::string& host) { return host == "127.0.0.1" || host.rfind("127.", 0) == 0 || host == "::1"; }

}  // namespace

int RunService(const Args& args) {
  suite::DaemonOptions o;
  std::string key_file;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    long long n = 0;
    if (a == "--listen" && has_value) {
      std::string host;
      uint16_t port = 0;
      // Port 0 is allowed here (a free port); SplitHostPort wants 1..65535.
      const std::string text = args[++i];
      const size_t colon = text.rfind(':');
      if (colon != std::string::npos && text.substr(colon + 1) == "0") {
        if (!suite::SplitHostPort(text.substr(0, colon), 1, &host, &port)) return Usage("bad --listen " + text);
        port = 0;
      } else if (!suite::SplitHostPort(text, suite::kDefaultServicePort, &host, &port)) {
        return Usage("bad --listen " + text);
      }
      o.listen_host = host;
      o.port = port;
    } else if (a == "--connect" && has_value) {
      o.connect = args[++i];
    } else if (a == "--connect-file" && has_value) {
      if (!ReadSecretFile(args[++i], &o.connect)) return Usage("cannot read the connection string in " + args[i]);
    } else if (a == "--key-file" && has_value) {
      key_file = args[++i];
    } else if (a == "--lease-seconds" && has_value) {
      if (!Number(args[++i], 1, 7LL * 86400, &n)) return Usage("--lease-seconds takes 1 to 604800");
      o.lease_seconds = n;
    } else if (a == "--max-clients" && has_value) {
      if (!Number(args[++i], 1, 100000, &n)) return Usage("--max-clients takes 1 to 100000");
      o.max_clients = static_cast<size_t>(n);
    } else if (a == "--idle-timeout" && has_value) {
      if (!Number(args[++i], 1, 86400, &n)) return Usage("--idle-timeout takes 1 to 86400 seconds");
      o.idle_timeout_seconds = n;
    } else if (a == "--seats" && has_value) {
      std::string error;
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        if (!suite::ParseSeatLimits(args[++i], &o.seats, &error)) return Usage(error);
      }
    } else {
      return Usage("unknown or incomplete option " + a);
    }
  }
  if (o.connect.empty()) o.connect = suite::Setting("SystemDatabase");
  if (o.connect.empty()) {
    return Usage("no system database: name it in the registry file (tarn db init) or with --connect-file");
  }
  if (key_file.empty()) key_file = suite::Setting("ServiceKeyFile");
  if (key_file.empty()) return Usage("no service key: name it in the registry file (tarn db init) or with --key-file");
  if (Status s = suite::LoadKeyFile(key_file, &o.service_key); !s.ok()) return Usage(s.message());
  if (!IsLoopback(o.listen_host)) {
    std::fprintf(stderr, "tarn service: warning: listening on %s, reachable from other machines\n",
                 o.listen_host.c_str());
  }
  return suite::RunServiceDaemon(o, stdout, stderr);
}

}  // namespace tarn::app
