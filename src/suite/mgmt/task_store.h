// Where the management service keeps the tasks it has admitted, per client
// identity: in memory for the daemon (a restart forgets them, and clients
// are admitted again), in the system database for the embedded service
// (several processes of one machine share it).
#ifndef TARN_SUITE_MGMT_TASK_STORE_H_
#define TARN_SUITE_MGMT_TASK_STORE_H_

#include <cstdint>
#include <memory>
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
  // Removes the tasks last confirmed before `cutoff_ms` and hands them
  // out; each is handed to one caller only, also across processes.
  virtual Status TakeExpired(int64_t cutoff_ms, std::vector<TaskEntry>* out) = 0;
};

std::unique_ptr<TaskStore> NewMemoryTaskStore();

// Keeps the tasks in the table TarnServiceTask of the system database that
// `conn` is in, creating the table when it is missing.
Status NewSqlTaskStore(db::ConnectionPtr conn, std::unique_ptr<TaskStore>* out);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_TASK_STORE_H_
