// Text to date, as automation converts a string argument: a date, or error
// 13, and a date that formats and parses back to itself.
#include <cstdint>
#include <string>

#include "tarn/com_error.h"
#include "tarn/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tarn::Date date;
  if (tarn::ParseDateText(text, &date)) {
    (void)tarn::FormatDateTime(date);
    (void)tarn::CivilFromDate(date);
  }
  try {
    (void)tarn::Variant(text).ToDate();
    (void)tarn::Variant(text).ToDouble();
    (void)tarn::Variant(text).ToInt16();
  } catch (const tarn::ComError&) {
    // not a date or number: 13, 6
  }
  return 0;
}
