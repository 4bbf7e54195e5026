// Tasks in memory: a hash map by identity and task, and a count of the
// active tasks per subsystem for the seat limits. The daemon answers from
// it; every change is told to the observer that writes the table behind.
#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "suite/mgmt/task_store.h"

namespace tarn::suite {
namespace {

class MemoryTaskStore final : public TaskStore {
 public:
  explicit MemoryTaskStore(TaskChange on_change) : on_change_(std::move(on_change)) {}

  Status Confirm(const std::string& identity, const std::string& task, int64_t now_ms, bool* known) override {
    key_.assign(identity).push_back('\0');
    key_.append(task);
    auto it = tasks_.find(key_);
    *known = it != tasks_.end() && it->second.active;
    if (*known) {
      it->second.confirmed_ms = now_ms;
      Changed(it->second);
    }
    return Status::OK();
  }

  Status Admit(const TaskEntry& entry, int seat_limit, bool* admitted) override {
    int& used = active_by_sub_[entry.sub];
    *admitted = seat_limit < 0 || used < seat_limit;
    if (!*admitted) return Status::OK();
    auto [it, inserted] = tasks_.try_emplace(Key(entry.identity, entry.task), entry);
    if (!inserted) {
      if (it->second.active) --active_by_sub_[it->second.sub];
      it->second = entry;
    }
    it->second.active = true;
    ++used;
    Changed(it->second);
    return Status::OK();
  }

  Status EndTask(const std::string& identity, const std::string& task, int* ended) override {
    auto it = tasks_.find(Key(identity, task));
    *ended = 0;
    if (it != tasks_.end() && it->second.active) {
      Deactivate(it->second);
      *ended = 1;
    }
    return Status::OK();
  }

  Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) override {
    *ended = 0;
    for (auto& [key, e] : tasks_) {
      if (e.active && e.identity == identity && e.sub == sub) {
        Deactivate(e);
        ++*ended;
      }
    }
    return Status::OK();
  }

  Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int64_t now_ms,
                          int* confirmed) override {
    *confirmed = 0;
    for (auto& [key, e] : tasks_) {
      if (e.active && e.identity == identity && e.sub == sub) {
        e.confirmed_ms = now_ms;
        Changed(e);
        ++*confirmed;
      }
    }
    return Status::OK();
  }

  Status List(const std::string& identity, std::vector<TaskEntry>* out) override {
    out->clear();
    for (const auto& [key, e] : tasks_) {
      if (e.active && e.identity == identity) out->push_back(e);
    }
    std::sort(out->begin(), out->end(), [](const TaskEntry& a, const TaskEntry& b) {
      return std::tie(a.sub, a.task) < std::tie(b.sub, b.task);
    });
    return Status::OK();
  }

  Status Owner(const std::string& task, std::string* identity) override {
    identity->clear();
    for (const auto& [key, e] : tasks_) {
      if (e.task == task) {
        *identity = e.identity;
        break;
      }
    }
    return Status::OK();
  }

  Status Expired(int64_t cutoff_ms, std::vector<TaskEntry>* out) override {
    out->clear();
    for (const auto& [key, e] : tasks_) {
      if (e.confirmed_ms < cutoff_ms) out->push_back(e);
    }
    return Status::OK();
  }

  Status Forget(const TaskEntry& entry, int64_t cutoff_ms, bool* forgotten) override {
    auto it = tasks_.find(Key(entry.identity, entry.task));
    *forgotten = it != tasks_.end() && it->second.confirmed_ms < cutoff_ms;
    if (*forgotten) {
      if (it->second.active) --active_by_sub_[it->second.sub];
      tasks_.erase(it);
      if (on_change_) on_change_(entry.identity, entry.task, std::nullopt);
    }
    return Status::OK();
  }

 private:
  static std::string Key(const std::string& identity, const std::string& task) {
    std::string key = identity;
    key.push_back('\0');  // neither part can hold a NUL: the wire refuses them
    key.append(task);
    return key;
  }

  void Deactivate(TaskEntry& e) {
    e.active = false;
    --active_by_sub_[e.sub];
    Changed(e);
  }

  void Changed(const TaskEntry& e) {
    if (on_change_) on_change_(e.identity, e.task, e);
  }

  TaskChange on_change_;
  std::unordered_map<std::string, TaskEntry> tasks_;
  std::unordered_map<std::string, int> active_by_sub_;
  std::string key_;  // reused by the hot path of heartbeats
};

}  // namespace

std::unique_ptr<TaskStore> NewMemoryTaskStore(TaskChange on_change) {
  return std::make_unique<MemoryTaskStore>(std::move(on_change));
}

}  // namespace tarn::suite
