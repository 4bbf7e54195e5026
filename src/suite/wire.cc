#include "suite/wire.h"

#include <sodium.h>

#include <charconv>
#include <cstring>

namespace tarn::suite {

namespace {

constexpr size_t kMacHex = crypto_auth_BYTES * 2;

// The HMAC state with the key's pads already hashed: two of the SHA-512
// blocks a short line costs. A process signs and checks with one key, so
// one per thread is kept and made again only when the key changes; it is
// key material, wiped when the thread ends.
class KeyedState {
 public:
  ~KeyedState() {
    sodium_memzero(&state_, sizeof state_);
    sodium_memzero(key_, sizeof key_);
  }
  void CopyTo(std::string_view key, crypto_auth_hmacsha512256_state* out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
    if (key.size() != sizeof key_) {  // callers check; an odd key is just not kept
      crypto_auth_hmacsha512256_init(out, bytes, key.size());
      return;
    }
    if (!ready_ || sodium_memcmp(key_, bytes, sizeof key_) != 0) {
      crypto_auth_hmacsha512256_init(&state_, bytes, key.size());
      std::memcpy(key_, bytes, sizeof key_);
      ready_ = true;
    }
    *out = state_;
  }

 private:
  crypto_auth_hmacsha512256_state state_{};
  unsigned char key_[crypto_auth_KEYBYTES]{};
  bool ready_ = false;
};

// crypto_auth over "<nonce>|<rest>" (or `rest` alone without a nonce),
// streamed so that the nonce need not be copied in front of the line.
void MacOf(std::string_view nonce, std::string_view rest, std::string_view key, unsigned char mac[crypto_auth_BYTES]) {
  thread_local KeyedState keyed;
  crypto_auth_hmacsha512256_state state;
  keyed.CopyTo(key, &state);
  if (!nonce.empty()) {
    crypto_auth_hmacsha512256_update(&state, reinterpret_cast<const unsigned char*>(nonce.data()), nonce.size());
    crypto_auth_hmacsha512256_update(&state, reinterpret_cast<const unsigned char*>("|"), 1);
  }
  crypto_auth_hmacsha512256_update(&state, reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
  crypto_auth_hmacsha512256_final(&state, mac);
  sodium_memzero(&state, sizeof state);
}

// Compared in constant time, as text: the MAC we make is written out in
// lower-case digits, and the line's digits (the caller has checked they
// are digits) are folded to lower case, which costs less than decoding
// them and accepts either case as before.
bool MacMatches(std::string_view nonce, std::string_view signed_part, std::string_view mac_hex, std::string_view key) {
  if (key.size() != crypto_auth_KEYBYTES || mac_hex.size() != kMacHex || sodium_init() < 0) return false;
  unsigned char want[crypto_auth_BYTES];
  MacOf(nonce, signed_part, key, want);
  char want_hex[kMacHex + 1];
  sodium_bin2hex(want_hex, sizeof want_hex, want, sizeof want);
  unsigned char got_hex[kMacHex];
  for (size_t i = 0; i < kMacHex; ++i) got_hex[i] = static_cast<unsigned char>(mac_hex[i]) | 0x20u;
  static_assert(kMacHex == crypto_verify_64_BYTES);
  return crypto_verify_64(reinterpret_cast<const unsigned char*>(want_hex), got_hex) == 0;
}

// Without an early exit: a good line, the usual one, is read whole anyway,
// and a loop without branches on its bytes runs faster over it.
bool IsHex(std::string_view s) {
  bool ok = true;
  for (unsigned char c : s) {
    const unsigned folded = c | 0x20u;  // 'A'-'F' to 'a'-'f', digits stay
    ok &= (static_cast<unsigned>(c - '0') < 10u) | (folded - 'a' < 6u);
  }
  return ok;
}

// The decimal number in front of the first bar of `s`, which is cut off.
template <class N>
bool TakeNumber(std::string_view* s, N* n) {
  const size_t bar = s->find('|');
  if (bar == std::string_view::npos || bar == 0) return false;
  const char* first = s->data();
  auto [end, ec] = std::from_chars(first, first + bar, *n);
  if (ec != std::errc() || end != first + bar) return false;
  s->remove_prefix(bar + 1);
  return true;
}

bool Fail(std::string* reason, FrameFault* fault, FrameFault kind, std::string text) {
  *reason = std::move(text);
  if (fault) *fault = kind;
  return false;
}

}  // namespace

std::string NewChannelNonce() {
  unsigned char bin[kNonceHexDigits / 2];
  if (sodium_init() < 0) return std::string();
  randombytes_buf(bin, sizeof bin);
  char hex[kNonceHexDigits + 1];
  sodium_bin2hex(hex, sizeof hex, bin, sizeof bin);
  return hex;
}

std::string GreetingLine(std::string_view nonce) {
  std::string line = "*";
  line.append(nonce);
  line.push_back('\n');
  return line;
}

bool ParseGreeting(std::string_view line, std::string* nonce) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() != kNonceHexDigits + 1 || line.front() != '*' || !IsHex(line.substr(1))) return false;
  nonce->assign(line.substr(1));
  return true;
}

