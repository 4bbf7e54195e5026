// Tasks in memory: a hash map by identity and task, and a count of the
// active tasks per subsystem for the seat limits. The daemon answers from
// it; every change is told to the observer that writes the table behind.
// One thread uses it at a time (the durable store locks around it).
#ifndef TARN_SUITE_MGMT_MEMORY_TASK_STORE_H_
#define TARN_SUITE_MGMT_MEMORY_TASK_STORE_H_

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "suite/mgmt/task_store.h"

namespace tarn::suite {

// Told of every entry a request changes: its new value, or nullopt when it
// was removed.
using TaskChange =
    std::function<void(const std::string& identity, const std::string& task, const std::optional<TaskEntry>& now)>;

class MemoryTaskStore final : public TaskStore {
 public:
  explicit MemoryTaskStore(TaskChange on_change = nullptr) : on_change_(std::move(on_change)) {}

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

  // Untold changes, for a store that mirrors a table: sets an entry to
  // what the table holds, or removes it.
  void Put(const TaskEntry& entry);
  void Erase(const std::string& identity, const std::string& task);
  const TaskEntry* Find(const std::string& identity, const std::string& task) const;

 private:
  static std::string Key(const std::string& identity, const std::string& task);
  TaskEntry* Lookup(const std::string& identity, const std::string& task);
  void Deactivate(TaskEntry& e);
  void Changed(const TaskEntry& e);
  void Removed(const std::string& identity, const std::string& task);

  TaskChange on_change_;
  std::unordered_map<std::string, TaskEntry> tasks_;
  std::unordered_map<std::string, int> active_by_sub_;
  // Entries by task id, for the owner and adoption checks.
  std::unordered_multimap<std::string, std::string> keys_by_task_;
  std::string key_;  // reused by the hot path of heartbeats
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_MEMORY_TASK_STORE_H_
