// The table TarnServiceTask of the system database, so that every process
// of the machine sees the same admitted tasks and a restarted daemon knows
// them again. nConfirmed is a confirmation count, never a time: processes
// share no clock, and each sweeper measures stillness on its own.
#include <cmath>

#include "suite/mgmt/lease_watch.h"
#include "suite/mgmt/task_store.h"

namespace tarn::suite {
namespace {

constexpr char kProbe[] = "SELECT COUNT(*) FROM TarnServiceTask";
constexpr char kConfirm[] =
    "UPDATE TarnServiceTask SET nConfirmed=nConfirmed+1 WHERE cIdentity=? AND cTaskId=? AND bActive=1";
// Claims an adopted task; the empty identity is only ever an adoption's.
constexpr char kClaim[] =
    "UPDATE TarnServiceTask SET cIdentity=?,cSub_Id=?,nConfirmed=nConfirmed+1 WHERE cIdentity='' AND cTaskId=? "
    "AND bActive=1";
constexpr char kCountSub[] = "SELECT COUNT(*) FROM TarnServiceTask WHERE cSub_Id=? AND bActive=1";
constexpr char kReactivate[] =
    "UPDATE TarnServiceTask SET cSub_Id=?,nConfirmed=nConfirmed+1,bActive=1 WHERE cIdentity=? AND cTaskId=?";
constexpr char kInsert[] =
    "INSERT INTO TarnServiceTask (cIdentity,cSub_Id,cTaskId,nConfirmed,bActive) VALUES(?,?,?,?,1)";
constexpr char kEndTask[] = "UPDATE TarnServiceTask SET bActive=0 WHERE cIdentity=? AND cTaskId=? AND bActive=1";
constexpr char kEndSub[] = "UPDATE TarnServiceTask SET bActive=0 WHERE cIdentity=? AND cSub_Id=? AND bActive=1";
constexpr char kConfirmSub[] =
    "UPDATE TarnServiceTask SET nConfirmed=nConfirmed+1 WHERE cIdentity=? AND cSub_Id=? AND bActive=1";
constexpr char kList[] =
    "SELECT cSub_Id,cTaskId,nConfirmed FROM TarnServiceTask WHERE cIdentity=? AND bActive=1 "
    "ORDER BY cSub_Id,cTaskId";
constexpr char kAll[] = "SELECT cIdentity,cSub_Id,cTaskId,nConfirmed,bActive FROM TarnServiceTask";
// One statement, so that two sweepers cannot both adopt a task.
constexpr char kAdopt[] =
    "INSERT INTO TarnServiceTask (cIdentity,cSub_Id,cTaskId,nConfirmed,bActive) SELECT '','',?,?,1 "
    "WHERE NOT EXISTS (SELECT 1 FROM TarnServiceTask WHERE cTaskId=?)";
// Deleting with the count the sweeper saw decides which process got the
// entry, and loses to a confirmation that came meanwhile.
constexpr char kForget[] = "DELETE FROM TarnServiceTask WHERE cIdentity=? AND cTaskId=? AND nConfirmed=?";
constexpr char kOwner[] = "SELECT top 1 cIdentity FROM TarnServiceTask WHERE cTaskId=?";

std::string CreateSql(db::Flavor f) {
  const char* text = f == db::Flavor::kTsql ? "nvarchar" : "varchar";
  const char* real = f == db::Flavor::kPostgres ? "double precision" : "float";
  const std::string t(text);
  return "CREATE TABLE TarnServiceTask (cIdentity " + t + "(255) NOT NULL, cSub_Id " + t + "(20) NOT NULL, cTaskId " +
         t + "(100) NOT NULL, nConfirmed " + real + " NOT NULL, bActive int NOT NULL, " +
         "PRIMARY KEY (cIdentity, cTaskId))";
}

// Counts travel as doubles: exact far beyond any count a task reaches, and
// the column type every form of the table has.
Variant Count(int64_t n) { return Variant(static_cast<double>(n)); }
int64_t CountOf(const Variant& v) { return static_cast<int64_t>(std::llround(v.ToDouble())); }

class SqlTaskStore final : public TaskStore {
 public:
  explicit SqlTaskStore(db::ConnectionPtr conn) : conn_(std::move(conn)) {}

  Status Confirm(const std::string& identity, const std::string& sub, const std::string& task, bool* known) override {
    int64_t n = 0;
    Status s = conn_->Execute(db::Statement(kConfirm).Bind(identity).Bind(task), &n);
    if (s.ok() && n == 0 && !identity.empty()) {
      s = conn_->Execute(db::Statement(kClaim).Bind(identity).Bind(sub).Bind(task), &n);
    }
    *known = s.ok() && n > 0;
    return s;
  }

