// State that all login objects of one thread share: the start-up values,
// the last error and the shared resource service. Each thread has its own;
// nothing here is locked because nothing here crosses threads.
#ifndef TARN_CORE_THREAD_STATE_H_
#define TARN_CORE_THREAD_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "tarn/edition.h"
#include "tarn/error_res.h"
#include "tarn/variant.h"

namespace tarn::resources {
class clsResService;
}

namespace tarn::core {

struct ThreadState {
  // Start-up values, fixed by the first use on the thread.
  std::string computer_name;
  std::string reg_base;  // "Software\Wow6432Node\ValeSoft\WF\" on a 64-bit system

  // The last error.
  int32_t log_state = 0;
  std::string share_string;
  std::string last_res_id;
  Array last_res_arg;

  // Created on first use, dropped by the release sequence.
  std::shared_ptr<resources::clsResService> res_service;
  std::shared_ptr<clsErrorRes> error_record;
};

// This thread's state; the start-up routine runs on the first call.
ThreadState& Thread();

// "<reg_base><version>\Login\" for the edition.
std::string LoginRegKey(Edition edition);
// "<reg_base><version>\" for the edition.
std::string VersionKey(Edition edition);

// Forgets this thread's state so that the next use starts afresh (tests that
// change the computer name or the registry between cases).
void ResetThreadForTesting();

}  // namespace tarn::core

#endif  // TARN_CORE_THREAD_STATE_H_
