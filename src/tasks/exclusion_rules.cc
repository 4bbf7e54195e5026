#include "tasks/exclusion_rules.h"

#include "db/backend.h"
#include "db/national.h"
#include "db/raise.h"
#include "platform/text.h"
#include "resources/error_codes.h"
#include "tasks/answers_ahead.h"

namespace tarn::tasks {
namespace {

using db::Statement;

// A statement of a rule failed: the rule ends without a finding (full
// edition), or the registration's handler takes the error (extended).
struct RuleFailed {
  std::string message;
};

bool Extended(const RuleContext& ctx) { return ctx.edition == Edition::kExtended; }

// A template both editions run: the extended edition writes every string
// of it as a Unicode literal.
Statement Sql(const RuleContext& ctx, std::string_view template_sql) {
  return db::StatementIn(Extended(ctx), template_sql);
}

db::ResultSet Rows(const RuleContext& ctx, const Statement& statement) {
  db::ResultSet rows;
  const Status s = ctx.ahead ? ctx.ahead->Query(statement, &rows) : ctx.conn->Query(statement, &rows);
  if (!s.ok()) throw RuleFailed{s.message()};
  return rows;
}

// With a class code the extended edition's pair rules see only running
// tasks of that class or of none: the task query with this appended.
constexpr std::string_view kClassFilter = " AND (cAuthClassCode =N? or IsNull(cAuthClassCode, '') = '')";

// The task query of a pair rule, class-bound when the request has a class.
// Both forms of each template are made once and kept.
class ClassBoundQuery {
 public:
  explicit ClassBoundQuery(std::string_view sql) : plain_(sql), bound_(std::string(sql) + std::string(kClassFilter)) {}
  Statement For(const RuleContext& ctx) const { return Statement(ctx.class_code.empty() ? plain_ : bound_); }
  // Binds the class code when the statement carries the filter.
  static void BindClass(const RuleContext& ctx, Statement& st) {
    if (!ctx.class_code.empty()) st.Bind(ctx.class_code);
  }

