// tarn service: the management service daemon.
#include <cstdio>

#include "commands.h"

namespace tarn::app {

int RunService(const Args&) {
  std::fputs("tarn service: not available in this build yet\n", stderr);
  return 2;
}

}  // namespace tarn::app
