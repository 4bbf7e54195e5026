// Small text helpers of the data layer: ASCII case folding for names (keys,
// identifiers, catalogs) and UTF-8 code points.
#ifndef TARN_DB_TEXT_H_
#define TARN_DB_TEXT_H_

#include <cctype>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace tarn::db {

// A malformed byte decodes to a value above the code point range, one per
// byte value, so that it still compares as itself.
inline constexpr char32_t kMalformedUtf8 = 0x110000;

inline char32_t DecodeUtf8(std::string_view s, size_t* i) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  if (b0 < 0x80) {
    ++*i;
    return b0;
  }
  const size_t len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
  if (len == 0 || *i + len > s.size()) {
    ++*i;
    return kMalformedUtf8 + b0;
  }
  char32_t c = b0 & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[*i + k]);
    if ((b & 0xC0) != 0x80) {
      ++*i;
      return kMalformedUtf8 + b0;
    }
    c = (c << 6) | (b & 0x3F);
  }
  *i += len;
  return c;
}

inline void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace tarn::db

#endif  // TARN_DB_TEXT_H_
