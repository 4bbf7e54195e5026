// A seam for fault drills: a hook that every connection asks before it
// runs a statement, which may make the statement fail as the database
// would (a full disk, a deadlock, a lost connection) or do anything else
// a drill needs, such as end the process at a chosen write. Nothing is
// installed unless a test or a drill installs it; then every connection of
// the process consults it. Only builds with TARN_TEST_HOOKS (those with
// tests or benchmarks) have it; elsewhere the check is nothing at all.
#ifndef TARN_DB_FAULT_H_
#define TARN_DB_FAULT_H_

#include <atomic>
#include <functional>
#include <optional>
#include <string_view>

#include "db/connection.h"

namespace tarn::db {

// Whether a template writes: what drills count when they stop at the Nth
// write.
bool IsWrite(std::string_view sql);

#ifdef TARN_TEST_HOOKS

// The statement about to run (its template and bound values); an error to
// fail it with, or nullopt to let it run.
using FaultHook = std::function<std::optional<DbError>(const Statement& statement)>;

// Process-wide; an empty hook removes it.
void SetFaultHook(FaultHook hook);

namespace fault_internal {
extern std::atomic<bool> installed;
std::optional<DbError> AskHook(const Statement& statement);
}  // namespace fault_internal

// Asked by the connection before every statement; nullopt when no hook is
// installed, which is then one load.
inline std::optional<DbError> CheckFault(const Statement& statement) {
  if (!fault_internal::installed.load(std::memory_order_relaxed)) return std::nullopt;
  return fault_internal::AskHook(statement);
}

// Installs a hook for its lifetime (tests).
class ScopedFaultHook {
 public:
  explicit ScopedFaultHook(FaultHook hook) { SetFaultHook(std::move(hook)); }
  ~ScopedFaultHook() { SetFaultHook(nullptr); }
  ScopedFaultHook(const ScopedFaultHook&) = delete;
  ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;
};

#else

inline std::optional<DbError> CheckFault(const Statement&) { return std::nullopt; }

#endif  // TARN_TEST_HOOKS

}  // namespace tarn::db

#endif  // TARN_DB_FAULT_H_