std::string RequestFrame(int32_t handshake, std::string_view request, std::string_view key,
                         const FrameChannel& channel) {
  std::string frame;
  if (!channel.nonce.empty()) {
    frame = std::to_string(channel.seq);
    frame.push_back('|');
  }
  frame.append(std::to_string(handshake));
  frame.push_back('|');
  frame.append(request);
  if (key.size() == crypto_auth_KEYBYTES && sodium_init() >= 0) {
    unsigned char mac[crypto_auth_BYTES];
    MacOf(channel.nonce, frame, key, mac);
    char hex[kMacHex + 1];
    sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
    frame.push_back('|');
    frame.append(hex, kMacHex);
  }
  frame.push_back('\n');
  return frame;
}

bool IsLineText(std::string_view text) {
  bool ok = true;  // no early exit, as in IsHex
  for (unsigned char c : text) ok &= ((c >= 0x20) | (c == '\t')) & (c != 0x7F);
  return ok;
}

bool ParseRequestFrame(std::string_view line, std::string_view key, const FrameChannel& channel, RequestFrameParts* out,
                       std::string* reason, FrameFault* fault) {
  if (fault) *fault = FrameFault::kNone;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxLineBytes) {
    return Fail(reason, fault, FrameFault::kMalformed, "line longer than " + std::to_string(kMaxLineBytes) + " bytes");
  }
  if (!IsLineText(line)) {
    return Fail(reason, fault, FrameFault::kMalformed, "binary data: control characters in the line");
  }
  const bool bound = !channel.nonce.empty();
  // The MAC stands last: a request line always ends in ",9801".
  std::string_view signed_part = line;
  std::string_view mac;
  if (const size_t last = line.rfind('|'); last != std::string_view::npos && line.size() - last - 1 == kMacHex &&
                                           IsHex(line.substr(last + 1)) && line.find('|') != last) {
    signed_part = line.substr(0, last);
    mac = line.substr(last + 1);
  }
  if (!key.empty()) {
    if (!MacMatches(channel.nonce, signed_part, mac, key)) {
      return Fail(reason, fault, FrameFault::kUnsigned,
                  bound ? "refused: the request is not signed with this installation's service key for this connection"
                        : "refused: the request is not signed with this installation's service key");
    }
  }
  std::string_view rest = signed_part;
  if (bound) {
    uint64_t seq = 0;
    if (!TakeNumber(&rest, &seq)) {
      return Fail(reason, fault, FrameFault::kMalformed, "malformed line: expected <seq>|<handshake>|<request>|<mac>");
    }
    // A signed frame whose seq is not the one due was sent before: a replay.
    if (seq != channel.seq) {
      return Fail(reason, fault, FrameFault::kOutOfOrder, "refused: the request is out of order on this connection");
    }
  }
  int32_t handshake = 0;
  if (rest.find('|') == 0 || rest.find('|') == std::string_view::npos) {
    return Fail(reason, fault, FrameFault::kMalformed,
                bound ? "malformed line: expected <seq>|<handshake>|<request>|<mac>"
                      : "malformed line: expected <handshake>|<request>|<mac>");
  }
  if (!TakeNumber(&rest, &handshake)) {
    return Fail(reason, fault, FrameFault::kMalformed, "malformed line: the handshake is not a 32-bit number");
  }
  out->handshake = handshake;
  out->request = rest;
  return true;
}

}  // namespace tarn::suite
