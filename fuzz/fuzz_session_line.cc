// The `tarn session` line protocol: any line, on a session whose registry
// names nothing, so that no call reaches a database or the network.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "session_host.h"
#include "suite/defaults.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TARN_REGISTRY", "/nonexistent/registry.reg", 1);
  setenv("TARN_LANG", "en-us", 1);
  tarn::suite::RegisterStandIns(tarn::Edition::kFull);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tarn::app::SessionHost* host = new tarn::app::SessionHost(tarn::Edition::kExtended);
  std::string line(reinterpret_cast<const char*>(data), size);
  // The reader hands over one line at a time, never its newline.
  if (line.find('\n') != std::string::npos) line.resize(line.find('\n'));
  // A session that was told to quit or to wait for an hour stays usable.
  if (line.rfind(":quit", 0) == 0 || line.rfind(":advance", 0) == 0) return 0;
  (void)host->Execute(line);
  return 0;
}
