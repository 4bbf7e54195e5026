// TaskExec: the holding check, the exclusion rules, and the registration
// and release of a function's task in the shared task tables.
#ifndef TARN_TASKS_TASK_EXEC_H_
#define TARN_TASKS_TASK_EXEC_H_

#include <cstdint>
#include <string>

#include "core/login_state.h"

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
bool RunTaskExec(core::LoginState& s, const std::string& auth_id, int16_t mode, int16_t year,
                 const std::string& class_code);

}  // namespace tarn::tasks

#endif  // TARN_TASKS_TASK_EXEC_H_
