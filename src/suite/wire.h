// The management service's wire protocol, one line each way over TCP:
//
//   request  "<handshake>|<request line>\n"   handshake: signed decimal
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

// With its newline.
std::string RequestFrame(int32_t handshake, std::string_view request);

struct RequestFrameParts {
  int32_t handshake = 0;
  std::string_view request;
};

// `line` without its newline (a trailing CR is tolerated). On false,
// `reason` is the refusal to send back; it never repeats the client's text.
bool ParseRequestFrame(std::string_view line, RequestFrameParts* out, std::string* reason);

// Whether `text` could travel inside one line: no CR, LF, NUL or other
// control character but tab.
bool IsLineText(std::string_view text);

}  // namespace tarn::suite

#endif  // TARN_SUITE_WIRE_H_