 private:
  std::string plain_, bound_;
};

std::string Text(const db::ResultSet& rows, size_t r, size_t c) { return rows.at(r, c).ToStringOrEmpty(); }

// The values of one column, in row order, for an IN (?) list.
std::vector<Variant> Column(const db::ResultSet& rows, size_t c) {
  std::vector<Variant> values;
  values.reserve(rows.rows());
  for (size_t r = 0; r < rows.rows(); ++r) values.push_back(Variant(Text(rows, r, c)));
  return values;
}

std::string NameOf(const RuleContext& ctx, const std::string& auth_id) {
  db::ResultSet rows;
  if (!ctx.conn->Query(Sql(ctx, "SELECT TOP 1 cauth_name FROM UA_Auth WHERE cauth_id=?").Bind(auth_id), &rows).ok() ||
      rows.rows() == 0) {
    return std::string();
  }
  return rows.at(0, 0).ToStringOrEmpty();
}

// Five arguments: station, running id, its name, requested id, its name.
Conflict Five(const RuleContext& ctx, const RuleRequest& q, int32_t code, const char* res_id, std::string station,
              const std::string& running) {
  return Conflict{code,
                  res_id,
                  {Variant(std::move(station)), Variant(running), Variant(NameOf(ctx, running)), Variant(q.auth_id),
                   Variant(q.auth_name)}};
}

// Six: station, running subsystem, running id, its name, requested id, its
// name.
Conflict Six(const RuleContext& ctx, const RuleRequest& q, int32_t code, const char* res_id, const db::ResultSet& row) {
  const std::string running = Text(row, 0, 2);
  return Conflict{code,
                  res_id,
                  {Variant(Text(row, 0, 0)), Variant(Text(row, 0, 1)), Variant(running), Variant(NameOf(ctx, running)),
                   Variant(q.auth_id), Variant(q.auth_name)}};
}

// Is an exclusive function (UA_ControlEx) running in the account? Takes
// no log id: an exclusive function has profile 1 or 2 and never runs it.
// The join is walked from the short list of exclusive functions into the
// running tasks by function (CROSS JOIN keeps SQLite to that order), so
// that its cost does not grow with the account set's running tasks.
Statement ExclusiveListQuery(const RuleContext& ctx, const RuleRequest& q) {
  return Extended(ctx) ? Statement(
                             "SELECT TOP 1 cstation,UA_task.cauth_id as cauth_id,iAuthType FROM UA_ControlEx "
                             "with(nolock) CROSS JOIN UA_task with(nolock) WHERE "
                             "UA_ControlEx.cauth_id=UA_task.cauth_id AND (iAuthType =1 and  iyear=? or "
                             "iAuthType=2)  AND cacc_id=N? ")
                             .Bind(q.year)
                             .Bind(ctx.account)
                       : Statement(
                             "SELECT TOP 1 cstation,UA_task.cauth_id as cauth_id,iAuthType FROM UA_ControlEx "
                             "with(nolock) CROSS JOIN UA_task with(nolock) WHERE cacc_id=? AND (iAuthType =1 and  "
                             "iyear=? or iAuthType=2) AND UA_task.cauth_id=UA_ControlEx.cauth_id AND "
                             "UA_task.cauth_id<>'reg'")
                             .Bind(ctx.account)
                             .Bind(q.year);
}

std::optional<Conflict> CheckExclusiveList(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet row = Rows(ctx, ExclusiveListQuery(ctx, q));
  if (row.rows() == 0) return std::nullopt;
  const bool year_only = !row.at(0, 2).IsNull() && row.at(0, 2).ToInt32() == 1;
  return Five(ctx, q, resources::kConflictExclusive, year_only ? kTaskRepellent2Year : resources::res::kTaskRepellent2,
              Text(row, 0, 0), Text(row, 0, 1));
}

// The function needs the account (or one year of it) to itself: every
// other task there conflicts, but this station's logins into its own
// subsystem, AA and DP.
Statement LockQuery(const RuleContext& ctx, const RuleRequest& q, bool year_only) {
  Statement st = Sql(ctx, year_only ? "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE "
                                      "cacc_id=? AND  ilogid<>? and (not (cauth_id='reg' and cstation=? and (cSub_Id=? "
                                      "or csub_id='AA' or csub_id='DP'))) AND iyear=?"
                                    : "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE "
                                      "cacc_id=? and  ilogid<>? and (not (cauth_id='reg' and cstation=? and (cSub_Id=? "
                                      "or csub_id='AA' or csub_id='DP')))");
  st.Bind(ctx.account).Bind(q.log_id).Bind(ctx.station).Bind(ctx.login_sub);
  if (year_only) st.Bind(q.year);
  return st;
}

std::optional<Conflict> CheckLock(const RuleContext& ctx, const RuleRequest& q, bool year_only) {
  const db::ResultSet row = Rows(ctx, LockQuery(ctx, q, year_only));
  if (row.rows() == 0) return std::nullopt;
  return year_only ? Six(ctx, q, resources::kConflictYear, resources::res::kTaskRepellent4, row)
                   : Six(ctx, q, resources::kConflictExclusive, resources::res::kTaskRepellent3, row);
}

std::optional<Conflict> CheckAccountLock(const RuleContext& ctx, const RuleRequest& q) {
  return CheckLock(ctx, q, false);
}

std::optional<Conflict> CheckYearLock(const RuleContext& ctx, const RuleRequest& q) { return CheckLock(ctx, q, true); }

// The function's pairs, from either side, in the same year. The extended
// edition pairs kind 0 only, within the request's class.
Statement PartnersQuery(const RuleContext& ctx, const RuleRequest& q) {
  return Extended(ctx) ? Statement(
                             "SELECT  crepellent as ctask FROM UA_control with (nolock)  WHERE cauth_id=N? AND "
                             "iauthtype=0 UNION SELECT cauth_id as ctask FROM UA_control with (nolock)  WHERE "
                             "crepellent=N? AND iauthtype=0 ")
                             .Bind(q.auth_id)
                             .Bind(q.auth_id)
                       : Statement(
                             "SELECT crepellent as ctask FROM UA_control with (nolock)  WHERE cauth_id=? AND "
                             "(iauthtype<1 OR iauthtype IS NULL) UNION SELECT cauth_id as ctask FROM UA_control "
                             "with (nolock)  WHERE crepellent=? AND (iauthtype=0 OR iauthtype IS NULL)")
                             .Bind(q.auth_id)
                             .Bind(q.auth_id);
}

std::optional<Conflict> CheckRepellentPairs(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet partners = Rows(ctx, PartnersQuery(ctx, q));
  if (partners.rows() == 0) return std::nullopt;
  static const ClassBoundQuery kFull(
      "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock)  WHERE "
      "cacc_id=? and  ilogid<>? AND iyear=? AND cauth_id IN (?)");
  static const ClassBoundQuery kExtended(
      "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock)  WHERE "
      "cacc_id=N? and  ilogid<>? AND iyear=? AND cauth_id IN (N?)");
  Statement st = (Extended(ctx) ? kExtended : kFull).For(ctx);
  st.Bind(ctx.account).Bind(q.log_id).Bind(q.year).BindList(Column(partners, 0));
  ClassBoundQuery::BindClass(ctx, st);
  const db::ResultSet row = Rows(ctx, st);
  if (row.rows() == 0) return std::nullopt;
  return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent5, Text(row, 0, 0),
              Text(row, 0, 2));
}

// Kind 3: no other leaf function of the subsystem may run beside the
// function, but those it exempts; and the function may not start beside a
// running kind-3 function that does not exempt it.
Statement OwnSubsystemLockQuery(const RuleRequest& q) {
  return Statement("select  isnull(cNotRepellent,'') from UA_control  with (nolock) where cauth_id=? and  iauthtype=3")
      .Bind(q.auth_id);
}

// The reverse direction reads the login year as held, not the effective
// year.
Statement RunningSubsystemLocksQuery(const RuleContext& ctx, const RuleRequest& q) {
  return Statement(
             "SELECT distinct cstation, ua_Task.cauth_id FROM ua_Task with(nolock)  WHERE cacc_id=? AND "
             "iyear=? and cSub_id=? and ilogid<>? and  cauth_id in (Select cAuth_ID from ua_Control with "
             "(nolock)  where iAuthType=3)")
      .Bind(ctx.account)
      .BindNumber(ctx.login_year)
      .Bind(q.auth_sub)
      .Bind(q.log_id);
}

std::optional<Conflict> CheckSubsystemLock(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet own = Rows(ctx, OwnSubsystemLockQuery(q));
  if (own.rows() > 0) {
    const db::ResultSet any =
        Rows(ctx, Statement("SELECT top 1 cauth_id FROM ua_auth_base with(nolock) WHERE bEndGrade=1 and cSub_id=? and "
                            "cauth_id not in (select  isnull(cNotRepellent,'') from UA_control with (nolock) where "
                            "cauth_id=? and  iauthtype=3)")
                      .Bind(q.auth_sub)
                      .Bind(q.auth_id));
    if (any.rows() == 0) return std::nullopt;  // every leaf exempted: no reverse scan either
    const db::ResultSet leaves = Rows(
        ctx, Statement("SELECT distinct cauth_id FROM ua_auth_base with(nolock) WHERE bEndGrade=1 and cSub_id=? and "
                       "cauth_id not in (select  isnull(cNotRepellent,'') from UA_control with (nolock) where "
                       "cauth_id=? and  iauthtype=3)")
                 .Bind(q.auth_sub)
                 .Bind(q.auth_id));
    // With the strict flag another station's login into the subsystem
    // conflicts too.
    const db::ResultSet row =
        ctx.strict
            ? Rows(ctx, Statement("SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock)  WHERE cacc_id=? "
                                  "AND iyear=? AND cSub_id=? and ilogid<>? AND (cauth_id IN (?) or (cauth_id='reg' and "
                                  "csub_id=? and cstation<>?))")
                            .Bind(ctx.account)
                            .Bind(q.year)
                            .Bind(q.auth_sub)
                            .Bind(q.log_id)
                            .BindList(Column(leaves, 0))
                            .Bind(ctx.login_sub)
                            .Bind(ctx.station))
            : Rows(ctx, Statement("SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock)  WHERE cacc_id=? "
                                  "AND iyear=? AND cSub_id=? and ilogid<>? AND (cauth_id IN (?) )")
                            .Bind(ctx.account)
                            .Bind(q.year)
                            .Bind(q.auth_sub)
                            .Bind(q.log_id)
                            .BindList(Column(leaves, 0)));
    if (row.rows() > 0) {
      return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent6, Text(row, 0, 0),
                  Text(row, 0, 2));
    }
  }
  const db::ResultSet running = Rows(ctx, RunningSubsystemLocksQuery(ctx, q));
  for (size_t r = 0; r < running.rows(); ++r) {
    const db::ResultSet exempt =
        Rows(ctx, Statement("SELECT cauth_id FROM UA_control with (nolock) WHERE cauth_id=? and iauthtype=3 and "
                            "cNotRepellent=?")
                      .Bind(Text(running, r, 1))
                      .Bind(q.auth_id));
    if (exempt.rows() == 0) {
      return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent6, Text(running, r, 0),
                  Text(running, r, 1));
    }
  }
  return std::nullopt;
}

