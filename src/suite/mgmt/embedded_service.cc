#include "suite/mgmt/embedded_service.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/env.h"
#include "suite/mgmt/serve_line.h"
#include "suite/service_config.h"

namespace tarn::suite {
namespace {

std::mutex log_mu;
ServiceLog& LogSink() {
  static ServiceLog sink;
  return sink;
}

void Log(const std::string& line) {
  ServiceLog sink;
  {
    std::lock_guard<std::mutex> lock(log_mu);
    sink = LogSink();
  }
  if (sink) {
    sink(line);
  } else if (Env::Current().GetEnvVar("TARN_SERVICE_LOG").value_or("") == "stderr") {
    // A library does not write into its host's standard error unasked.
    std::fprintf(stderr, "tarn embedded service: %s\n", line.c_str());
  }
}

// One connection per thread, as the component's objects are per thread.
struct ThreadConnection {
  std::string connection_string;
  db::ConnectionPtr conn;
  std::unique_ptr<TaskStore> store;
};
thread_local ThreadConnection current;

Status Open(const std::string& connection_string) {
  if (current.conn && current.connection_string == connection_string &&
      current.conn->State() == db::ObjectState::kOpen) {
    return Status::OK();
  }
  ResetEmbeddedServiceForThread();
  auto conn = db::Connection::Create();
  Status s = conn->Open(connection_string, "", "");
  if (s.ok() && conn->CurrentCatalog().empty()) s = conn->Execute(db::Statement("USE ValeSystem"));
  std::unique_ptr<TaskStore> store;
  if (s.ok()) s = NewSqlTaskStore(conn, &store);
  if (!s.ok()) {
    conn->Close();
    return s;
  }
  current = ThreadConnection{connection_string, std::move(conn), std::move(store)};
  return s;
}

int64_t WallMillis() { return std::llround(Env::Current().Now().serial * 86400000.0); }

}  // namespace

Status EmbeddedExchange(const ServiceConfig& config, std::string_view frame_line, std::string* reply_line) {
  if (config.system_database.empty()) {
    return Status::Unavailable("no management service: neither ServiceAddress nor SystemDatabase is configured");
  }
  Status s = Open(config.system_database);
  if (!s.ok()) return s;
  ServiceOptions options;
  options.lease_ms = config.lease_seconds * 1000;
  options.seats = config.seats;
  options.host_identity = Env::Current().ComputerName();
  options.service_key = config.service_key;
  ServiceLogic logic(options, *current.store, current.conn.get(), Log);
  const int64_t now = WallMillis();
  // The caller's own request first: a beat that comes late still counts
  // before the leases are checked.
  *reply_line = ServeLine(logic, frame_line, now);
  logic.Sweep(now);
  // A database failure may have left the connection unusable: start afresh.
  if (reply_line->rfind("-service error", 0) == 0) ResetEmbeddedServiceForThread();
  return Status::OK();
}

void SetEmbeddedServiceLog(ServiceLog log) {
  std::lock_guard<std::mutex> lock(log_mu);
  LogSink() = std::move(log);
}

void ResetEmbeddedServiceForThread() {
  if (current.conn) current.conn->Close();
  current = ThreadConnection();
}

}  // namespace tarn::suite
