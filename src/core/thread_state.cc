#include "core/thread_state.h"

#include <optional>

#include "platform/env.h"
#include "platform/object_registry.h"
#include "resources/res_service.h"
#include "suite/closed_libs.h"
#include "suite/defaults.h"

namespace tarn::core {
namespace {

thread_local std::optional<ThreadState> thread_state;

void StartUp(ThreadState& s) {
  suite::RegisterDefaults();
  Env& env = Env::Current();
  s.computer_name = env.ComputerName();
  bool is64 = false;
  try {
    auto sundry = ObjectRegistry::Global().CreateAs<suite::Sundry>(suite::kSundryLibrary);
    is64 = sundry->B64System() == 1;
  } catch (const ComError&) {
    // Without the library the machine counts as 32-bit: the plain keys.
  }
  s.reg_base = is64 ? "Software\\Wow6432Node\\ValeSoft\\WF\\" : "Software\\ValeSoft\\WF\\";
  // The 9x-family start of a local management service has no counterpart
  // here: the service runs on its own or embedded in the process.
}

}  // namespace

ThreadState& Thread() {
  if (!thread_state) {
    thread_state.emplace();
    StartUp(*thread_state);
  }
  return *thread_state;
}

std::string VersionKey(Edition edition) { return Thread().reg_base + VersionText(edition) + "\\"; }

std::string LoginRegKey(Edition edition) { return VersionKey(edition) + "Login\\"; }

void ResetThreadForTesting() { thread_state.reset(); }

}  // namespace tarn::core
