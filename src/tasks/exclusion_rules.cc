#include "tasks/exclusion_rules.h"

#include "db/raise.h"
#include "resources/error_codes.h"

namespace tarn::tasks {
namespace {

using db::Statement;

// A statement of a rule failed: the rule ends without a finding.
struct RuleFailed {};

db::ResultSet Rows(const RuleContext& ctx, const Statement& statement) {
  db::ResultSet rows;
  if (!ctx.conn->Query(statement, &rows).ok()) throw RuleFailed();
  return rows;
}

std::string Text(const db::ResultSet& rows, size_t r, size_t c) { return rows.at(r, c).ToStringOrEmpty(); }

// The values of one column, in row order, for an IN (?) list.
std::vector<Variant> Column(const db::ResultSet& rows, size_t c) {
  std::vector<Variant> values;
  values.reserve(rows.rows());
  for (size_t r = 0; r < rows.rows(); ++r) values.push_back(Variant(Text(rows, r, c)));
  return values;
}

// Five arguments: station, running id, its name, requested id, its name.
Conflict Five(const RuleContext& ctx, const RuleRequest& q, int32_t code, const char* res_id, std::string station,
              const std::string& running) {
  return Conflict{code, res_id,
                  {Variant(std::move(station)), Variant(running), Variant(GetAuthName(*ctx.conn, running)),
                   Variant(q.auth_id), Variant(q.auth_name)}};
}

// Six: station, running subsystem, running id, its name, requested id, its
// name.
Conflict Six(const RuleContext& ctx, const RuleRequest& q, int32_t code, const char* res_id,
             const db::ResultSet& row) {
  const std::string running = Text(row, 0, 2);
  return Conflict{code, res_id,
                  {Variant(Text(row, 0, 0)), Variant(Text(row, 0, 1)), Variant(running),
                   Variant(GetAuthName(*ctx.conn, running)), Variant(q.auth_id), Variant(q.auth_name)}};
}

// Is an exclusive function (UA_ControlEx) running in the account? Takes
// no log id: an exclusive function has profile 1 or 2 and never runs it.
std::optional<Conflict> CheckExclusiveList(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet row = Rows(
      ctx, Statement("SELECT TOP 1 cstation,UA_task.cauth_id as cauth_id FROM UA_task with(nolock),UA_ControlEx "
                     "with(nolock) WHERE cacc_id=? AND (iAuthType =1 and  iyear=? or iAuthType=2) AND "
                     "UA_task.cauth_id=UA_ControlEx.cauth_id AND UA_task.cauth_id<>'reg'")
               .Bind(ctx.account)
               .Bind(q.year));
  if (row.rows() == 0) return std::nullopt;
  return Five(ctx, q, resources::kConflictExclusive, resources::res::kTaskRepellent2, Text(row, 0, 0),
              Text(row, 0, 1));
}

// The function needs the account (or one year of it) to itself: every
// other task there conflicts, but this station's logins into its own
// subsystem, AA and DP.
std::optional<Conflict> CheckLock(const RuleContext& ctx, const RuleRequest& q, bool year_only) {
  Statement st(year_only ? "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE cacc_id=? AND  "
                           "ilogid<>? and (not (cauth_id='reg' and cstation=? and (cSub_Id=? or csub_id='AA' or "
                           "csub_id='DP'))) AND iyear=?"
                         : "SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE cacc_id=? and  "
                           "ilogid<>? and (not (cauth_id='reg' and cstation=? and (cSub_Id=? or csub_id='AA' or "
                           "csub_id='DP')))");
  st.Bind(ctx.account).Bind(q.log_id).Bind(ctx.station).Bind(ctx.login_sub);
  if (year_only) st.Bind(q.year);
  const db::ResultSet row = Rows(ctx, st);
  if (row.rows() == 0) return std::nullopt;
  return year_only ? Six(ctx, q, resources::kConflictYear, resources::res::kTaskRepellent4, row)
                   : Six(ctx, q, resources::kConflictExclusive, resources::res::kTaskRepellent3, row);
}

std::optional<Conflict> CheckAccountLock(const RuleContext& ctx, const RuleRequest& q) {
  return CheckLock(ctx, q, false);
}

std::optional<Conflict> CheckYearLock(const RuleContext& ctx, const RuleRequest& q) { return CheckLock(ctx, q, true); }

// The function's pairs, from either side, in the same year.
std::optional<Conflict> CheckRepellentPairs(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet partners =
      Rows(ctx, Statement("SELECT crepellent as ctask FROM UA_control with (nolock)  WHERE cauth_id=? AND (iauthtype<1 "
                          "OR iauthtype IS NULL) UNION SELECT cauth_id as ctask FROM UA_control with (nolock)  WHERE "
                          "crepellent=? AND (iauthtype=0 OR iauthtype IS NULL)")
                    .Bind(q.auth_id)
                    .Bind(q.auth_id));
  if (partners.rows() == 0) return std::nullopt;
  const db::ResultSet row = Rows(ctx, Statement("SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock)  "
                                                "WHERE cacc_id=? and  ilogid<>? AND iyear=? AND cauth_id IN (?)")
                                          .Bind(ctx.account)
                                          .Bind(q.log_id)
                                          .Bind(q.year)
                                          .BindList(Column(partners, 0)));
  if (row.rows() == 0) return std::nullopt;
  return Five(ctx, q, resources::kConflictPairOrSubsystem, resources::res::kTaskRepellent5, Text(row, 0, 0),
              Text(row, 0, 2));
}

// Kind 3: no other leaf function of the subsystem may run beside the
// function, but those it exempts; and the function may not start beside a
// running kind-3 function that does not exempt it.
std::optional<Conflict> CheckSubsystemLock(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet own = Rows(
      ctx, Statement("select  isnull(cNotRepellent,'') from UA_control  with (nolock) where cauth_id=? and  iauthtype=3")
               .Bind(q.auth_id));
  if (own.rows() > 0) {
    const db::ResultSet any = Rows(
        ctx, Statement("SELECT top 1 cauth_id FROM ua_auth_base with(nolock) WHERE bEndGrade=1 and cSub_id=? and "
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
  // The reverse direction reads the login year as held, not the effective
  // year.
  const db::ResultSet running =
      Rows(ctx, Statement("SELECT distinct cstation, ua_Task.cauth_id FROM ua_Task with(nolock)  WHERE cacc_id=? AND "
                          "iyear=? and cSub_id=? and ilogid<>? and  cauth_id in (Select cAuth_ID from ua_Control with "
                          "(nolock)  where iAuthType=3)")
                    .Bind(ctx.account)
                    .BindNumber(ctx.login_year)
                    .Bind(q.auth_sub)
                    .Bind(q.log_id));
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

// Kind 4: a running function that shuts out this function's module, and a
// module this function shuts out that has running functions.
std::optional<Conflict> CheckModuleRepellent(const RuleContext& ctx, const RuleRequest& q) {
  const db::ResultSet shutters =
      Rows(ctx, Statement("SELECT DISTINCT cauth_id FROM UA_control with (nolock)  WHERE cRepellentModule=? AND "
                          "iauthtype=4")
                    .Bind(q.auth_sub));
  if (shutters.rows() > 0) {
    const db::ResultSet row = Rows(ctx, Statement("SELECT TOP 1 cstation,cauth_id FROM UA_task with(nolock)  WHERE "
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
  const db::ResultSet modules = Rows(ctx, Statement("SELECT distinct csub_id FROM UA_task with (nolock)  WHERE "
                                                    "cacc_id=? AND iyear=? and ilogid<>? AND cauth_id<>'reg'")
                                              .Bind(ctx.account)
                                              .Bind(q.year)
                                              .Bind(q.log_id));
  if (modules.rows() == 0) return std::nullopt;
  const db::ResultSet shut = Rows(ctx, Statement("SELECT TOP 1 cRepellentModule FROM UA_control with (nolock)  WHERE "
                                                 "cauth_id=? AND iauthtype=4 AND cRepellentModule IN (?)")
                                           .Bind(q.auth_id)
                                           .BindList(Column(modules, 0)));
  if (shut.rows() == 0) return std::nullopt;
  const db::ResultSet row =
      Rows(ctx, Statement("SELECT TOP 1 cstation,csub_id,cauth_id FROM UA_task with(nolock) WHERE cacc_id=? AND "
                          "iyear=? AND cSub_Id =? and ilogid<>? AND cauth_id<>'reg'")
                    .Bind(ctx.account)
                    .Bind(q.year)
                    .Bind(Text(shut, 0, 0))
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
    default:
      return {};  // not accepted: the caller refuses the profile
  }
  return std::vector<Rule>(std::begin(kEveryRule), std::end(kEveryRule));
}

}  // namespace

int ExclusionProfile(db::Connection& conn, const std::string& auth_id) {
  db::ResultSet rows;
  db::RaiseIfFailed(conn.Query(
      Statement("SELECT DISTINCT iauthtype FROM UA_control with (nolock) WHERE cauth_id=? order by iauthtype asc")
          .Bind(auth_id),
      &rows));
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
    case 0: case 1: case 2: case 10: case 30: case 40: case 60: case 70: case 90: case 100: return true;
    default: return false;
  }
}

std::optional<Conflict> CheckRules(const RuleContext& ctx, const RuleRequest& request, int profile, Phase phase) {
  for (Rule rule : RulesFor(profile, phase)) {
    try {
      if (std::optional<Conflict> conflict = rule(ctx, request)) return conflict;
    } catch (const RuleFailed&) {
      // Ignored, as the registration ignores the errors of its checks.
    } catch (const ComError&) {
    }
  }
  return std::nullopt;
}

std::string GetAuthName(db::Connection& conn, const std::string& auth_id) {
  db::ResultSet rows;
  if (!conn.Query(Statement("SELECT TOP 1 cauth_name FROM UA_Auth WHERE cauth_id=?").Bind(auth_id), &rows).ok() ||
      rows.rows() == 0) {
    return std::string();
  }
  return rows.at(0, 0).ToStringOrEmpty();
}

}  // namespace tarn::tasks
