#include "db/fault.h"

#include <atomic>
#include <mutex>

#include "platform/text.h"

namespace tarn::db {
#ifdef TARN_TEST_HOOKS

namespace fault_internal {
std::atomic<bool> installed{false};
}  // namespace fault_internal

namespace {

std::mutex mu;

FaultHook& Hook() {
  static FaultHook* hook = new FaultHook;  // used until the process ends
  return *hook;
}

}  // namespace

void SetFaultHook(FaultHook hook) {
  std::lock_guard lock(mu);
  fault_internal::installed = static_cast<bool>(hook);
  Hook() = std::move(hook);
}

std::optional<DbError> fault_internal::AskHook(const Statement& statement) {
  FaultHook hook;
  {
    std::lock_guard lock(mu);
    hook = Hook();
  }
  return hook ? hook(statement) : std::nullopt;
}

#endif  // TARN_TEST_HOOKS

bool IsWrite(std::string_view sql) {
  sql = TrimSpace(sql);
  for (std::string_view verb : {"INSERT", "UPDATE", "DELETE"}) {
    if (StartsWithNoCase(sql, verb)) return true;
  }
  return false;
}

}  // namespace tarn::db
