// "resarg" XML as a login interface forwards it: arguments or a raised
// error, bounded in time and memory.
#include <cstdint>
#include <string>

#include "resources/res_arg_xml.h"
#include "tarn/com_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    (void)tarn::resources::ParseResArgXml(text);
  } catch (const tarn::ComError&) {
    // malformed: raised to the caller
  }
  return 0;
}
