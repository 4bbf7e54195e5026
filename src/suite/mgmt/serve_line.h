// One received line in, one reply line out: what the daemon does per line
// and the embedded service per call.
#ifndef TARN_SUITE_MGMT_SERVE_LINE_H_
#define TARN_SUITE_MGMT_SERVE_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/mgmt/service_logic.h"

namespace tarn::suite {

// `line` without its newline; the answer without its newline: "+<reply>"
// or "-<reason>" (suite/wire.h).
std::string ServeLine(ServiceLogic& logic, std::string_view line, int64_t now_ms);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_SERVE_LINE_H_