  Status Admit(const TaskEntry& e, int seat_limit, bool* admitted) override {
    *admitted = false;
    Status s = conn_->BeginTrans();
    if (!s.ok()) return s;
    int64_t used = 0;
    if (seat_limit >= 0) s = CountRows(db::Statement(kCountSub).Bind(e.sub), &used);
    if (s.ok() && (seat_limit < 0 || used < seat_limit)) {
      int64_t n = 0;
      s = conn_->Execute(db::Statement(kReactivate).Bind(e.sub).Bind(e.identity).Bind(e.task), &n);
      if (s.ok() && n == 0) {
        s = conn_->Execute(db::Statement(kInsert).Bind(e.identity).Bind(e.sub).Bind(e.task).Bind(Count(FreshCount())));
      }
      *admitted = s.ok();
    }
    if (!s.ok()) {
      *admitted = false;
      (void)conn_->RollbackTrans();  // the failure that ends the transaction is the one to report
      return s;
    }
    s = conn_->CommitTrans();
    if (!s.ok()) *admitted = false;
    return s;
  }

  Status EndTask(const std::string& identity, const std::string& task, int* ended) override {
    return Changed(db::Statement(kEndTask).Bind(identity).Bind(task), ended);
  }

  Status EndSubsystem(const std::string& identity, const std::string& sub, int* ended) override {
    return Changed(db::Statement(kEndSub).Bind(identity).Bind(sub), ended);
  }

  Status ConfirmSubsystem(const std::string& identity, const std::string& sub, int* confirmed) override {
    return Changed(db::Statement(kConfirmSub).Bind(identity).Bind(sub), confirmed);
  }

  Status List(const std::string& identity, std::vector<TaskEntry>* out) override {
    out->clear();
    db::ResultSet rs;
    Status s = conn_->Query(db::Statement(kList).Bind(identity), &rs);
    for (size_t r = 0; s.ok() && r < rs.rows(); ++r) {
      out->push_back(TaskEntry{identity, rs.at(r, 0).ToStringOrEmpty(), rs.at(r, 1).ToStringOrEmpty(),
                               CountOf(rs.at(r, 2)), true});
    }
    return s;
  }

  Status Owner(const std::string& task, std::string* identity) override {
    db::ResultSet rs;
    Status s = conn_->Query(db::Statement(kOwner).Bind(task), &rs);
    *identity = s.ok() && rs.rows() > 0 ? rs.at(0, 0).ToStringOrEmpty() : std::string();
    return s;
  }

  Status Snapshot(std::vector<TaskEntry>* out) override { return ReadTaskTable(*conn_, out); }

  Status Adopt(const std::string& task, bool* adopted, int64_t* beats) override {
    return AdoptTaskRow(*conn_, task, *beats = FreshCount(), adopted);
  }

  Status Forget(const TaskEntry& e, bool* forgotten) override { return ForgetTaskRow(*conn_, e, forgotten); }

 private:
  Status CountRows(const db::Statement& st, int64_t* n) {
    db::ResultSet rs;
    Status s = conn_->Query(st, &rs);
    *n = s.ok() && rs.rows() > 0 ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : 0;
    return s;
  }

  Status Changed(const db::Statement& st, int* changed) {
    int64_t n = 0;
    Status s = conn_->Execute(st, &n);
    *changed = static_cast<int>(n);
    return s;
  }

  db::ConnectionPtr conn_;
};

}  // namespace

Status ReadTaskTable(db::Connection& conn, std::vector<TaskEntry>* out) {
  out->clear();
  db::ResultSet rs;
  Status s = conn.Query(db::Statement(kAll), &rs);
  for (size_t r = 0; s.ok() && r < rs.rows(); ++r) {
    out->push_back(TaskEntry{rs.at(r, 0).ToStringOrEmpty(), rs.at(r, 1).ToStringOrEmpty(),
                             rs.at(r, 2).ToStringOrEmpty(), CountOf(rs.at(r, 3)), rs.at(r, 4).ToDouble() != 0});
  }
  return s;
}

Status ForgetTaskRow(db::Connection& conn, const TaskEntry& e, bool* forgotten) {
  int64_t n = 0;
  Status s = conn.Execute(db::Statement(kForget).Bind(e.identity).Bind(e.task).Bind(Count(e.beats)), &n);
  *forgotten = s.ok() && n > 0;
  return s;
}

Status AdoptTaskRow(db::Connection& conn, const std::string& task, int64_t beats, bool* adopted) {
  int64_t n = 0;
  Status s = conn.Execute(db::Statement(kAdopt).Bind(task).Bind(Count(beats)).Bind(task), &n);
  *adopted = s.ok() && n > 0;
  return s;
}

Status NewSqlTaskStore(db::ConnectionPtr conn, std::unique_ptr<TaskStore>* out) {
  db::ResultSet rs;
  if (!conn->Query(db::Statement(kProbe), &rs).ok()) {
    conn->ClearErrors();
    const std::string create = CreateSql(conn->flavor());
    Status s = conn->Execute(db::Statement(create));
    // Another process may have created it in the meantime.
    if (!s.ok() && !conn->Query(db::Statement(kProbe), &rs).ok()) return s;
    conn->ClearErrors();
  }
  *out = std::make_unique<SqlTaskStore>(std::move(conn));
  return Status::OK();
}

}  // namespace tarn::suite
