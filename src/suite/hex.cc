#include "suite/hex.h"

#include <sodium.h>

#include <cctype>

namespace tarn::suite {

std::string HexEncode(std::string_view bytes) {
  std::string out(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  out.pop_back();
  // Stored texts and locked replies have always carried upper-case digits.
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
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
