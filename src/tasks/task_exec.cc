// TaskExec: a module asks before it opens a function and tells when it
// closes it. Registration checks the holding, runs the exclusion rules
// before and after inserting its own task row, and writes the task log and
// the usage log; release deletes the row and closes the usage-log entry.
#include "tasks/task_exec.h"

#include <cmath>

#include "boundary/service_protocol.h"
#include "db/backend.h"
#include "core/login_parts.h"
#include "core/system_database.h"
#include "core/thread_state.h"
#include "db/national.h"
#include "platform/env.h"
#include "platform/text.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "service/service_calls.h"
#include "tarn/com_error.h"
#include "tarn/login.h"
#include "tasks/answers_ahead.h"
#include "tasks/exclusion_rules.h"
#include "tasks/login_task.h"
#include "tasks/stations.h"

namespace tarn {

bool clsLogin::TaskExec(const std::string& pAuth_id, int16_t bIsLock, int16_t iYear) {
  return tasks::RunTaskExec(state_->identity, state_->tasks, state_->connections, pAuth_id, bIsLock, iYear,
                            std::string());
}

bool clsLogin::TaskExecEx(const std::string& pAuth_id, int16_t bIsLock, int16_t iYear,
                          const std::string& pAuthClassCode) {
  core::RequireExtended(state_->identity, "TaskExecEx");
  return tasks::RunTaskExec(state_->identity, state_->tasks, state_->connections, pAuth_id, bIsLock, iYear,
                            pAuthClassCode);
}

namespace tasks {
namespace {

using db::Statement;

// SQL Server's deadlock victim and NOLOCK scan broken by data movement:
// reported as a task conflict, not as a database failure.
bool WasRepelled(const db::Connection& conn) {
  for (const db::DbError& e : conn.Errors()) {
    if (e.native_error == 1205 || e.native_error == 601) return true;
  }
  return false;
}

// A failed statement as the error the database raised.
[[noreturn]] void Raise(const db::Connection& conn, const Status& s) {
  const int32_t number = conn.Errors().empty() ? db::kErrCommand : conn.Errors().front().number;
  throw ComError(number, s.message(), "Provider");
}

// A read whose failure is raised: to the caller of TaskExec (full edition)
// or to the registration's handler (extended).
db::ResultSet Read(AnswersAhead& ahead, const Statement& statement) {
  db::ResultSet rows;
  const Status s = ahead.Query(statement, &rows);
  if (!s.ok()) Raise(ahead.connection(), s);
  return rows;
}

int64_t CountOf(const db::ResultSet& rows) {
  return rows.rows() > 0 && !rows.at(0, 0).IsNull() ? static_cast<int64_t>(rows.at(0, 0).ToDouble()) : 0;
}

// The system connection of the full edition: opened on demand from the
// account connection string, in ValeSystem; reopened once when that fails.
// Null with the error recorded when even the reopen fails.
db::Connection* UseSystemDatabase(const core::Identity& id, core::Connections& c) {
  if (id.edition == Edition::kExtended) {
    // The extended edition's own, opened on first use, with no USE: its
    // connection string names the catalog. Tried twice, as the full
    // edition reopens once.
    try {
      return core::SystemAdoDb(id, c).get();
    } catch (const ComError&) {
    }
    try {
      return core::SystemAdoDb(id, c).get();
    } catch (const ComError& e) {
      resources::RecordRawError(e.number(), e.description());
      return nullptr;
    }
  }
  Status st;
  if (!c.SystemConnection) {
    c.SystemConnection = db::Connection::Create();
    st = c.SystemConnection->Open(id.ValeDbName, "", "");
  }
  db::Connection& conn = *c.SystemConnection;
  if (st.ok()) st = conn.Execute(Statement("USE ValeSystem"));
  if (st.ok()) return &conn;
  conn.ClearErrors();
  if (conn.State() == db::ObjectState::kOpen) conn.Close();
  st = conn.Open(id.ValeDbName, "", "");
  if (!st.ok()) {
    const int32_t number = conn.Errors().empty() ? db::kErrOpen : conn.Errors().front().number;
    resources::RecordRawError(number, st.message());
    return nullptr;
  }
  (void)conn.Execute(Statement("USE ValeSystem"));  // errors are ignored here, as before the reopen
  return &conn;
}

// On SQLite a registration (or release) is one write transaction, for
// speed: one lock and one commit instead of one per statement. It stays
// sound because BEGIN IMMEDIATE takes the database's write lock first, so
// registrations from every process run one after another and each check
// sees every other registration whole or not at all; insert-then-check
// then holds trivially. Other backends keep a commit per statement: there
// a row must be seen by others before its own check runs. When the lock
// cannot be had, the statements run one by one as they would elsewhere.
class OneTransaction {
 public:
  // `writes`: a call that only reads takes no lock.
  OneTransaction(db::Connection& conn, bool writes) : conn_(conn) {
    if (!writes || conn.flavor() != db::Flavor::kSqlite) return;
    open_ = conn.BeginTrans().ok();
    if (!open_) conn.ClearErrors();
  }
  ~OneTransaction() { (void)Commit(); }
  OneTransaction(const OneTransaction&) = delete;
  OneTransaction& operator=(const OneTransaction&) = delete;

