// One received line in, one reply line out: what the daemon does per line
// and the embedded service per call.
#ifndef TARN_SUITE_MGMT_SERVE_LINE_H_
#define TARN_SUITE_MGMT_SERVE_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/mgmt/service_logic.h"
#include "suite/wire.h"

namespace tarn::suite {

// `line` without its newline; the answer without its newline: "+<reply>"
// or "-<reason>" (suite/wire.h). A frame of no connection (the embedded
// service); a line refused for its MAC is logged.
std::string ServeLine(ServiceLogic& logic, std::string_view line);

// The same for a line of a connection, with the answer added to the end of
// `out` (a connection's output buffer): it must be bound to `channel`.
// `fault` says why the frame was refused (kNone when it was taken, even
// if the request in it was then refused); nothing is logged, so that the
// caller can bound what a flood writes.
void ServeLine(ServiceLogic& logic, std::string_view line, const FrameChannel& channel, FrameFault* fault,
               std::string* out);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_SERVE_LINE_H_
