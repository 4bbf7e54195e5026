#include "suite/stored_text_codec.h"

#include <optional>

#include "boundary/suite.h"
#include "suite/hex.h"

namespace tarn::suite {

using boundary::kBufferChars;
namespace {

constexpr std::string_view kKey = "Tarn stored text: obfuscation only";

char Mask(size_t i) { return static_cast<char>(kKey[i % kKey.size()] ^ static_cast<char>(i * 131 + 7)); }

}  // namespace

std::string CommEncodeText(std::string_view plain) {
  std::string bytes(plain);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ Mask(i));
  return HexEncode(bytes);
}

std::string CommDecodeText(std::string_view stored) {
  stored = stored.substr(0, stored.find('\0'));
  std::optional<std::string> bytes = HexDecode(stored);
  if (!bytes) return std::string();
  for (size_t i = 0; i < bytes->size(); ++i) (*bytes)[i] = static_cast<char>((*bytes)[i] ^ Mask(i));
  // What the library writes into its 512-character output buffer.
  std::string plain = bytes->substr(0, kBufferChars - 1);
  return plain.substr(0, plain.find('\0'));
}

}  // namespace tarn::suite