// The extended edition's kind 3: a pair bound to the function's subsystem.
// The partners are kind-0 rows of UA_controlex, from either side; they
// conflict only while they run in that subsystem.
std::optional<Conflict> CheckSubsystemPair(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet partners =
      Rows(ctx, Statement("SELECT crepellent as ctask FROM UA_controlex with (nolock)  WHERE cauth_id=N? AND "
                          "iauthtype=0 UNION SELECT cauth_id as ctask FROM UA_controlex with (nolock)  WHERE "
                          "crepellent=N? AND iauthtype=0 ")
                    .Bind(q.auth_id)
                    .Bind(q.auth_id));
  if (partners.rows() == 0) return std::nullopt;
  static const ClassBoundQuery kPlain(
      "SELECT TOP 1 cstation,cauth_id FROM UA_task with(nolock)  WHERE cacc_id=N? AND "
      "iyear=? AND cSub_id=N? and ilogid<>? AND (cauth_id IN (N?) )");
  static const ClassBoundQuery kStrict(
      "SELECT TOP 1 cstation,cauth_id FROM UA_task with(nolock)  WHERE cacc_id=N? AND "
      "iyear=? AND cSub_id=N? and ilogid<>? AND (cauth_id IN (N?) or "
      "(cauth_id=N'reg' and csub_id=N? and cstation<>N?))");
  Statement st = (ctx.strict ? kStrict : kPlain).For(ctx);
  st.Bind(ctx.account).Bind(q.year).Bind(q.auth_sub).Bind(q.log_id).BindList(Column(partners, 0));
  if (ctx.strict) st.Bind(ctx.login_sub).Bind(ctx.station);
  ClassBoundQuery::BindClass(ctx, st);
  const db::ResultSet row = Rows(ctx, st);
  if (row.rows() == 0) return std::nullopt;
  return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent6, Text(row, 0, 0),
              Text(row, 0, 1));
}

