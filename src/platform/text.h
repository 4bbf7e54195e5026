// Text helpers shared by every layer: ASCII case folding (names, codes and
// keys of the suite are ASCII), trimming, and UTF-8 code points.
#ifndef TARN_PLATFORM_TEXT_H_
#define TARN_PLATFORM_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

inline bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Blanks only, as the suite's own trimming does.
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The pieces of `s` between the separators: "" gives one
// empty piece, and the pieces view `s`.
inline std::vector<std::string_view> SplitView(std::string_view s, char separator) {
  std::vector<std::string_view> pieces;
  for (size_t start = 0;;) {
    const size_t end = s.find(separator, start);
    pieces.push_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Blanks, tabs and line ends.
inline std::string_view TrimSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A malformed byte decodes to a value above the code point range, one per
// byte value, so that it still compares as itself.
inline constexpr char32_t kMalformedUtf8 = 0x110000;

// The code point at s[*i], moving *i past it; a byte that starts no
// well-formed sequence decodes to kMalformedUtf8 + the byte.
inline char32_t DecodeUtf8(std::string_view s, size_t* i) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  if (b0 < 0x80) {
    ++*i;
    return b0;
  }
  const size_t len = b0 >= 0xF8 ? 0 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
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
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8:
  // each of their bytes stands for itself.
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[len] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    ++*i;
    return kMalformedUtf8 + b0;
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

// Whether every byte of `s` belongs to a well-formed sequence.
inline bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (DecodeUtf8(s, &i) >= kMalformedUtf8) return false;
  }
  return true;
}

}  // namespace tarn

#endif  // TARN_PLATFORM_TEXT_H_
