// Stored texts (passwords kept in the database): decoding any text, and
// the round trip of any plain text that fits the output buffer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boundary/suite.h"
#include "suite/stored_text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)tarn::suite::CommDecodeText(text);
  const std::string plain = text.substr(0, text.find('\0'));
  // The decoder answers what fits the library's output buffer.
  if (tarn::suite::CommDecodeText(tarn::suite::CommEncodeText(plain)) !=
      plain.substr(0, tarn::boundary::kBufferChars - 1))
    std::abort();
  return 0;
}
