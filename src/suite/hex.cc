#include "suite/hex.h"

#include <sodium.h>

#include "platform/text.h"

namespace tarn::suite {

std::string HexEncode(std::string_view bytes) {
  std::string out;
  AppendHex(bytes, &out);
  return out;
}

void AppendHex(std::string_view bytes, std::string* out) {
  const size_t start = out->size();
  out->resize(start + bytes.size() * 2 + 1);
  char* digits = out->data() + start;
  sodium_bin2hex(digits, bytes.size() * 2 + 1, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  out->pop_back();
  // Stored texts and locked replies have always carried upper-case digits.
  for (char* c = digits; c != out->data() + out->size(); ++c) *c = AsciiUpper(*c);
}

std::optional<std::string> HexDecode(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out(text.size() / 2, '\0');
  size_t written = 0;
  const char* end = nullptr;
  if (sodium_hex2bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(), nullptr,
                     &written, &end) != 0 ||
      written != out.size() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return out;
}

}  // namespace tarn::suite
