// The management service inside the calling process, for a machine that
// runs no `tarn service`: the same logic, with its table in the system
// database (SystemDatabase in the registry), so that the processes of one
// machine agree without a daemon. Each thread's connection sweeps the
// leases a few times per lease, on the Env's monotonic clock: a station's
// wall clock, however far off or however it jumps, ends no other's task.
#ifndef TARN_SUITE_MGMT_EMBEDDED_SERVICE_H_
#define TARN_SUITE_MGMT_EMBEDDED_SERVICE_H_

#include <string>
#include <string_view>

#include "suite/mgmt/service_logic.h"
#include "tarn/status.h"

namespace tarn::suite {

// Serves one request frame under the settings the caller read; fails when no
// system database is configured or it cannot be used.
Status EmbeddedExchange(const ServiceConfig& config, std::string_view frame_line, std::string* reply_line);

// Where the embedded service writes what it released (default: nowhere, or
// standard error with TARN_SERVICE_LOG=stderr). Null restores the default.
void SetEmbeddedServiceLog(ServiceLog log);

// Closes this thread's connection to the system database.
void ResetEmbeddedServiceForThread();

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_EMBEDDED_SERVICE_H_
