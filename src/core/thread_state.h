// The start-up values that all login objects of one thread share: the
// computer name and the root of the suite's registry keys, fixed by the
// first use on the thread. The thread's last error lives with the
// resources (resources/error_state.h).
#ifndef TARN_CORE_THREAD_STATE_H_
#define TARN_CORE_THREAD_STATE_H_

#include <string>

namespace tarn::core {

struct ThreadState {
  std::string computer_name;
  std::string reg_base;  // "Software\Wow6432Node\ValeSoft\WF\" on a 64-bit system
};

// This thread's values; the start-up routine runs on the first call.
ThreadState& Thread();

// Forgets this thread's start-up values and last error so that the next use
// starts afresh (tests that change the computer name or the registry
// between cases).
void ResetThreadForTesting();

}  // namespace tarn::core

#endif  // TARN_CORE_THREAD_STATE_H_
