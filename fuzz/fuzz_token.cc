// Sign-on tokens: anything handed in as a token opens only when it was
// sealed under the key, and what was sealed opens unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "suite/login_service/token.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string key(32, '\x5a');
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string payload;
  (void)tarn::suite::OpenToken(key, text, &payload);
  const std::string sealed = tarn::suite::SealToken(key, text);
  if (!tarn::suite::OpenToken(key, sealed, &payload) || payload != text) std::abort();
  return 0;
}
