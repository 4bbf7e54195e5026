// The mutual-exclusion rules between functions: the exclusion profile of a
// function (from UA_control), which rules its profile runs before and after
// its own task row is inserted, and the six rules, each a query against the
// running tasks (UA_task). A rule answers the first conflicting task it
// finds; recording it is the caller's business, so that a dry run
// (`tarn tasks try`) can ask the same rules without touching any state.
#ifndef TARN_TASKS_EXCLUSION_RULES_H_
#define TARN_TASKS_EXCLUSION_RULES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "tarn/edition.h"
#include "tarn/variant.h"

namespace tarn::tasks {

class AnswersAhead;

// The exclusive list's message when the running function holds only its
// year: the account-set text (TaskRepellent2) would have the user wait for
// the whole account set.
inline constexpr char kTaskRepellent2Year[] = "Tarn.AA.TarnLogin.TaskRepellent2Year";

// What every rule reads of the login that asks.
struct RuleContext {
  db::Connection* conn = nullptr;
  Edition edition = Edition::kFull;
  std::string account;     // cAcc_Id
  std::string login_sub;   // cSub_Id
  std::string login_year;  // cIYear as held
  std::string station;     // the task rows' station of this login
  bool strict = false;     // StrictSubsystemLock
  // The extended edition's authorisation class: when set, the pair rules
  // see only running tasks of this class or of none.
  std::string class_code;
  // Where the rules' reads are answered when some were sent ahead; null:
  // each goes to `conn` at its turn.
  AnswersAhead* ahead = nullptr;
};

// The function being registered.
struct RuleRequest {
  std::string auth_id;
  std::string auth_name;
  std::string auth_sub;  // the subsystem that owns the function
  int32_t year = 0;      // the effective year
  double log_id = 0;     // 0 before the own row exists: every row is seen
  // The extended edition's profile: the kinds of UA_Auth.cAuthType, comma
  // separated; NULL or empty counts as "-1".
  std::string auth_type;
};

// A conflicting running task: the rule's code, message and arguments.
struct Conflict {
  int32_t code = 0;
  std::string res_id;
  std::vector<Variant> args;
};

enum class Phase { kBeforeInsert, kAfterInsert };

// The function's profile: 0 without rows; 1 or 2 when such a row comes;
// else 10 for each NULL or 0 row, 30 for a 3, 60 for any other kind.
// Database errors reach the caller (ComError).
int ExclusionProfile(AnswersAhead& conn, const std::string& auth_id);
db::Statement ExclusionProfileQuery(const std::string& auth_id);

// The first read of every rule CheckRules would run for `phase`, to send
// ahead: a rule reads them whatever they answer.
std::vector<db::Statement> FirstReads(const RuleContext& ctx, const RuleRequest& request, int profile, Phase phase);

// 0, 1, 2, 10, 30, 40, 60, 70, 90 and 100 are registered; any other
// profile is refused (code 300).
bool IsAcceptedProfile(int profile);

// Runs the rules for `phase` in their order; the first conflict ends the
// checking. The full edition's rules are those of `profile`, and a rule
// whose statements fail finds no conflict (the registration ignores those
// errors). The extended edition's are those of request.auth_type, and a
// failed statement raises ComError, the connection's errors left for the
// caller to judge.
std::optional<Conflict> CheckRules(const RuleContext& ctx, const RuleRequest& request, int profile, Phase phase);

// The name of a function; "" when UA_Auth has no row or the read fails.
std::string GetAuthName(db::Connection& conn, const std::string& auth_id);

}  // namespace tarn::tasks

#endif  // TARN_TASKS_EXCLUSION_RULES_H_