// Kind 4: a running function that shuts out this function's module, and a
// module this function shuts out that has running functions.
Statement ShuttersQuery(const RuleContext& ctx, const RuleRequest& q) {
  return Sql(ctx, "SELECT DISTINCT cauth_id FROM UA_control with (nolock)  WHERE cRepellentModule=? AND iauthtype=4")
      .Bind(q.auth_sub);
}

Statement ShutModulesQuery(const RuleContext& ctx, const RuleRequest& q) {
  return db::StatementMarked(Extended(ctx),
                             "SELECT  cRepellentModule FROM UA_control with (nolock)  WHERE "
                             "cauth_id=N? AND iauthtype=4")
      .Bind(q.auth_id);
}

std::optional<Conflict> CheckModuleRepellent(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet shutters = Rows(ctx, ShuttersQuery(ctx, q));
  if (shutters.rows() > 0) {
    const db::ResultSet row = Rows(ctx, Sql(ctx,
                                            "SELECT TOP 1 cstation,cauth_id FROM UA_task with(nolock)  WHERE "
                                            "cacc_id=? AND iyear=? and ilogid<>? AND cauth_id IN (?)")
                                            .Bind(ctx.account)
                                            .Bind(q.year)
                                            .Bind(q.log_id)
                                            .BindList(Column(shutters, 0)));
    if (row.rows() > 0) {
      return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent5, Text(row, 0, 0),
                  Text(row, 0, 1));
    }
  }
  // Every module the function shuts out, then a running task in any of
  // them: asked from the rules first, so that a function without them
  // reads no running task, and the tasks through their index by module.
  const bool unicode = Extended(ctx);
  const db::ResultSet shut = Rows(ctx, ShutModulesQuery(ctx, q));
  if (shut.rows() == 0) return std::nullopt;
  const db::ResultSet row =
      Rows(ctx, db::StatementMarked(unicode,
                                    "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE "
                                    "cacc_id=N? AND iyear=? AND cSub_Id in (N?) and ilogid<>? AND "
                                    "cauth_id<>N'reg'")
                    .Bind(ctx.account)
                    .Bind(q.year)
                    .BindList(Column(shut, 0))
                    .Bind(q.log_id));
  if (row.rows() == 0) return std::nullopt;
  return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent5, Text(row, 0, 0),
              Text(row, 0, 2));
}

