// Members whose operations are still being built raise a clear error to
// their caller rather than pretending to work.
#ifndef TARN_CORE_NOT_BUILT_H_
#define TARN_CORE_NOT_BUILT_H_

#include <string>

#include "tarn/com_error.h"

namespace tarn::core {

[[noreturn]] inline void RaiseNotBuilt(const char* member) {
  throw ComError(errnum::kNotAvailable, std::string(member) + " is not available in this build yet");
}

}  // namespace tarn::core

#endif  // TARN_CORE_NOT_BUILT_H_
