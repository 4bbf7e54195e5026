#include "suite/mgmt/durable_task_store.h"

#include <cmath>

namespace tarn::suite {
namespace {

constexpr char kLoad[] = "SELECT cIdentity,cSub_Id,cTaskId,nConfirmed,bActive FROM TarnServiceTask";
constexpr char kUpdate[] =
    "UPDATE TarnServiceTask SET cSub_Id=?,nConfirmed=?,bActive=? WHERE cIdentity=? AND cTaskId=?";
constexpr char kInsert[] =
    "INSERT INTO TarnServiceTask (cIdentity,cSub_Id,cTaskId,nConfirmed,bActive) VALUES(?,?,?,?,?)";
constexpr char kDelete[] = "DELETE FROM TarnServiceTask WHERE cIdentity=? AND cTaskId=?";

Variant Ms(int64_t ms) { return Variant(static_cast<double>(ms)); }

}  // namespace

DurableTaskStore::DurableTaskStore()
    : memory_(NewMemoryTaskStore([this](const std::string& identity, const std::string& task,
                                        const std::optional<TaskEntry>& now) {
        if (!loading_) dirty_[Key(identity, task)] = now;  // called with mu_ held
      })) {}

Status DurableTaskStore::Open(db::Connection& conn, std::unique_ptr<DurableTaskStore>* out) {
  // The table is made as the embedded service makes it.
  std::unique_ptr<TaskStore> probe;
  Status s = NewSqlTaskStore(std::shared_ptr<db::Connection>(std::shared_ptr<void>(), &conn), &probe);
  if (!s.ok()) return s;
  db::ResultSet rs;
  s = conn.Query(db::Statement(kLoad), &rs);
  if (!s.ok()) return s;
  std::unique_ptr<DurableTaskStore> store(new DurableTaskStore());
  store->loading_ = true;
  for (size_t r = 0; r < rs.rows(); ++r) {
    TaskEntry e{rs.at(r, 0).ToStringOrEmpty(), rs.at(r, 1).ToStringOrEmpty(), rs.at(r, 2).ToStringOrEmpty(),
                static_cast<int64_t>(std::llround(rs.at(r, 3).ToDouble())), rs.at(r, 4).ToDouble() != 0};
    bool admitted = false;
    int ended = 0;
    s = store->memory_->Admit(e, -1, &admitted);
    if (s.ok() && !e.active) s = store->memory_->EndTask(e.identity, e.task, &ended);
    if (!s.ok()) return s;
  }
  store->loading_ = false;
  *out = std::move(store);
  return Status::OK();
}

Status DurableTaskStore::Flush(db::Connection& conn, size_t* written) {
  std::map<Key, std::optional<TaskEntry>> batch;
  {
    std::lock_guard lock(mu_);
    batch.swap(dirty_);
  }
  if (written) *written = 0;
  if (batch.empty()) return Status::OK();
  Status s = conn.BeginTrans();
  for (auto it = batch.begin(); s.ok() && it != batch.end(); ++it) {
    const auto& [identity, task] = it->first;
    if (!it->second) {
      s = conn.Execute(db::Statement(kDelete).Bind(identity).Bind(task));
      continue;
    }
    const TaskEntry& e = *it->second;
    int64_t n = 0;
    const int32_t active = e.active ? 1 : 0;
    s = conn.Execute(
        db::Statement(kUpdate).Bind(e.sub).Bind(Ms(e.confirmed_ms)).Bind(active).Bind(identity).Bind(task), &n);
    if (s.ok() && n == 0) {
      s = conn.Execute(
          db::Statement(kInsert).Bind(identity).Bind(e.sub).Bind(task).Bind(Ms(e.confirmed_ms)).Bind(active));
    }
  }
  if (s.ok()) s = conn.CommitTrans();
  if (!s.ok()) {
    (void)conn.RollbackTrans();  // the failure that ends the transaction is the one to report
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

Status DurableTaskStore::Confirm(const std::string& identity, const std::string& task, int64_t now_ms, bool* known) {
  std::lock_guard lock(mu_);
  return memory_->Confirm(identity, task, now_ms, known);
}

Status DurableTaskStore::Admit(const TaskEntry& entry, int seat_limit, bool* admitted) {
  std::lock_guard lock(mu_);
  return memory_->Admit(entry, seat_limit, admitted);
}

Status DurableTaskStore::EndTask(const std::string& identity, const std::string& task, int* ended) {
  std::lock_guard lock(mu_);
  return memory_->EndTask(identity, task, ended);
}

Status DurableTaskStore::EndSubsystem(const std::string& identity, const std::string& sub, int* ended) {
  std::lock_guard lock(mu_);
  return memory_->EndSubsystem(identity, sub, ended);
}

Status DurableTaskStore::ConfirmSubsystem(const std::string& identity, const std::string& sub, int64_t now_ms,
                                          int* confirmed) {
  std::lock_guard lock(mu_);
  return memory_->ConfirmSubsystem(identity, sub, now_ms, confirmed);
}

Status DurableTaskStore::List(const std::string& identity, std::vector<TaskEntry>* out) {
  std::lock_guard lock(mu_);
  return memory_->List(identity, out);
}

Status DurableTaskStore::Owner(const std::string& task, std::string* identity) {
  std::lock_guard lock(mu_);
  return memory_->Owner(task, identity);
}

Status DurableTaskStore::Expired(int64_t cutoff_ms, std::vector<TaskEntry>* out) {
  std::lock_guard lock(mu_);
  return memory_->Expired(cutoff_ms, out);
}

Status DurableTaskStore::Forget(const TaskEntry& entry, int64_t cutoff_ms, bool* forgotten) {
  std::lock_guard lock(mu_);
  return memory_->Forget(entry, cutoff_ms, forgotten);
}

}  // namespace tarn::suite
