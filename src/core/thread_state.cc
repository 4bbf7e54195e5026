#include "core/thread_state.h"

#include <optional>

#include "boundary/registry_keys.h"
#include "boundary/suite.h"
#include "platform/env.h"
#include "platform/object_registry.h"
#include "resources/error_state.h"

namespace tarn::core {
namespace {

thread_local std::optional<ThreadState> thread_state;

void StartUp(ThreadState& s) {
  s.computer_name = Env::Current().ComputerName();
  bool is64 = false;
  try {
    auto sundry = ObjectRegistry::Global().CreateAs<boundary::Sundry>(boundary::kSundryLibrary);
    is64 = sundry->B64System() == 1;
  } catch (const ComError&) {
    // Without the library the machine counts as 32-bit: the plain keys.
  }
  s.reg_base = boundary::RegistryRoot(is64);
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

void ResetThreadForTesting() {
  thread_state.reset();
  resources::ResetThreadForTesting();
}

}  // namespace tarn::core
