#include "suite/mgmt/embedded_service.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/env.h"
#include "suite/mgmt/lease_sweeper.h"
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

// One connection per thread, as the component's objects are per thread,
// and with it the sweeper that watches the leases from this thread.
struct ThreadConnection {
  std::string connection_string;
  db::ConnectionPtr conn;
  std::unique_ptr<TaskStore> store;
  std::unique_ptr<LeaseSweeper> sweeper;
  std::optional<int64_t> last_sweep_ms;
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
  auto sweeper = std::make_unique<LeaseSweeper>(*store, conn.get(), Log);
  current = ThreadConnection{connection_string, std::move(conn), std::move(store), std::move(sweeper), std::nullopt};
  return s;
}

// Every call may sweep, but a look at every task costs a read of both
// tables: a few looks per lease are enough, as the daemon makes them.
bool SweepDue(int64_t now_ms, int64_t lease_ms) {
  const int64_t period = std::clamp<int64_t>(lease_ms / 4, 100, 5000);
  if (current.last_sweep_ms && now_ms - *current.last_sweep_ms < period) return false;
  current.last_sweep_ms = now_ms;
  return true;
}

}  // namespace

Status EmbeddedExchange(const ServiceConfig& config, std::string_view frame_line, std::string* reply_line) {
  if (config.system_database.empty()) {
    return Status::Unavailable("no management service: neither ServiceAddress nor SystemDatabase is configured");
  }
  if (!config.config_error.empty()) return Status::InvalidArgument(config.config_error);
  Status s = Open(config.system_database);
  if (!s.ok()) return s;
  ServiceOptions options;
  options.seats = config.seats;
  options.host_identity = Env::Current().ComputerName();
  options.service_key = config.service_key;
  ServiceLogic logic(options, *current.store, Log);
  // The caller's own request first: a beat that comes late still counts
  // before the leases are looked at.
  *reply_line = ServeLine(logic, frame_line);
  const int64_t lease_ms = config.lease_seconds * 1000;
  const int64_t now = Env::Current().MonotonicMillis();
  if (SweepDue(now, lease_ms)) current.sweeper->Sweep(now, lease_ms);
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
