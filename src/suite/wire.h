// The management service's wire protocol, one line each way over TCP:
//
//   request  "<handshake>|<request line>|<mac>\n"
//            handshake: signed decimal; mac: crypto_auth (HMAC-SHA-512-256)
//            of "<handshake>|<request line>" under the installation's
//            service key, 64 hexadecimal digits
//   reply    "+<reply>\n"                     the request was served
//            "-<reason>\n"                    the line was refused
//
// The reply of HostInfo is plain text; every other reply is locked to the
// request's handshake (suite/reply_codec.h). A line holds at most
// kMaxLineBytes bytes before its newline and no control characters but
// tab; a client may send several requests on one connection.
#ifndef TARN_SUITE_WIRE_H_
#define TARN_SUITE_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::suite {

inline constexpr size_t kMaxLineBytes = 512;

// With its newline; signed with `key` (32 bytes). An empty key sends no MAC
// (a service that checks none: the embedded one without a key file).
std::string RequestFrame(int32_t handshake, std::string_view request, std::string_view key);

struct RequestFrameParts {
  int32_t handshake = 0;
  std::string_view request;
};

// `line` without its newline (a trailing CR is tolerated). With a key the
// MAC must be there and right; without one a MAC is ignored. On false,
// `reason` is the refusal to send back; it never repeats the client's text,
// and `forged` tells a missing or wrong MAC from a malformed line.
bool ParseRequestFrame(std::string_view line, std::string_view key, RequestFrameParts* out, std::string* reason,
                       bool* forged = nullptr);

// Whether `text` could travel inside one line: no CR, LF, NUL or other
// control character but tab.
bool IsLineText(std::string_view text);

}  // namespace tarn::suite

#endif  // TARN_SUITE_WIRE_H_
