// The management service's wire protocol, one line at a time over TCP:
//
//   greeting "*<nonce>\n"                     the service, once, on accept
//            nonce: 32 hexadecimal digits, fresh random per connection
//   request  "<seq>|<handshake>|<request line>|<mac>\n"
//            seq: 1 for the connection's first request, one more after
//            each request the service accepted; handshake: signed
//            decimal; mac: crypto_auth (HMAC-SHA-512-256) of
//            "<nonce>|<seq>|<handshake>|<request line>" under the
//            installation's service key, 64 hexadecimal digits
//   reply    "+<reply>\n"                     the request was served
//            "-<reason>\n"                    the line was refused
//
// The MAC binds a request to its connection and its place on it: a
// captured line replayed on another connection (another nonce) or again
// on its own (a used seq) is refused. A service over its client limit
// sends "-busy: ..." in place of the greeting and closes.
//
// The embedded service has no connection and so nothing to replay: its
// frames are "<handshake>|<request line>|<mac>\n" with the MAC over
// "<handshake>|<request line>". The two signed forms cannot stand for
// each other: one starts with 32 hexadecimal digits and a bar, the other
// with a number of at most 11 characters.
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
inline constexpr size_t kNonceHexDigits = 32;

// Where a frame travels: the nonce of the connection's greeting and the
// frame's seq on it. An empty nonce: no connection (the embedded service).
struct FrameChannel {
  std::string_view nonce;
  uint64_t seq = 0;
};

// A fresh nonce for a connection: kNonceHexDigits lowercase hex digits.
std::string NewChannelNonce();

// "*<nonce>\n".
std::string GreetingLine(std::string_view nonce);

// The nonce of `line` (without its newline) when it is a greeting.
bool ParseGreeting(std::string_view line, std::string* nonce);

// With its newline; signed with `key` (32 bytes) and bound to `channel`.
// An empty key sends no MAC (a service that checks none: the embedded one
// without a key file).
std::string RequestFrame(int32_t handshake, std::string_view request, std::string_view key,
                         const FrameChannel& channel = {});

struct RequestFrameParts {
  int32_t handshake = 0;
  std::string_view request;
};

// Why ParseRequestFrame refused a line.
enum class FrameFault {
  kNone,
  kMalformed,   // not a frame, or not text
  kUnsigned,    // no MAC, a wrong one, or one for another connection
  kOutOfOrder,  // rightly signed, but not the seq that was due
};

// `line` without its newline (a trailing CR is tolerated). With a key the
// MAC must be there and right for `channel`; without one a MAC is ignored.
// A channel with a nonce takes only the bound form, one without only the
// unbound. On false, `reason` is the refusal to send back; it never
// repeats the client's text.
bool ParseRequestFrame(std::string_view line, std::string_view key, const FrameChannel& channel, RequestFrameParts* out,
                       std::string* reason, FrameFault* fault = nullptr);

// Whether `text` could travel inside one line: no CR, LF, NUL or other
// control character but tab.
bool IsLineText(std::string_view text);

}  // namespace tarn::suite

#endif  // TARN_SUITE_WIRE_H_
