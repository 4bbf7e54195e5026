// Hexadecimal text of bytes, for the codecs of the closed libraries.
#ifndef TARN_SUITE_HEX_H_
#define TARN_SUITE_HEX_H_

#include <optional>
#include <string>
#include <string_view>

namespace tarn::suite {

// Upper-case digits, two per byte.
std::string HexEncode(std::string_view bytes);
// The same digits added to the end of `out`.
void AppendHex(std::string_view bytes, std::string* out);
// Either case; nullopt for an odd length or a character that is no digit.
std::optional<std::string> HexDecode(std::string_view text);

}  // namespace tarn::suite

#endif  // TARN_SUITE_HEX_H_
