#include "suite/mgmt/lease_sweeper.h"

#include <unordered_set>

#include "suite/mgmt/task_rows.h"

namespace tarn::suite {
namespace {

constexpr char kRowTasks[] = "SELECT DISTINCT cTaskId FROM UA_task with(nolock)";

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

std::string Describe(const TaskEntry& e) {
  return "task " + e.task + " of " + (e.identity.empty() ? std::string("no known client") : e.identity) + " (" +
         (e.sub.empty() ? std::string("adopted") : e.sub) + ")";
}

}  // namespace

int LeaseSweeper::Sweep(int64_t now_ms, int64_t lease_ms) {
  for (auto it = unreleased_.begin(); it != unreleased_.end();) {
    it = Release(TaskEntry{"", "", *it, 0, false}) ? unreleased_.erase(it) : std::next(it);
  }
  std::vector<TaskEntry> tasks;
  Status s = store_.Snapshot(&tasks);
  if (!s.ok()) {
    if (log_) log_("lease check failed: " + s.message());
    return 0;
  }
  if (system_db_) AdoptOrphans(&tasks);

  watch_.BeginRound();
  std::vector<const TaskEntry*> due;
  std::unordered_set<std::string> held;  // task ids some live entry holds
  for (const TaskEntry& e : tasks) {
    if (watch_.Still(e.identity, e.task, e.beats, now_ms) >= lease_ms) {
      due.push_back(&e);
    } else {
      held.insert(e.task);
    }
  }
  watch_.EndRound();

  int dropped = 0;
  for (const TaskEntry* e : due) {
    // Forgotten first, on the count this look saw: a confirmation that came
    // meanwhile keeps the task and its rows.
    bool forgotten = false;
    s = store_.Forget(*e, &forgotten);
    if (!s.ok()) {
      if (log_) log_("lease check could not forget " + Describe(*e) + ": " + s.message());
      continue;
    }
    if (!forgotten) continue;
    watch_.Drop(e->identity, e->task);
    ++dropped;
    if (held.count(e->task)) continue;  // a second entry for the same rows, which lives
    if (!Release(*e)) unreleased_.insert(e->task);
  }
  return dropped;
}

void LeaseSweeper::AdoptOrphans(std::vector<TaskEntry>* tasks) {
  db::ResultSet rs;
  Status s = system_db_->Query(db::Statement(kRowTasks), &rs);
  if (!s.ok()) {
    if (log_) log_("lease check could not read the task rows: " + s.message());
    return;
  }
  std::unordered_set<std::string> known;
  for (const TaskEntry& e : *tasks) known.insert(e.task);
  for (size_t r = 0; r < rs.rows(); ++r) {
    const std::string task = rs.at(r, 0).ToStringOrEmpty();
    if (task.empty() || known.count(task) || unreleased_.count(task)) continue;
    bool adopted = false;
    int64_t beats = 0;
    s = store_.Adopt(task, &adopted, &beats);
    if (!s.ok()) {
      if (log_) log_("lease check could not adopt task " + task + ": " + s.message());
      continue;
    }
    if (!adopted) continue;
    tasks->push_back(TaskEntry{"", "", task, beats, true});
    if (log_) log_("adopted task " + task + ", whose rows no service knew, under a fresh lease");
  }
}

bool LeaseSweeper::Release(const TaskEntry& e) {
  const std::string what = Describe(e);
  if (!system_db_) {
    if (log_ && e.active) log_("lease expired: dropped " + what);
    return true;
  }
  ReleasedTaskRows rows;
  Status s = ReleaseTaskRows(*system_db_, e.task, &rows);
  if (!s.ok()) {
    if (log_) log_("lease expired: the rows of " + what + " could not be released yet: " + s.message());
    return false;
  }
  if (!log_) return true;
  if (rows.task_rows > 0) {
    log_("lease expired: released " + what + ": station " + rows.station + ", user " + rows.user + ", functions " +
         Join(rows.functions) + " (" + std::to_string(rows.task_rows) + " task rows, " + std::to_string(rows.log_rows) +
         " log entries closed)");
  } else if (e.active) {
    log_("lease expired: dropped " + what + ", which held no rows");
  }
  return true;
}

}  // namespace tarn::suite
