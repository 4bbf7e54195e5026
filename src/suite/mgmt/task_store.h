// Where the management service keeps the tasks it has admitted, per client
// identity: in the table TarnServiceTask of the system database, so that a
// restarted service knows every task. The embedded service uses the table
// directly (several processes of one machine share it); the daemon answers
// from memory and writes the table behind, off the thread that answers
// requests.
//
// A task's row holds no time. nConfirmed counts its confirmations: each one
// moves it, and only its moving matters, so rows written by any process
// (or by an older form of the table, which kept times there) mean the same.
// How long a count has stood still is measured by whoever sweeps, on its
// own monotonic clock (suite/mgmt/lease_watch.h).
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
  std::string identity;  // "" for a task adopted from rows no entry knew
  std::string sub;
  std::string task;
  int64_t beats = 0;  // the confirmation count
  // false once ended by Logout or Exit: no longer known, but kept until its
  // lease runs out so that rows a vanished client left behind still go.
  bool active = true;
};

class TaskStore {
 public:
  virtual ~TaskStore() = default;

  // Counts a confirmation of an active task; `known` tells whether there
  // was one. A task adopted from orphaned rows is claimed by the first
  // identity that confirms it.
  virtual Status Confirm(const std::string& identity, const std::string& sub, const std::string& task, bool* known) = 0;
  // Makes `entry` an active task unless `seat_limit` (>= 0; -1: none)
  // active tasks of its subsystem exist already.
  virtual Status Admit(const TaskEntry& entry, int seat_limit, bool* admitted) = 0;
  // Ends one active task of an identity (any subsystem).
  virtual Status EndTask(const std::string& identity, const std::string& task, int* ended) = 0;
  // Ends every active task of an identity in a subsystem.
  virtual Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) = 0;
  // Confirms every active task of an identity in a subsystem.
  virtual Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int* confirmed) = 0;
  // The active tasks of an identity, by subsystem and task.
  virtual Status List(const std::string& identity, std::vector<TaskEntry>* out) = 0;
  // The identity that holds `task` (active or not); "" when none does.
  virtual Status Owner(const std::string& task, std::string* identity) = 0;
  // Every entry, active or ended, with its count: what a sweep looks at.
  virtual Status Snapshot(std::vector<TaskEntry>* out) = 0;
  // Makes an active entry without identity for `task` unless some entry
  // holds it already: rows no service knows get a lease of their own.
  // `beats` is the new entry's count when `adopted`.
  virtual Status Adopt(const std::string& task, bool* adopted, int64_t* beats) = 0;
  // Removes the entry when its count is still `entry.beats`; `forgotten`
  // says whether this call removed it (one caller only, also across
  // processes), so that a confirmation that came meanwhile keeps it.
  virtual Status Forget(const TaskEntry& entry, bool* forgotten) = 0;
};

// Keeps the tasks in the table TarnServiceTask of the system database that
// `conn` is in, creating the table when it is missing.
Status NewSqlTaskStore(db::ConnectionPtr conn, std::unique_ptr<TaskStore>* out);

// The table's rows as entries, and the conditional removal of one, for a
// store that mirrors the table (the daemon's).
Status ReadTaskTable(db::Connection& conn, std::vector<TaskEntry>* out);
Status ForgetTaskRow(db::Connection& conn, const TaskEntry& entry, bool* forgotten);
Status AdoptTaskRow(db::Connection& conn, const std::string& task, int64_t beats, bool* adopted);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_TASK_STORE_H_