using Rule = std::optional<Conflict> (*)(const RuleContext&, const RuleRequest&);

constexpr Rule kEveryRule[] = {CheckExclusiveList, CheckRepellentPairs, CheckModuleRepellent, CheckSubsystemLock};

// The rules a profile runs in a phase, in their order.
std::vector<Rule> RulesFor(int profile, Phase phase) {
  const bool before = phase == Phase::kBeforeInsert;
  switch (profile) {
    case 1: return {CheckYearLock};
    case 2: return {CheckAccountLock};
    case 30:
    case 40:
      if (before) return {CheckExclusiveList, CheckSubsystemLock};
      break;
    case 60:
    case 70:
      if (before) return {CheckExclusiveList, CheckModuleRepellent};
      break;
    case 0:
    case 10:
    case 90:
    case 100:
      if (before) return {};
      break;
    default: return {};  // not accepted: the caller refuses the profile
  }
  return std::vector<Rule>(std::begin(kEveryRule), std::end(kEveryRule));
}

// The extended edition's: the kinds of cAuthType in their order, after the
// exclusive list unless the first kind is an account or year lock. Pairs
// need the own row's log id and run after the insert only.
std::vector<Rule> ExtendedRulesFor(std::string_view auth_type, Phase phase) {
  std::vector<std::string_view> kinds = SplitView(auth_type.empty() ? std::string_view("-1") : auth_type, ',');
  std::vector<Rule> rules;
  if (kinds.empty() || (kinds.front() != "1" && kinds.front() != "2")) rules.push_back(CheckExclusiveList);
  for (std::string_view kind : kinds) {
    if (kind == "0" && phase == Phase::kAfterInsert) rules.push_back(CheckRepellentPairs);
    if (kind == "1") rules.push_back(CheckYearLock);
    if (kind == "2") rules.push_back(CheckAccountLock);
    if (kind == "3") rules.push_back(CheckSubsystemPair);
    if (kind == "4") rules.push_back(CheckModuleRepellent);
  }
  return rules;
}

