#include "suite/reply_codec.h"

#include <cstring>

#include "suite/hex.h"

namespace tarn::suite {
namespace {

// Two known bytes in front of the text: unlocking with another handshake
// fails this check (all but 1 in 65536 times) instead of yielding noise.
constexpr char kCheck[2] = {'T', 'n'};

class KeyStream {
 public:
  explicit KeyStream(int32_t handshake) : state_(static_cast<uint32_t>(handshake) ^ 0x6A09E667u) {
    if (state_ == 0) state_ = 1;
  }
  uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<uint8_t>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

}  // namespace

std::string LockReply(std::string_view plain, int32_t handshake) {
  std::string out;
  AppendLockedReply(plain, handshake, &out);
  return out;
}

void AppendLockedReply(std::string_view plain, int32_t handshake, std::string* out) {
  plain = plain.substr(0, kMaxPlainReply);
  char body[sizeof kCheck + kMaxPlainReply];
  std::memcpy(body, kCheck, sizeof kCheck);
  std::memcpy(body + sizeof kCheck, plain.data(), plain.size());
  const size_t n = sizeof kCheck + plain.size();
  KeyStream ks(handshake);
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(static_cast<uint8_t>(body[i]) ^ ks.Next());
  out->push_back('~');
  AppendHex(std::string_view(body, n), out);
}

std::optional<std::string> UnlockReply(std::string_view locked, int32_t handshake) {
  if (locked.empty() || locked.front() != '~') return std::nullopt;
  std::optional<std::string> body = HexDecode(locked.substr(1));
  if (!body || body->size() < sizeof kCheck) return std::nullopt;
  KeyStream ks(handshake);
  for (char& c : *body) c = static_cast<char>(static_cast<uint8_t>(c) ^ ks.Next());
  if (body->compare(0, sizeof kCheck, kCheck, sizeof kCheck) != 0) return std::nullopt;
  return body->substr(sizeof kCheck);
}

}  // namespace tarn::suite
