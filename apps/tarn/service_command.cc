// tarn service: the management service daemon.
//
//   tarn service [--connect-file FILE | --connect "<connection string>"] [--key-file FILE]
//                [--listen ADDR:PORT] [--lease-seconds N] [--heartbeat-seconds N]
//                [--max-clients N] [--seats SUB=N ...] [--idle-timeout S]
//
// The system database and the service key default to SystemDatabase and
// ServiceKeyFile of the registry file, so that no password need show in
// the process list.
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

int Problem(const std::string& problem) {
  std::fprintf(stderr, "tarn service: %s\n", problem.c_str());
  return 2;
}

bool IsLoopback(const std::string& host) { return host == "127.0.0.1" || host.rfind("127.", 0) == 0 || host == "::1"; }

}  // namespace

namespace {

struct ServiceOptions {
  suite::DaemonOptions daemon;
  std::string listen, connect_file, key_file;
  std::vector<std::string> seats;
};

int RunService(ServiceOptions options) {
  suite::DaemonOptions& o = options.daemon;
  std::string& key_file = options.key_file;
  if (const std::string problem =
          suite::LeaseProblem(o.lease_seconds, o.heartbeat_seconds, "--lease-seconds", "the heartbeat");
      !problem.empty()) {
    return Problem(problem);
  }
  if (!options.listen.empty()) {
    std::string host;
    uint16_t port = 0;
    // Port 0 is allowed here (a free port); SplitHostPort wants 1..65535.
    const std::string& text = options.listen;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos && text.substr(colon + 1) == "0") {
      if (!suite::SplitHostPort(text.substr(0, colon), 1, &host, &port)) return Problem("bad --listen " + text);
      port = 0;
    } else if (!suite::SplitHostPort(text, suite::kDefaultServicePort, &host, &port)) {
      return Problem("bad --listen " + text);
    }
    o.listen_host = host;
    o.port = port;
  }
  if (!options.connect_file.empty() && !ReadSecretFile(options.connect_file, &o.connect)) {
    return Problem("cannot read the connection string in " + options.connect_file);
  }
  for (const std::string& seats : options.seats) {
    std::string error;
    if (!suite::ParseSeatLimits(seats, &o.seats, &error)) return Problem(error);
  }
  if (o.connect.empty()) o.connect = suite::Setting("SystemDatabase");
  if (o.connect.empty()) {
    return Problem("no system database: name it in the registry file (tarn db init) or with --connect-file");
  }
  if (key_file.empty()) key_file = suite::Setting("ServiceKeyFile");
  if (key_file.empty())
    return Problem("no service key: name it in the registry file (tarn db init) or with --key-file");
  if (Status s = suite::LoadKeyFile(key_file, &o.service_key); !s.ok()) return Problem(s.message());
  if (!IsLoopback(o.listen_host)) {
    std::fprintf(stderr, "tarn service: warning: listening on %s, reachable from other machines\n",
                 o.listen_host.c_str());
  }
  return suite::RunServiceDaemon(o, stdout, stderr);
}

}  // namespace

void AddServiceCommand(CLI::App& app, int* code) {
  static ServiceOptions o;
  static int64_t lease = o.daemon.lease_seconds, heartbeat = o.daemon.heartbeat_seconds,
                 idle = o.daemon.idle_timeout_seconds;
  static size_t clients = o.daemon.max_clients;
  CLI::App* cmd = app.add_subcommand("service", "the management service daemon");
  cmd->footer(
      "The system database and the service key come from the registry file (SystemDatabase,\n"
      "ServiceKeyFile) unless given. Listens on 127.0.0.1:9801 unless told otherwise; port 0\n"
      "takes a free one. Stops on SIGTERM or SIGINT.");
  cmd->add_option("--listen", o.listen, "ADDR:PORT to listen on");
  auto* file = cmd->add_option("--connect-file", o.connect_file, "a file holding the system database's connection");
  cmd->add_option("--connect", o.daemon.connect, "the system database's connection string")->excludes(file);
  cmd->add_option("--key-file", o.key_file, "the key that signs every request");
  cmd->add_option("--lease-seconds", lease, "how long a task no heartbeat confirms is kept")
      ->check(CLI::Range(int64_t{1}, int64_t{7 * 86400}));
  cmd->add_option("--heartbeat-seconds", heartbeat, "how often stations confirm their tasks (the lease covers two)")
      ->check(CLI::Range(int64_t{1}, int64_t{86400}));
  cmd->add_option("--max-clients", clients, "connections served at once")->check(CLI::Range(1, 100000));
  cmd->add_option("--idle-timeout", idle, "seconds a client may stay silent")->check(CLI::Range(1, 86400));
  cmd->add_option("--seats", o.seats, "seat limits, SUB=N (several may follow)");
  cmd->callback([code] {
    o.daemon.lease_seconds = lease;
    o.daemon.heartbeat_seconds = heartbeat;
    o.daemon.idle_timeout_seconds = idle;
    o.daemon.max_clients = clients;
    *code = RunService(o);
  });
}

}  // namespace tarn::app
