// How the management service's replies travel: locked to the handshake of
// the calling thread (boundary/handshake.h), so that only the caller that
// formed the handshake reads them in plain text. The lock is a keyed XOR
// with a check, written as hexadecimal: it keeps replies printable and
// free of blanks and NULs; it is not encryption.
#ifndef TARN_SUITE_REPLY_CODEC_H_
#define TARN_SUITE_REPLY_CODEC_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::suite {

// Longest plain reply whose locked form still fits a 512-character buffer
// with its NUL; longer replies are cut.
inline constexpr size_t kMaxPlainReply = 250;

// "~" followed by upper-case hexadecimal digits.
std::string LockReply(std::string_view plain, int32_t handshake);
// The same added to the end of `out`.
void AppendLockedReply(std::string_view plain, int32_t handshake, std::string* out);
// nullopt when `locked` is not a locked reply or was locked for another
// handshake.
std::optional<std::string> UnlockReply(std::string_view locked, int32_t handshake);

}  // namespace tarn::suite

#endif  // TARN_SUITE_REPLY_CODEC_H_
