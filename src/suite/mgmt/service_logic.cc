#include "suite/mgmt/service_logic.h"

#include <vector>

#include "suite/mgmt/task_rows.h"
#include "suite/reply_codec.h"

namespace tarn::suite {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

}  // namespace

ServiceLogic::ServiceLogic(ServiceOptions options, TaskStore& store, db::Connection* system_db, ServiceLog log)
    : options_(std::move(options)), store_(store), system_db_(system_db), log_(std::move(log)) {}

Status ServiceLogic::Handle(const ServiceRequest& r, int64_t now_ms, ServiceReply* reply) {
  reply->plain = false;
  int n = 0;
  Status s;
  switch (r.verb) {
    case Verb::kConnect:
      return Connect(r, now_ms, reply);
    case Verb::kHostInfo:
      reply->text = options_.host_identity;
      reply->plain = true;
      return Status::OK();
    case Verb::kLogout:
      s = store_.EndTask(r.identity, r.task, &n);
      reply->text = n > 0 ? "pass" : "unknown task";
      if (s.ok() && n > 0 && log_) log_("logout: task " + r.task + " of " + r.identity + " ended");
      return s;
    case Verb::kExit:
      s = store_.EndSubsystem(r.identity, r.sub, &n);
      reply->text = "pass: " + std::to_string(n) + " task(s) ended";
      if (s.ok() && log_) log_("exit: " + r.identity + " subsystem " + r.sub + ", " + reply->text.substr(6));
      return s;
    case Verb::kChangeYear:
      // A module that changes its year goes on working: its tasks count as
      // confirmed. The client writes its new login task itself.
      s = store_.ConfirmSubsystem(r.identity, r.sub, now_ms, &n);
      reply->text = "pass: " + std::to_string(n) + " task(s) confirmed";
      if (s.ok() && log_) log_("change year: " + r.identity + " subsystem " + r.sub);
      return s;
    case Verb::kList: {
      std::vector<TaskEntry> tasks;
      s = store_.List(r.identity, &tasks);
      reply->text = "pass " + std::to_string(tasks.size());
      for (const TaskEntry& e : tasks) {
        std::string item = ";" + e.sub + " " + e.task;
        if (reply->text.size() + item.size() > kMaxPlainReply) break;
        reply->text += item;
      }
      return s;
    }
  }
  return Status::InvalidArgument("unknown verb");
}

Status ServiceLogic::Connect(const ServiceRequest& r, int64_t now_ms, ServiceReply* reply) {
  bool known = false;
  Status s = store_.Confirm(r.identity, r.task, now_ms, &known);
  if (!s.ok()) return s;
  if (known) {
    reply->text = "pass";
    return s;
  }
  if (!r.admit()) {
    // Not "pass": the heartbeat reports a lost service; the client's next
    // admission registers its task again.
    reply->text = "relogin: unknown task";
    return s;
  }
  std::string owner;
  s = store_.Owner(r.task, &owner);
  if (!s.ok()) return s;
  if (!owner.empty() && owner != r.identity) {
    reply->text = "refused: the task belongs to another client";
    if (log_) log_("refused task " + r.task + " to " + r.identity + ": it belongs to " + owner);
    return s;
  }
  auto seat = options_.seats.find(r.sub);
  const int limit = seat == options_.seats.end() ? -1 : seat->second;
  bool admitted = false;
  s = store_.Admit(TaskEntry{r.identity, r.sub, r.task, now_ms, true}, limit, &admitted);
  if (!s.ok()) return s;
  if (admitted) {
    reply->text = "relogin";
    if (log_) log_("admitted task " + r.task + " of " + r.identity + " (" + r.sub + ")");
  } else {
    reply->text = "refused: every seat of the subsystem is taken (limit " + std::to_string(limit) + ")";
    if (log_) log_("refused task " + r.task + " of " + r.identity + ": " + r.sub + " has no free seat");
  }
  return s;
}

void ServiceLogic::LogForgery() const {
  if (log_) log_("refused a request that is not signed with the service key");
}

int ServiceLogic::Sweep(int64_t now_ms) {
  const int64_t cutoff = now_ms - options_.lease_ms;
  std::vector<TaskEntry> expired;
  Status s = store_.Expired(cutoff, &expired);
  if (!s.ok() && log_) log_("lease check failed: " + s.message());
  int dropped = 0;
  for (const TaskEntry& e : expired) {
    // Its rows go first: a task whose rows stay (a busy database) is kept
    // and tried again at the next check.
    if (!Release(e)) break;
    bool forgotten = false;
    s = store_.Forget(e, cutoff, &forgotten);
    if (!s.ok() && log_) log_("lease check could not forget task " + e.task + ": " + s.message());
    dropped += forgotten ? 1 : 0;
  }
  return dropped;
}

bool ServiceLogic::Release(const TaskEntry& e) {
  const std::string what = "task " + e.task + " of " + e.identity + " (" + e.sub + ")";
  if (!system_db_) {
    if (log_ && e.active) log_("lease expired: dropped " + what);
    return true;
  }
  ReleasedTaskRows rows;
  Status s = ReleaseTaskRows(*system_db_, e.task, &rows);
  if (!s.ok()) {
    if (log_) log_("lease expired: " + what + " is kept, its rows could not be released yet: " + s.message());
    return false;
  }
  if (!log_) return true;
  if (rows.task_rows > 0) {
    log_("lease expired: released " + what + ": station " + rows.station + ", user " + rows.user + ", functions " +
         Join(rows.functions) + " (" + std::to_string(rows.task_rows) + " task rows, " +
         std::to_string(rows.log_rows) + " log entries closed)");
  } else if (e.active) {
    log_("lease expired: dropped " + what + ", which held no rows");
  }
  return true;
}

}  // namespace tarn::suite
