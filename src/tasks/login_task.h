// The login task: the row with the authorisation id "reg" whose log id is
// the login's task id, written again when the management service asks a
// login to register once more.
#ifndef TARN_TASKS_LOGIN_TASK_H_
#define TARN_TASKS_LOGIN_TASK_H_

#include "core/connections.h"
#include "core/identity.h"

namespace tarn::tasks {

// (Re)writes the task-log row, the login task and its usage-log entry (a
// closed entry is reopened). True when it ran to its end; any error gives
// false and records nothing. The system administrator and payroll and
// console logins get the task-log row only.
bool RegisterLoginTask(const core::Identity& id, const core::Connections& c);

}  // namespace tarn::tasks

#endif  // TARN_TASKS_LOGIN_TASK_H_