// The reads a rule makes first, whatever they answer: their inputs are
// known before the rule runs.
void AddFirstReads(Rule rule, const RuleContext& ctx, const RuleRequest& q, std::vector<Statement>* out) {
  if (rule == CheckExclusiveList) {
    out->push_back(ExclusiveListQuery(ctx, q));
  } else if (rule == CheckYearLock || rule == CheckAccountLock) {
    out->push_back(LockQuery(ctx, q, rule == CheckYearLock));
  } else if (rule == CheckRepellentPairs) {
    out->push_back(PartnersQuery(ctx, q));
  } else if (rule == CheckModuleRepellent) {
    out->push_back(ShuttersQuery(ctx, q));
    out->push_back(ShutModulesQuery(ctx, q));
  } else if (rule == CheckSubsystemLock) {
    out->push_back(OwnSubsystemLockQuery(q));
    out->push_back(RunningSubsystemLocksQuery(ctx, q));
  }
}

}  // namespace

std::vector<Statement> FirstReads(const RuleContext& ctx, const RuleRequest& request, int profile, Phase phase) {
  std::vector<Statement> reads;
  for (Rule rule : Extended(ctx) ? ExtendedRulesFor(request.auth_type, phase) : RulesFor(profile, phase)) {
    AddFirstReads(rule, ctx, request, &reads);
  }
  return reads;
}

Statement ExclusionProfileQuery(const std::string& auth_id) {
  return Statement("SELECT DISTINCT iauthtype FROM UA_control with (nolock) WHERE cauth_id=? order by iauthtype asc")
      .Bind(auth_id);
}

int ExclusionProfile(AnswersAhead& conn, const std::string& auth_id) {
  db::ResultSet rows;
  db::RaiseIfFailed(conn.Query(ExclusionProfileQuery(auth_id), &rows));
  int profile = 0;
  for (size_t r = 0; r < rows.rows(); ++r) {
    const Variant& kind = rows.at(r, 0);
    const int32_t k = kind.IsNull() ? 0 : kind.ToInt32();
    if (!kind.IsNull() && (k == 1 || k == 2)) return k;
    profile += kind.IsNull() || k == 0 ? 10 : k == 3 ? 30 : 60;
  }
  return profile;
}

bool IsAcceptedProfile(int profile) {
  switch (profile) {
    case 0:
    case 1:
    case 2:
    case 10:
    case 30:
    case 40:
    case 60:
    case 70:
    case 90:
    case 100: return true;
    default: return false;
  }
}

std::optional<Conflict> CheckRules(const RuleContext& ctx, const RuleRequest& request, int profile, Phase phase) {
  const bool extended = Extended(ctx);
  for (Rule rule : extended ? ExtendedRulesFor(request.auth_type, phase) : RulesFor(profile, phase)) {
    try {
      if (std::optional<Conflict> conflict = rule(ctx, request)) return conflict;
    } catch (const RuleFailed& e) {
      // The full edition skips a look before its row exists that fails,
      // since the check after it decides. That check is what keeps two
      // stations apart, so a failure of it is the registration's failure in
      // both editions.
      if (extended || phase == Phase::kAfterInsert) {
        const std::vector<db::DbError>& errors = ctx.conn->Errors();
        throw ComError(errors.empty() ? db::kErrCommand : errors.front().number, e.message, "Provider");
      }
    } catch (const ComError&) {
      if (extended || phase == Phase::kAfterInsert) throw;
    }
  }
  return std::nullopt;
}

std::string GetAuthName(db::Connection& conn, const std::string& auth_id) {
  RuleContext ctx;
  ctx.conn = &conn;
  return NameOf(ctx, auth_id);
}

}  // namespace tarn::tasks
