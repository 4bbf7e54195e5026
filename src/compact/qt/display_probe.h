// Whether the display Qt would connect to answers. Qt ends the process
// when its platform cannot connect, and a library must not take its host
// down with it, so the dialog asks first.
#ifndef TARN_COMPACT_QT_DISPLAY_PROBE_H_
#define TARN_COMPACT_QT_DISPLAY_PROBE_H_

#include <string>

namespace tarn::compact {

// "" when one of the platforms Qt would try (QT_QPA_PLATFORM, else the
// session's) can be reached; otherwise why none can. Platforms that draw
// without a display server (offscreen, minimal, ...) are not probed.
std::string DisplayProblem();

}  // namespace tarn::compact

#endif  // TARN_COMPACT_QT_DISPLAY_PROBE_H_
