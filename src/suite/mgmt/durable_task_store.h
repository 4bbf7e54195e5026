// The daemon's tasks: answered from memory, so that no request waits for
// the database, and written behind into TarnServiceTask of the system
// database, so that a restarted daemon knows every task and its lease. Safe
// to use from the thread that answers requests and from the one that
// writes and sweeps.
#ifndef TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_
#define TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "db/connection.h"
#include "suite/mgmt/task_store.h"

namespace tarn::suite {

class DurableTaskStore final : public TaskStore {
 public:
  // Loads every task the table holds (made when missing) through `conn`.
  static Status Open(db::Connection& conn, std::unique_ptr<DurableTaskStore>* out);

  // Writes the changes since the last flush in one transaction; when that
  // fails they stay for the next flush. `written` may be null.
  Status Flush(db::Connection& conn, size_t* written = nullptr);
  // How many changes wait for a flush.
  size_t pending() const;

  Status Confirm(const std::string& identity, const std::string& task, int64_t now_ms, bool* known) override;
  Status Admit(const TaskEntry& entry, int seat_limit, bool* admitted) override;
  Status EndTask(const std::string& identity, const std::string& task, int* ended) override;
  Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) override;
  Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int64_t now_ms,
                          int* confirmed) override;
  Status List(const std::string& identity, std::vector<TaskEntry>* out) override;
  Status Owner(const std::string& task, std::string* identity) override;
  Status Expired(int64_t cutoff_ms, std::vector<TaskEntry>* out) override;
  Status Forget(const TaskEntry& entry, int64_t cutoff_ms, bool* forgotten) override;

 private:
  DurableTaskStore();

  using Key = std::pair<std::string, std::string>;  // identity, task

  mutable std::mutex mu_;
  std::unique_ptr<TaskStore> memory_;
  // The latest value of each changed entry; nullopt: removed.
  std::map<Key, std::optional<TaskEntry>> dirty_;
  bool loading_ = false;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_DURABLE_TASK_STORE_H_
