// What the service does for a task whose lease ran out: its rows in the
// shared task table go, and its usage-log entries are closed as a release
// would close them, so that a crashed station holds no function for ever.
#ifndef TARN_SUITE_MGMT_TASK_ROWS_H_
#define TARN_SUITE_MGMT_TASK_ROWS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "db/connection.h"
#include "tarn/status.h"

namespace tarn::suite {

struct ReleasedTaskRows {
  std::string station;  // of the first row: one task id is one login
  std::string user;
  std::vector<std::string> functions;  // authorisation ids, "reg" for the login
  int64_t task_rows = 0;
  int64_t log_rows = 0;
};

// Deletes the UA_task rows of `task_id` and closes their UA_log entries
// (Success=1, out time now), and the login's own entry whose log id is the
// task id, in one transaction.
Status ReleaseTaskRows(db::Connection& conn, const std::string& task_id, ReleasedTaskRows* out);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_TASK_ROWS_H_
