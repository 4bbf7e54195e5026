// The daemon's tasks: answered from memory, so that no request waits for
// the database, and written behind into TarnServiceTask of the system
// database, so that a restarted daemon knows every task. Between writes
// the memory mirrors the table, so that tasks other processes keep there
// (embedded services on the same system database) are seen and swept too.
// Requests come from the thread that answers them; Flush, Refresh, Adopt
// and Forget from the one that writes and sweeps, which owns the
// connection given to Open.
#ifndef TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_
#define TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "db/connection.h"
#include "suite/mgmt/memory_task_store.h"
#include "suite/mgmt/task_store.h"

namespace tarn::suite {

class DurableTaskStore final : public TaskStore {
 public:
  // Loads every task the table holds (made when missing) through `conn`,
  // which the store then uses for its own writes.
  static Status Open(db::Connection& conn, std::unique_ptr<DurableTaskStore>* out);

  // Writes the changes since the last flush in one transaction; when that
  // fails they stay for the next flush. `written` may be null.
  Status Flush(size_t* written = nullptr);
  // Takes into memory what the table holds for every entry with no change
  // waiting: counts others moved, rows others added or removed.
  Status Refresh();
  // How many changes wait for a flush.
  size_t pending() const;

  Status Confirm(const std::string& identity, const std::string& sub, const std::string& task, bool* known) override;
  Status Admit(const TaskEntry& entry, int seat_limit, bool* admitted) override;
  Status EndTask(const std::string& identity, const std::string& task, int* ended) override;
  Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) override;
  Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int* confirmed) override;
  Status List(const std::string& identity, std::vector<TaskEntry>* out) override;
  Status Owner(const std::string& task, std::string* identity) override;
  Status Snapshot(std::vector<TaskEntry>* out) override;
  Status Adopt(const std::string& task, bool* adopted, int64_t* beats) override;
  Status Forget(const TaskEntry& entry, bool* forgotten) override;

 private:
  explicit DurableTaskStore(db::Connection& conn);

  using Key = std::pair<std::string, std::string>;  // identity, task

  db::Connection& conn_;
  mutable std::mutex mu_;
  MemoryTaskStore memory_;
  // The latest value of each changed entry; nullopt: removed.
  std::map<Key, std::optional<TaskEntry>> dirty_;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_
