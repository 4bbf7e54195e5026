// TaskExec: the holding check, the exclusion rules, and the registration
// and release of a function's task in the shared task tables.
#ifndef TARN_TASKS_TASK_EXEC_H_
#define TARN_TASKS_TASK_EXEC_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/connections.h"
#include "core/identity.h"
#include "core/task_control.h"
#include "db/connection.h"
#include "tarn/variant.h"

namespace tarn::tasks {

// Modes of TaskExec's second argument.
inline constexpr int16_t kRelease = 0;
inline constexpr int16_t kRegister = -1;
inline constexpr int16_t kCheckOnly = 1;
inline constexpr int16_t kHoldingOnly = 2;
inline constexpr int16_t kRegisterStrict = 3;

// The one routine behind TaskExec (and the extended edition's TaskExecEx,
// which passes a class code). Records its failures in the thread's last
// error; the database errors of the holding, function and profile reads
// reach the caller as ComError.
bool RunTaskExec(const core::Identity& id, core::TaskControl& tasks, core::Connections& c, const std::string& auth_id,
                 int16_t mode, int16_t year, const std::string& class_code);

// What a registration (kRegister, kRegisterStrict) or a check (kCheckOnly)
// of `auth_id` would answer now, decided by the very steps RunTaskExec
// takes, on `conn` (the system database), writing nothing and recording
// nothing. The management service is not asked: a dry run is no client of
// it. Database errors are raised (ComError), and so is any other mode (5).
struct Verdict {
  bool granted = false;
  // When refused: what RunTaskExec records.
  int32_t code = 0;
  std::string res_id;
  std::vector<Variant> args;
  bool never_checked = false;  // a SYSLOCK id
  // What was decided on.
  std::string auth_name;
  int32_t year = 0;  // the effective year
  std::string station;
};
Verdict TryTaskExec(const core::Identity& id, db::Connection& conn, const std::string& auth_id, int16_t mode,
                    int16_t year, const std::string& class_code);

}  // namespace tarn::tasks

#endif  // TARN_TASKS_TASK_EXEC_H_
