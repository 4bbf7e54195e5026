#include "suite/mgmt/memory_task_store.h"

#include "suite/mgmt/lease_watch.h"

#include <algorithm>
#include <tuple>

namespace tarn::suite {

std::string MemoryTaskStore::Key(const std::string& identity, const std::string& task) {
  std::string key = identity;
  key.push_back('\0');  // neither part can hold a NUL: the wire refuses them
  key.append(task);
  return key;
}

TaskEntry* MemoryTaskStore::Lookup(const std::string& identity, const std::string& task) {
  key_.assign(identity).push_back('\0');
  key_.append(task);
  auto it = tasks_.find(key_);
  return it == tasks_.end() ? nullptr : &it->second;
}

const TaskEntry* MemoryTaskStore::Find(const std::string& identity, const std::string& task) const {
  auto it = tasks_.find(Key(identity, task));
  return it == tasks_.end() ? nullptr : &it->second;
}

Status MemoryTaskStore::Confirm(const std::string& identity, const std::string& sub, const std::string& task,
                                bool* known) {
  TaskEntry* e = Lookup(identity, task);
  if (!e && !identity.empty()) {
    // An adopted task is claimed by the first identity that confirms it:
    // its station survived a service that lost it.
    if (const TaskEntry* adopted = Lookup("", task); adopted && adopted->active) {
      TaskEntry claimed = *adopted;
      Erase("", task);
      Removed("", task);
      claimed.identity = identity;
      claimed.sub = sub;
      Put(claimed);
      e = Lookup(identity, task);
    }
  }
  *known = e && e->active;
  if (*known) {
    ++e->beats;
    Changed(*e);
  }
  return Status::OK();
}

Status MemoryTaskStore::Admit(const TaskEntry& entry, int seat_limit, bool* admitted) {
  int& used = active_by_sub_[entry.sub];
  *admitted = seat_limit < 0 || used < seat_limit;
  if (!*admitted) return Status::OK();
  TaskEntry now = entry;
  now.active = true;
  const TaskEntry* old = Find(entry.identity, entry.task);
  now.beats = old ? old->beats + 1 : FreshCount();  // either way a watcher sees it move
  Put(now);
  Changed(now);
  return Status::OK();
}

Status MemoryTaskStore::EndTask(const std::string& identity, const std::string& task, int* ended) {
  TaskEntry* e = Lookup(identity, task);
  *ended = 0;
  if (e && e->active) {
    Deactivate(*e);
    *ended = 1;
  }
  return Status::OK();
}

Status MemoryTaskStore::EndSubsystem(const std::string& identity, const std::string& sub, int* ended) {
  *ended = 0;
  for (auto& [key, e] : tasks_) {
    if (e.active && e.identity == identity && e.sub == sub) {
      Deactivate(e);
      ++*ended;
    }
  }
  return Status::OK();
}

Status MemoryTaskStore::ConfirmSubsystem(const std::string& identity, const std::string& sub, int* confirmed) {
  *confirmed = 0;
  for (auto& [key, e] : tasks_) {
    if (e.active && e.identity == identity && e.sub == sub) {
      ++e.beats;
      Changed(e);
      ++*confirmed;
    }
  }
  return Status::OK();
}

Status MemoryTaskStore::List(const std::string& identity, std::vector<TaskEntry>* out) {
  out->clear();
  for (const auto& [key, e] : tasks_) {
    if (e.active && e.identity == identity) out->push_back(e);
  }
  std::sort(out->begin(), out->end(),
            [](const TaskEntry& a, const TaskEntry& b) { return std::tie(a.sub, a.task) < std::tie(b.sub, b.task); });
  return Status::OK();
}

Status MemoryTaskStore::Owner(const std::string& task, std::string* identity) {
  identity->clear();
  auto it = keys_by_task_.find(task);
  if (it != keys_by_task_.end()) *identity = tasks_.at(it->second).identity;
  return Status::OK();
}

Status MemoryTaskStore::Snapshot(std::vector<TaskEntry>* out) {
  out->clear();
  out->reserve(tasks_.size());
  for (const auto& [key, e] : tasks_) out->push_back(e);
  return Status::OK();
}

Status MemoryTaskStore::Adopt(const std::string& task, bool* adopted, int64_t* beats) {
  *adopted = keys_by_task_.find(task) == keys_by_task_.end();
  if (*adopted) {
    const TaskEntry e{"", "", task, *beats = FreshCount(), true};
    Put(e);
    Changed(e);
  }
  return Status::OK();
}

Status MemoryTaskStore::Forget(const TaskEntry& entry, bool* forgotten) {
  const TaskEntry* e = Find(entry.identity, entry.task);
  *forgotten = e && e->beats == entry.beats;
  if (*forgotten) {
    Erase(entry.identity, entry.task);
    Removed(entry.identity, entry.task);
  }
  return Status::OK();
}

void MemoryTaskStore::Put(const TaskEntry& entry) {
  const std::string key = Key(entry.identity, entry.task);
  auto [it, inserted] = tasks_.try_emplace(key, entry);
  if (inserted) {
    keys_by_task_.emplace(entry.task, key);
  } else {
    if (it->second.active) --active_by_sub_[it->second.sub];
    it->second = entry;
  }
  if (entry.active) ++active_by_sub_[entry.sub];
}

void MemoryTaskStore::Erase(const std::string& identity, const std::string& task) {
  const std::string key = Key(identity, task);
  auto it = tasks_.find(key);
  if (it == tasks_.end()) return;
  if (it->second.active) --active_by_sub_[it->second.sub];
  tasks_.erase(it);
  auto [first, last] = keys_by_task_.equal_range(task);
  for (auto k = first; k != last; ++k) {
    if (k->second == key) {
      keys_by_task_.erase(k);
      break;
    }
  }
}

void MemoryTaskStore::Deactivate(TaskEntry& e) {
  e.active = false;
  --active_by_sub_[e.sub];
  Changed(e);
}

void MemoryTaskStore::Changed(const TaskEntry& e) {
  if (on_change_) on_change_(e.identity, e.task, e);
}

void MemoryTaskStore::Removed(const std::string& identity, const std::string& task) {
  if (on_change_) on_change_(identity, task, std::nullopt);
}

}  // namespace tarn::suite
