// RemoteExec commands as a host relays them: parsed and refused or sent to
// a management service that is not configured (no registry), never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "suite/defaults.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TARN_REGISTRY", "/nonexistent/registry.reg", 1);
  tarn::suite::RegisterStandIns(tarn::Edition::kFull);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tarn::clsLogin* login = new tarn::clsLogin(tarn::Edition::kFull);
  std::string command(reinterpret_cast<const char*>(data), size);
  try {
    (void)login->RemoteExec(command);
  } catch (const tarn::ComError&) {
    // raised to the caller, as the member says
  }
  return 0;
}
