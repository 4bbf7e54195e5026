// Where the management service keeps the tasks it has admitted, per client
// identity: in the table TarnServiceTask of the system database, so that a
// restarted service knows every task and its lease. The embedded service
// uses the table directly (several processes of one machine share it); the
// daemon answers from memory and writes the table behind, off the thread
// that answers requests.
#ifndef TARN_SUITE_MGMT_TASK_STORE_H_
#define TARN_SUITE_MGMT_TASK_STORE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "tarn/status.h"

namespace tarn::suite {

struct TaskEntry {
  std::string identity;
  std::string sub;
  std::string task;
  int64_t confirmed_ms = 0;
  // false once ended by Logout or Exit: no longer known, but kept until its
  // lease runs out so that rows a vanished client left behind still go.
  bool active = true;
};

class TaskStore {
 public:
  virtual ~TaskStore() = default;

  // Moves the confirmation of an active task to `now_ms`; `known` tells
  // whether there was one.
  virtual Status Confirm(const std::string& identity, const std::string& task, int64_t now_ms, bool* known) = 0;
  // Makes `entry` an active task unless `seat_limit` (>= 0; -1: none)
  // active tasks of its subsystem exist already.
  virtual Status Admit(const TaskEntry& entry, int seat_limit, bool* admitted) = 0;
  // Ends one active task of an identity (any subsystem).
  virtual Status EndTask(const std::string& identity, const std::string& task, int* ended) = 0;
  // Ends every active task of an identity in a subsystem.
  virtual Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) = 0;
  // Confirms every active task of an identity in a subsystem.
  virtual Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int64_t now_ms,
                                  int* confirmed) = 0;
  // The active tasks of an identity, by subsystem and task.
  virtual Status List(const std::string& identity, std::vector<TaskEntry>* out) = 0;
  // The identity that holds `task` (active or not); "" when none does.
  virtual Status Owner(const std::string& task, std::string* identity) = 0;
  // The tasks last confirmed before `cutoff_ms`. They stay until Forget:
  // a task whose rows could not be released yet is tried again.
  virtual Status Expired(int64_t cutoff_ms, std::vector<TaskEntry>* out) = 0;
  // Removes the task when it is still unconfirmed since `cutoff_ms`;
  // `forgotten` says whether this call removed it (one caller only, also
  // across processes).
  virtual Status Forget(const TaskEntry& entry, int64_t cutoff_ms, bool* forgotten) = 0;
};

// Told of every entry a memory store changes: its new value, or nullopt
// when it was removed.
using TaskChange = std::function<void(const std::string& identity, const std::string& task,
                                      const std::optional<TaskEntry>& now)>;

// One thread uses it (the durable store locks around it).
std::unique_ptr<TaskStore> NewMemoryTaskStore(TaskChange on_change = nullptr);

// Keeps the tasks in the table TarnServiceTask of the system database that
// `conn` is in, creating the table when it is missing.
Status NewSqlTaskStore(db::ConnectionPtr conn, std::unique_ptr<TaskStore>* out);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_TASK_STORE_H_
