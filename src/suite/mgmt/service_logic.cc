#include "suite/mgmt/service_logic.h"

#include <vector>

#include "suite/reply_codec.h"

namespace tarn::suite {

using boundary::ServiceRequest;
using boundary::Verb;
ServiceLogic::ServiceLogic(ServiceOptions options, TaskStore& store, ServiceLog log)
    : options_(std::move(options)), store_(store), log_(std::move(log)) {}

Status ServiceLogic::Handle(const ServiceRequest& r, ServiceReply* reply) {
  reply->plain = false;
  int n = 0;
  Status s;
  switch (r.verb) {
    case Verb::kConnect: return Connect(r, reply);
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
      s = store_.ConfirmSubsystem(r.identity, r.sub, &n);
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

Status ServiceLogic::Connect(const ServiceRequest& r, ServiceReply* reply) {
  bool known = false;
  Status s = store_.Confirm(r.identity, r.sub, r.task, &known);
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
  s = store_.Admit(TaskEntry{r.identity, r.sub, r.task, 0, true}, limit, &admitted);
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

}  // namespace tarn::suite
