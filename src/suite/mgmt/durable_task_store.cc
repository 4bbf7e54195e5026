#include "suite/mgmt/durable_task_store.h"

#include "suite/mgmt/lease_watch.h"

#include <cmath>
#include <set>

namespace tarn::suite {
namespace {

constexpr char kUpdate[] =
    "UPDATE TarnServiceTask SET cSub_Id=?,nConfirmed=?,bActive=? WHERE cIdentity=? AND cTaskId=?";
constexpr char kInsert[] =
    "INSERT INTO TarnServiceTask (cIdentity,cSub_Id,cTaskId,nConfirmed,bActive) VALUES(?,?,?,?,?)";
constexpr char kDelete[] = "DELETE FROM TarnServiceTask WHERE cIdentity=? AND cTaskId=?";

Variant Count(int64_t n) { return Variant(static_cast<double>(n)); }

bool Same(const TaskEntry& a, const TaskEntry& b) {
  return a.beats == b.beats && a.active == b.active && a.sub == b.sub;
}

}  // namespace

DurableTaskStore::DurableTaskStore(db::Connection& conn)
    : conn_(conn),
      memory_([this](const std::string& identity, const std::string& task, const std::optional<TaskEntry>& now) {
        dirty_[Key(identity, task)] = now;  // called with mu_ held
      }) {}

Status DurableTaskStore::Open(db::Connection& conn, std::unique_ptr<DurableTaskStore>* out) {
  // The table is made as the embedded service makes it.
  std::unique_ptr<TaskStore> probe;
  Status s = NewSqlTaskStore(std::shared_ptr<db::Connection>(std::shared_ptr<void>(), &conn), &probe);
  if (!s.ok()) return s;
  std::unique_ptr<DurableTaskStore> store(new DurableTaskStore(conn));
  s = store->Refresh();
  if (!s.ok()) return s;
  *out = std::move(store);
  return Status::OK();
}

Status DurableTaskStore::Refresh() {
  std::vector<TaskEntry> rows;
  Status s = ReadTaskTable(conn_, &rows);
  if (!s.ok()) return s;
  std::lock_guard lock(mu_);
  std::set<Key> in_table;
  for (const TaskEntry& row : rows) {
    Key key(row.identity, row.task);
    in_table.insert(key);
    if (dirty_.count(key)) continue;  // ours is newer: the next flush writes it
    const TaskEntry* mine = memory_.Find(row.identity, row.task);
    if (!mine || !Same(*mine, row)) memory_.Put(row);
  }
  std::vector<TaskEntry> all;
  (void)memory_.Snapshot(&all);
  for (const TaskEntry& e : all) {
    Key key(e.identity, e.task);
    // Written before and gone now: another sweeper forgot it.
    if (!in_table.count(key) && !dirty_.count(key)) memory_.Erase(e.identity, e.task);
  }
  return Status::OK();
}

Status DurableTaskStore::Flush(size_t* written) {
  std::map<Key, std::optional<TaskEntry>> batch;
  {
    std::lock_guard lock(mu_);
    batch.swap(dirty_);
  }
  if (written) *written = 0;
  if (batch.empty()) return Status::OK();
  Status s = conn_.BeginTrans();
  for (auto it = batch.begin(); s.ok() && it != batch.end(); ++it) {
    const auto& [identity, task] = it->first;
    if (!it->second) {
      s = conn_.Execute(db::Statement(kDelete).Bind(identity).Bind(task));
      continue;
    }
    const TaskEntry& e = *it->second;
    int64_t n = 0;
    const int32_t active = e.active ? 1 : 0;
    s = conn_.Execute(db::Statement(kUpdate).Bind(e.sub).Bind(Count(e.beats)).Bind(active).Bind(identity).Bind(task),
                      &n);
    if (s.ok() && n == 0) {
      s = conn_.Execute(db::Statement(kInsert).Bind(identity).Bind(e.sub).Bind(task).Bind(Count(e.beats)).Bind(active));
    }
  }
  if (s.ok()) s = conn_.CommitTrans();
  if (!s.ok()) {
    (void)conn_.RollbackTrans();  // the failure that ends the transaction is the one to report
    // Back for the next flush, unless a newer change came in meanwhile.
    std::lock_guard lock(mu_);
    for (auto& [key, value] : batch) dirty_.try_emplace(key, std::move(value));
    return s;
  }
  if (written) *written = batch.size();
  return s;
}

size_t DurableTaskStore::pending() const {
  std::lock_guard lock(mu_);
  return dirty_.size();
}

Status DurableTaskStore::Confirm(const std::string& identity, const std::string& sub, const std::string& task,
                                 bool* known) {
  std::lock_guard lock(mu_);
  return memory_.Confirm(identity, sub, task, known);
}

Status DurableTaskStore::Admit(const TaskEntry& entry, int seat_limit, bool* admitted) {
  std::lock_guard lock(mu_);
  return memory_.Admit(entry, seat_limit, admitted);
}

Status DurableTaskStore::EndTask(const std::string& identity, const std::string& task, int* ended) {
  std::lock_guard lock(mu_);
  return memory_.EndTask(identity, task, ended);
}

Status DurableTaskStore::EndSubsystem(const std::string& identity, const std::string& sub, int* ended) {
  std::lock_guard lock(mu_);
  return memory_.EndSubsystem(identity, sub, ended);
}

Status DurableTaskStore::ConfirmSubsystem(const std::string& identity, const std::string& sub, int* confirmed) {
  std::lock_guard lock(mu_);
  return memory_.ConfirmSubsystem(identity, sub, confirmed);
}

Status DurableTaskStore::List(const std::string& identity, std::vector<TaskEntry>* out) {
  std::lock_guard lock(mu_);
  return memory_.List(identity, out);
}

Status DurableTaskStore::Owner(const std::string& task, std::string* identity) {
  std::lock_guard lock(mu_);
  return memory_.Owner(task, identity);
}

Status DurableTaskStore::Snapshot(std::vector<TaskEntry>* out) {
  std::lock_guard lock(mu_);
  return memory_.Snapshot(out);
}

Status DurableTaskStore::Adopt(const std::string& task, bool* adopted, int64_t* beats) {
  *adopted = false;
  {
    std::lock_guard lock(mu_);
    std::string owner;
    (void)memory_.Owner(task, &owner);
    if (!owner.empty() || memory_.Find("", task)) return Status::OK();
  }
  // In the table at once, so that no other sweeper adopts it as well.
  *beats = FreshCount();
  Status s = AdoptTaskRow(conn_, task, *beats, adopted);
  if (!s.ok() || !*adopted) return s;
  std::lock_guard lock(mu_);
  if (!memory_.Find("", task)) memory_.Put(TaskEntry{"", "", task, *beats, true});
  return s;
}

Status DurableTaskStore::Forget(const TaskEntry& entry, bool* forgotten) {
  *forgotten = false;
  const Key key(entry.identity, entry.task);
  {
    std::lock_guard lock(mu_);
    const TaskEntry* e = memory_.Find(entry.identity, entry.task);
    if (dirty_.count(key) || !e || e->beats != entry.beats) return Status::OK();  // moved since the look
  }
  // The table decides, as it does between embedded services: a process
  // that moved the count there keeps the task.
  bool removed = false;
  Status s = ForgetTaskRow(conn_, entry, &removed);
  if (!s.ok()) return s;
  std::lock_guard lock(mu_);
  if (dirty_.count(key)) return Status::OK();  // confirmed during the delete: the next flush writes it back
  const TaskEntry* e = memory_.Find(entry.identity, entry.task);
  if (e && e->beats == entry.beats) memory_.Erase(entry.identity, entry.task);
  *forgotten = removed;
  return Status::OK();
}

}  // namespace tarn::suite