  Status Commit() {
    if (!open_) return Status::OK();
    open_ = false;
    Status s = conn_.CommitTrans();
    if (!s.ok()) (void)conn_.RollbackTrans();
    return s;
  }

 private:
  db::Connection& conn_;
  bool open_ = false;
};

// The registration's own failure while it writes: a conflict with another
// writer (9999) or a database error (22: message, CR, the database's text).
bool FailRegistration(const db::Connection& conn, const std::string& auth_id, const std::string& description) {
  if (WasRepelled(conn)) {
    resources::RecordError(resources::kTaskRepelled, resources::res::kTaskRepellent, {Variant(auth_id)});
  } else {
    resources::RecordRawError(resources::kTaskExecFailed,
                              resources::ResText(resources::res::kExceptTaskExec) + "\r" + description);
  }
  return false;
}

// Undoes a registration whose check failed: its own row, by its log id.
Status RemoveOwnRow(db::Connection& conn, double log_id) {
  return conn.Execute(Statement("DELETE  FROM UA_task with(rowlock) WHERE ilogid=?").Bind(log_id));
}

// Release (mode 0): the row of this task id and function, found or not,
// and its usage-log entry when there was a row.
Statement ReleaseLookupQuery(const core::Identity& id, const std::string& auth_id) {
  return db::StatementIn(id.edition == Edition::kExtended,
                         "SELECT top 1 ilogid FROM UA_task   WHERE ctaskid=? AND cauth_id=?")
      .Bind(id.TaskId)
      .Bind(auth_id);
}

// The same release where statements travel together: one unit that needs
// no answer first, so one round trip. The usage log closes before the row
// goes, both found by the log id the row carries; the lowest stands for the
// lookup's "top 1" so that both statements pick the same row of a function
// held twice, and the unit commits or fails whole. `known_function` makes
// it change nothing for a function UA_Auth lacks, which the full edition
// refuses from the answer read in the same unit.
std::vector<Statement> ReleaseUnit(const core::Identity& id, const std::string& auth_id, bool known_function) {
  const bool unicode = id.edition == Edition::kExtended;
  const char* close_log =
      known_function ? "UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=(SELECT "
                       "min(ilogid) FROM UA_task WHERE ctaskid=? AND cauth_id=?) AND ilogid>0 AND EXISTS(SELECT "
                       "cSub_id FROM UA_Auth WHERE cAuth_Id=?)"
                     : "UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=(SELECT "
                       "min(ilogid) FROM UA_task WHERE ctaskid=? AND cauth_id=?) AND ilogid>0";
  const char* remove = known_function
                           ? "DELETE  FROM UA_task with(rowlock) WHERE ctaskid=? AND cauth_id=? and ilogid=(SELECT "
                             "min(ilogid) FROM UA_task WHERE ctaskid=? AND cauth_id=?) AND EXISTS(SELECT cSub_id FROM "
                             "UA_Auth WHERE cAuth_Id=?)"
                           : "DELETE  FROM UA_task with(rowlock) WHERE ctaskid=? AND cauth_id=? and ilogid=(SELECT "
                             "min(ilogid) FROM UA_task WHERE ctaskid=? AND cauth_id=?)";
  std::vector<Statement> unit{
      db::StatementIn(unicode, close_log).Bind(id.TaskId).Bind(auth_id),
      db::StatementIn(unicode, remove).Bind(id.TaskId).Bind(auth_id).Bind(id.TaskId).Bind(auth_id)};
  if (known_function) {
    unit[0].Bind(auth_id);
    unit[1].Bind(auth_id);
  }
  return unit;
}

// The release's writes: the row and its usage-log entry as one unit.
Status ReleaseRow(const core::Identity& id, AnswersAhead& ahead, const std::string& auth_id) {
  db::Connection& conn = ahead.connection();
  if (conn.SendsTogether()) {
    for (const Status& done : ahead.QueryUnit(ReleaseUnit(id, auth_id, id.edition == Edition::kFull))) {
      if (!done.ok()) return done;
    }
    return Status::OK();
  }
  double log_id = 0;
  db::ResultSet row;
  if (Status st = ahead.Query(ReleaseLookupQuery(id, auth_id), &row); !st.ok()) return st;
  if (row.rows() > 0 && !row.at(0, 0).IsNull()) log_id = row.at(0, 0).ToDouble();
  // The usage log is closed only when the row went; where the two travel
  // together they also commit together.
  std::vector<Statement> steps{
      db::StatementIn(id.edition == Edition::kExtended,
                      "DELETE  FROM UA_task with(rowlock) WHERE ctaskid=? AND cauth_id=? and ilogid=?")
          .Bind(id.TaskId)
          .Bind(auth_id)
          .Bind(log_id)};
  if (log_id > 0) {
    steps.push_back(
        Statement("UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=?").Bind(log_id));
  }
  std::vector<db::ResultSet> ignored;
  for (const Status& done : conn.QueryEach(steps, &ignored, true)) {
    if (!done.ok()) return done;
  }
  return Status::OK();
}

bool Release(const core::Identity& id, AnswersAhead& ahead, const std::string& auth_id) {
  db::Connection& conn = ahead.connection();
  // A row found or not is the same success, but an object without a task
  // id of its own looks for no row at all: "released" would tell the
  // module its function is free while its row may still hold others out.
  if (id.TaskId.empty()) {
    resources::RecordRawError(resources::kReleaseFailed, resources::ResText(resources::res::kFailReleaseTask) +
                                                             "\rthe login object holds no task: it has not signed on");
    return false;
  }
  conn.ClearErrors();
  if (const Status st = ReleaseRow(id, ahead, auth_id); !st.ok()) {
    if (WasRepelled(conn)) {
      resources::RecordError(resources::kTaskRepelled, resources::res::kExceptionReleaseTask);
    } else {
      resources::RecordRawError(resources::kReleaseFailed,
                                resources::ResText(resources::res::kFailReleaseTask) + "\r" + st.message());
    }
    return false;
  }
  resources::ClearLastError();
  return true;
}

// The administrators hold everything without a read.
bool HoldsEverything(const core::Identity& id) {
  const std::string user = AsciiUpper(id.cUserId);
  return user == "ADMIN" || user == "ASUSER" || id.IsAdmin;
}

Statement HoldsQuery(const core::Identity& id, const std::string& auth_id, int32_t year) {
  if (id.edition == Edition::kExtended) {
    return Statement(
               "SELECT top 1 cauth_id FROM UA_HoldAuth with(nolock) WHERE cacc_id=N? AND iyear=? AND "
               "(cuser_id=N? or cuser_id in (select distinct cGroup_id from ua_role with(nolock) "
               "where cuser_id=N?)) AND (cauth_id=N? OR UPPER(cauth_id)=N'ADMIN')")
        .Bind(id.cAcc_Id)
        .Bind(year)
        .Bind(id.cUserId)
        .Bind(id.cUserId)
        .Bind(auth_id);
  }
  return Statement(
             "SELECT COUNT(*) FROM UA_HoldAuth WHERE cacc_id=? AND iyear=? AND (cuser_id=? or "
             "cuser_id in (select distinct cGroup_id from ua_role where cuser_id=?)) AND "
             "(cauth_id=? OR UPPER(cauth_id)='ADMIN')")
      .Bind(id.cAcc_Id)
      .Bind(year)
      .Bind(id.cUserId)
      .Bind(id.cUserId)
      .Bind(auth_id);
}

// Whether the user holds the function, directly or through a group, with
// its id or with ADMIN.
bool Holds(const core::Identity& id, AnswersAhead& ahead, const std::string& auth_id, int32_t year) {
  if (HoldsEverything(id)) return true;
  const db::ResultSet rows = Read(ahead, HoldsQuery(id, auth_id, year));
  return id.edition == Edition::kExtended ? rows.rows() > 0 : CountOf(rows) >= 1;
}

Statement FunctionQuery(bool extended, const std::string& auth_id) {
  return extended ? Statement("SELECT top 1 cSub_id,cAuth_Name,cAuthType FROM UA_Auth with(nolock) WHERE cAuth_Id=N?")
                        .Bind(auth_id)
                  : Statement("SELECT cSub_id,cAuth_Name FROM UA_Auth WHERE cAuth_Id=?").Bind(auth_id);
}

Statement LogIdTakenQuery(double log_id) {
  return Statement("SELECT top 1  iLogId FROM UA_task with(nolock) WHERE iLogId=?").Bind(log_id);
}

// The log id of a new function task: now as a day number times r times
// 100000 (the extended edition adds the task id read as a number), kept as
// the 15 significant digits it is written with, so that every statement
// and every station sees the same number.
double DrawLogId(const core::Identity& id) {
  Env& env = Env::Current();
  env.Reseed();
  const double r = env.Random();
  double log_id = env.Now().serial * r * 100000.0;
  if (id.edition == Edition::kExtended) log_id += Variant(id.TaskId).ToDouble();
  return Variant(FormatNumber(log_id)).ToDouble();
}

// How far the decision before the own row gets: an answer, a release, or
// a row to insert and check again.
struct Decision {
  enum Kind { kAnswered, kRelease, kInsert } kind = kAnswered;
  bool answer = false;
  // A false answer's failure to record; none in the full edition's
  // holding-only mode, which records nothing.
  std::optional<Conflict> refusal;
  RuleContext ctx;
  RuleRequest request;
  int profile = 0;
};

Decision Answer(bool answer) {
  Decision d;
  d.answer = answer;
  return d;
}
Decision Refuse(int32_t code, const char* res_id, std::vector<Variant> args = {}) {
  Decision d;
  d.refusal = Conflict{code, res_id, std::move(args)};
  return d;
}

// The decision on the system connection: the holding, the function, the
// profile and the look before the own row exists. Writes nothing and
// records nothing, so that a dry run takes the same path. The full edition
// lets the database errors of its holding, function and profile reads
// reach the caller and skips those of its look; the extended edition
// raises every one.
// `along`: the caller's own reads to answer in the same trip.
Decision Decide(const core::Identity& id, AnswersAhead& ahead, const std::string& auth_id, int16_t mode,
                int32_t effective_year, bool strict, const std::string& class_code, std::vector<Statement> along = {}) {
  db::Connection& conn = ahead.connection();
  const bool extended = id.edition == Edition::kExtended;
  // The full edition's function, holding and profile reads depend on none
  // of each other's answers: where it saves round trips they go together.
  // A release's function read went with its writes (see Register).
  const bool registers = mode == kRegister || mode == kCheckOnly;
  if (!extended && registers && conn.SendsTogether()) {
    std::vector<Statement> reads{FunctionQuery(false, auth_id)};
    if (!HoldsEverything(id)) reads.push_back(HoldsQuery(id, auth_id, effective_year));
    if (mode == kRegister) reads.push_back(ExclusionProfileQuery(auth_id));
    for (Statement& st : along) reads.push_back(std::move(st));
    (void)ahead.Send(std::move(reads));
  }
  if (extended) {
    // One holding check for every mode but the release, before the
    // function is looked up: releasing an unknown id succeeds.
    if (mode == kRelease) {
      Decision d;
      d.kind = Decision::kRelease;
      return d;
    }
    if (!Holds(id, ahead, auth_id, effective_year)) {
      return Refuse(resources::kAuthNotHeld, resources::res::kNotHoldAuth);
    }
    if (mode == kHoldingOnly) return Answer(true);
  } else if (mode == kHoldingOnly) {
    // Holding only: the login year, no exemption, nothing recorded.
    return Answer(CountOf(Read(ahead, Statement("SELECT COUNT(*) FROM UA_HoldAuth WHERE cacc_id=? AND iyear=? AND "
                                                "(cuser_id=? or cuser_id in (select distinct cGroup_id from ua_role "
                                                "where cuser_id=?)) AND (UPPER(cAuth_Id)='ADMIN' OR cAuth_Id = ?)")
                                          .Bind(id.cAcc_Id)
                                          .BindNumber(id.cIYear)
                                          .Bind(id.cUserId)
                                          .Bind(id.cUserId)
                                          .Bind(auth_id))) > 0);
  }
  // The function; the extended edition's carries its exclusion kinds.
  const db::ResultSet function = Read(ahead, FunctionQuery(extended, auth_id));
  if (function.rows() == 0)
    return Refuse(resources::kAuthIdUnknown, resources::res::kNotExistAuthID, {Variant(auth_id)});
  Decision d;
  d.request.auth_id = auth_id;
  d.request.auth_sub = function.at(0, 0).ToStringOrEmpty();
  d.request.auth_name = function.at(0, 1).ToStringOrEmpty();
  d.request.year = effective_year;
  if (extended) d.request.auth_type = function.at(0, 2).ToStringOrEmpty();
  d.ctx = RuleContext{&conn, id.edition, id.cAcc_Id, id.cSub_Id, id.cIYear, TaskStation(id), strict, class_code};
  // Any mode but register and check releases (in the extended edition,
  // a mode it does not know, after its holding check).
  if (mode != kRegister && mode != kCheckOnly) {
    d.kind = Decision::kRelease;
    return d;
  }
  // The holding check.
  if (!extended && !Holds(id, ahead, auth_id, effective_year)) {
    return Refuse(resources::kAuthNotHeld, resources::res::kNotHoldAuth);
  }
  // Check only.
  if (mode == kCheckOnly) {
    d.answer = true;
    return d;
  }
  // The exclusion profile (the extended edition's is cAuthType).
  d.profile = extended ? 0 : ExclusionProfile(ahead, auth_id);
  // A quick look before the own row exists, so that an obvious
  // conflict costs no write.
  if (std::optional<Conflict> c = CheckRules(d.ctx, d.request, d.profile, Phase::kBeforeInsert)) {
    d.refusal = std::move(c);
    return d;
  }
  d.kind = Decision::kInsert;
  return d;
}

// The authoritative check with the own row in place (its log id in the request),
// or, in a dry run, where it would stand (log id 0: no row is spared).
std::optional<Conflict> CheckAfterOwnRow(const Decision& d) {
  if (d.ctx.edition == Edition::kFull && !IsAcceptedProfile(d.profile)) {
    return Conflict{resources::kBadExclusionProfile, resources::res::kExceptionAuthID, {Variant(d.request.auth_id)}};
  }
  return CheckRules(d.ctx, d.request, d.profile, Phase::kAfterInsert);
}

// The decision, then the writes it allows.
bool Register(const core::Identity& id, const core::TaskControl& tasks, db::Connection& conn,
              const std::string& auth_id, int16_t mode, int32_t effective_year, const std::string& class_code) {
  const bool extended = id.edition == Edition::kExtended;
  // Statements whose failure the full edition skips.
  auto tolerated = [&](const Status& st) {
    if (extended && !st.ok()) Raise(conn, st);
    return st.ok();
  };

  // Where reads travel together, the log id is drawn first, so that the
  // look for it goes with the decision's reads. A release needs no answer
  // before it writes: its function read and its writes go as one unit,
  // which changes nothing when the function is unknown and Decide refuses.
  AnswersAhead ahead(conn);
  const bool early = !extended && conn.SendsTogether();
  std::optional<double> log_id;
  std::vector<Statement> along;
  if (early && mode == kRegister) {
    log_id = DrawLogId(id);
    along.push_back(LogIdTakenQuery(*log_id));
  } else if (early && mode != kCheckOnly && mode != kHoldingOnly && !id.TaskId.empty()) {
    // (Without a task id of its own the release looks for no row at all.)
    std::vector<Statement> unit = ReleaseUnit(id, auth_id, true);
    unit.insert(unit.begin(), FunctionQuery(false, auth_id));
    ahead.SendAsOne(std::move(unit));
  }
  Decision d =
      Decide(id, ahead, auth_id, mode, effective_year, tasks.StrictSubsystemLock, class_code, std::move(along));
  if (d.refusal) {
    resources::RecordError(d.refusal->code, d.refusal->res_id, std::move(d.refusal->args));
    return false;
  }
  if (d.kind == Decision::kAnswered) return d.answer;
  if (d.kind == Decision::kRelease) return Release(id, ahead, auth_id);
  RuleRequest& request = d.request;
  // The log id.
  conn.ClearErrors();
  request.log_id = log_id ? *log_id : DrawLogId(id);
  // A log id that exists already ends the registration.
  db::ResultSet taken;
  if (tolerated(ahead.Query(LogIdTakenQuery(request.log_id), &taken)) && taken.rows() > 0) {
    resources::RecordError(resources::kTaskLogIdTaken, resources::res::kErrorWriteTask);
    return false;
  }
  // The own row. Every statement commits on its own: the row is seen by
  // every other station as soon as this returns.
  Statement insert(extended ? (class_code.empty()
                                   ? "INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,"
                                     "cTaskId,iLogId,cSub_id,cAppServer) VALUES(N?,?,N?,N?,N?,N?,?,N?,N?)"
                                   : "INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,"
                                     "cTaskId,iLogId,cSub_id,cAppServer,cAuthClassCode) "
                                     "VALUES(N?,?,N?,N?,N?,N?,?,N?,N?,N?)")
                            : "INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,"
                              "iLogId,cSub_id,cAppServer) VALUES(?,?,?,?,?,?,?,?,?)");
  insert.Bind(id.cAcc_Id)
      .Bind(effective_year)
      .Bind(id.cUserId)
      .Bind(auth_id)
      .Bind(d.ctx.station)
      .Bind(id.TaskId)
      .Bind(request.log_id)
      .Bind(request.auth_sub)
      .Bind(id.cServerSerial);
  if (extended && !class_code.empty()) insert.Bind(class_code);
  // Where it saves round trips, the row goes together with the first read
  // of every rule and the task log's: each runs after the row is in, as it
  // would one by one.
  const Statement task_logged =
      db::StatementIn(extended, "SELECT top 1 ctaskid FROM UA_tasklog with(nolock) WHERE ctaskid=?").Bind(id.TaskId);
  std::vector<Statement> reads;
  if (conn.SendsTogether()) {
    reads = FirstReads(d.ctx, request, d.profile, Phase::kAfterInsert);
    reads.push_back(task_logged);
  }
  d.ctx.ahead = &ahead;
  // Without its row the function would run unguarded, seen by no other
  // station's check: a failed insert fails the registration in both
  // editions, as the registration handler reports it.
  if (const Status written = ahead.Send(insert, std::move(reads)); !written.ok()) {
    return FailRegistration(conn, auth_id, written.message());
  }

  // The authoritative check, against every row inserted so far but the
  // own one. Of two conflicting registrations A and B, each inserts its row
  // before it checks. If neither saw the other, A checked before B
  // inserted and B checked before A inserted; but A inserted before it
  // checked, so B checked before A inserted before A checked before B
  // inserted, which contradicts B inserting before it checked. So at least
  // one sees the other and backs off, and at most one holds at any moment;
  // when both check after both inserted, both back off.
  conn.ClearErrors();
  std::optional<Conflict> conflict;
  try {
    conflict = CheckAfterOwnRow(d);
  } catch (const ComError& e) {
    // The check could not run with the own row in place: the
    // registration fails, since nothing showed it is alone, and its row
    // goes as after a conflict, or it would shut out others for a task
    // nobody runs.
    FailRegistration(conn, auth_id, e.description());
    (void)RemoveOwnRow(conn, request.log_id);  // the failure reported is the check's
    return false;
  }
  if (conflict) {
    resources::RecordError(conflict->code, conflict->res_id, std::move(conflict->args));
    if (const Status undone = RemoveOwnRow(conn, request.log_id); !undone.ok()) {
      FailRegistration(conn, auth_id, undone.message());
    }
    return false;
  }

  // The task log, once per task id, and the usage log. A failure
  // here leaves the row for a release (or the lease) to remove.
  db::ResultSet logged;
  Status st = ahead.Query(task_logged, &logged);
  if (st.ok() && logged.rows() == 0) {
    st = conn.Execute(db::StatementIn(extended,
                                      "INSERT INTO UA_TaskLog with(rowlock)(cSub_Id,cSub_Name,cStation,dInTime,cTaskId,"
                                      "TaskState,cAppServer) VALUES(?,?,?, CONVERT(VarChar, getdate(), 121) ,?,'0',?)")
                          .Bind(id.cSub_Id)
                          .Bind(id.cSubName)
                          .Bind(d.ctx.station)
                          .Bind(id.TaskId)
                          .Bind(id.cServerSerial));
  }
  if (st.ok()) {
    // The log-in time stays a plain literal in both editions.
    st = conn.Execute(Statement(extended ? "INSERT INTO UA_log with(rowlock) VALUES(N?,N?,N?,N?,N?,?,NULL,?,N?,0)"
                                         : "INSERT INTO UA_log with(rowlock) VALUES(?,?,?,?,?,?,NULL,?,?,0)")
                          .Bind(id.cAcc_Id)
                          .Bind(request.auth_sub)
                          .Bind(id.cUserId)
                          .Bind(auth_id)
                          .Bind(core::Thread().computer_name)
                          // The second it is in, not the nearest: rounded up, it would
                          // fall after a release the server stamps within that second.
                          .Bind(FormatDateTime(Date{std::floor(Env::Current().Now().serial * 86400.0) / 86400.0}))
                          .Bind(request.log_id)
                          .Bind(std::to_string(effective_year)));
  }
  if (!st.ok()) return FailRegistration(conn, auth_id, st.message());
  // Registered: the last error is cleared.
  resources::ClearLastError();
  return true;
}

// The first steps of a call, which a dry run takes too.
// Mode 3 registers with the strict subsystem lock.
int16_t ModeOf(int16_t mode, bool* strict) {
  *strict = mode == kRegisterStrict;
  return *strict ? kRegister : mode;
}
// A login without a user, but the account set service's.
bool NobodySignedOn(const core::Identity& id) { return id.cUserId.empty() && id.cSub_Id != "AS"; }
// SYSLOCK ids are never checked, registered or logged.
bool NeverChecked(const std::string& auth_id) { return StartsWithNoCase(auth_id, "SYSLOCK"); }
// The effective year: a year from 1900 on as asked, else the login's.
int32_t EffectiveYear(const core::Identity& id, int16_t year) {
  return year >= 1900 ? year : Variant(id.cIYear).ToInt16();
}

}  // namespace

bool RunTaskExec(const core::Identity& id, core::TaskControl& tasks, core::Connections& c, const std::string& auth_id,
                 int16_t mode, int16_t year, const std::string& class_code) {
  // Strict subsystem lock for this call only.
  mode = ModeOf(mode, &tasks.StrictSubsystemLock);
  // A login without a user.
  if (NobodySignedOn(id)) {
    resources::RecordError(resources::kNoUserSignedOn, resources::res::kNotCompleteLogin2);
    return false;
  }
  // The management service admits every request but a release.
  if (mode != kRelease) {
    const int16_t admitted = service::SvcConnectEx(id.RightServer, id.cSerial,
                                                   boundary::MapSubIdForEdition(id.cSub_Id, id.IsGroupVer), id.TaskId);
    if (admitted == -1 || (admitted == 1 && !RegisterLoginTask(id, c))) {
      // An empty server is this machine's own service: say which machine.
      const std::string server = id.RightServer.empty() ? Env::Current().ComputerName() : id.RightServer;
      resources::RecordError(resources::kServiceRefusedTask, resources::res::kFailCallLogin, {Variant(server)});
      return false;
    }
  }
  // SYSLOCK ids.
  if (NeverChecked(auth_id)) return true;
  const int32_t effective_year = EffectiveYear(id, year);
  // The system connection.
  db::Connection* conn = UseSystemDatabase(id, c);
  if (conn == nullptr) return false;
  OneTransaction transaction(*conn, mode != kCheckOnly && mode != kHoldingOnly);
  bool answer;
  if (id.edition == Edition::kFull) {
    // Raised errors reach the caller; the transaction commits on the way
    // out, so what was written stays, as it would statement by statement.
    answer = Register(id, tasks, *conn, auth_id, mode, effective_year, class_code);
  } else {
    // The extended edition reports every database error of the
    // registration as the registration's failure; an inserted row stays
    // for its release.
    try {
      answer = Register(id, tasks, *conn, auth_id, mode, effective_year, class_code);
    } catch (const ComError& e) {
      answer = FailRegistration(*conn, auth_id, e.description());
    }
  }
  if (const Status committed = transaction.Commit(); !committed.ok()) {
    // Nothing of it was kept: a registration that answered true would
    // leave its function running unguarded.
    if (mode != kRegister) {  // a release
      resources::RecordRawError(resources::kReleaseFailed,
                                resources::ResText(resources::res::kFailReleaseTask) + "\r" + committed.message());
      return false;
    }
    return FailRegistration(*conn, auth_id, committed.message());
  }
  return answer;
}

Verdict TryTaskExec(const core::Identity& id, db::Connection& conn, const std::string& auth_id, int16_t mode,
                    int16_t year, const std::string& class_code) {
  bool strict = false;
  mode = ModeOf(mode, &strict);
  if (mode != kRegister && mode != kCheckOnly) {
    throw ComError(errnum::kInvalidCall, "only a registration or a check can be tried");
  }
  Verdict v;
  v.station = TaskStation(id);
  if (NobodySignedOn(id)) {
    v.code = resources::kNoUserSignedOn;
    v.res_id = resources::res::kNotCompleteLogin2;
    return v;
  }
  v.granted = v.never_checked = NeverChecked(auth_id);
  if (v.granted) return v;
  v.year = EffectiveYear(id, year);
  AnswersAhead ahead(conn);
  Decision d = Decide(id, ahead, auth_id, mode, v.year, strict, class_code);
  v.auth_name = d.request.auth_name;
  std::optional<Conflict> refusal = std::move(d.refusal);
  if (!refusal && d.kind == Decision::kInsert) refusal = CheckAfterOwnRow(d);
  if (refusal) {
    v.code = refusal->code;
    v.res_id = std::move(refusal->res_id);
    v.args = std::move(refusal->args);
    return v;
  }
  v.granted = d.kind == Decision::kInsert || d.answer;
  return v;
}

}  // namespace tasks
}  // namespace tarn
