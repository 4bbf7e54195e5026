// Which station a task row names: the web-client name for web-based and a
// few other modules, else this computer's name.
#ifndef TARN_TASKS_STATIONS_H_
#define TARN_TASKS_STATIONS_H_

#include <string>
#include <string_view>

#include "core/identity.h"

namespace tarn::tasks {

// True when `sub_id` occurs within "PO,SO,CO,WH,PS,BM" (the empty code and
// pieces such as "O" too), or else when the web-client name is set.
bool UseWebClientStation(std::string_view sub_id, std::string_view web_client);

// The station of task rows (UA_task) for the login's subsystem: the
// web-client name, even when empty, where UseWebClientStation says so.
std::string TaskStation(const core::Identity& id);

// The station of the task-log row (UA_TaskLog): the web-client name for
// PO, SO, CO and WH only.
std::string TaskLogStation(const core::Identity& id);

}  // namespace tarn::tasks

#endif  // TARN_TASKS_STATIONS_H_
