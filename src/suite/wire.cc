#include "suite/wire.h"

#include <sodium.h>

#include <charconv>

namespace tarn::suite {

namespace {

constexpr size_t kMacHex = crypto_auth_BYTES * 2;

std::string Mac(std::string_view signed_part, std::string_view key) {
  unsigned char mac[crypto_auth_BYTES];
  crypto_auth(mac, reinterpret_cast<const unsigned char*>(signed_part.data()), signed_part.size(),
              reinterpret_cast<const unsigned char*>(key.data()));
  char hex[kMacHex + 1];
  sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
  return hex;
}

bool IsHex(std::string_view s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

std::string RequestFrame(int32_t handshake, std::string_view request, std::string_view key) {
  std::string frame = std::to_string(handshake);
  frame.push_back('|');
  frame.append(request);
  if (key.size() == crypto_auth_KEYBYTES && sodium_init() >= 0) {
    const std::string mac = Mac(frame, key);
    frame.push_back('|');
    frame.append(mac);
  }
  frame.push_back('\n');
  return frame;
}

bool IsLineText(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  }
  return true;
}

bool ParseRequestFrame(std::string_view line, std::string_view key, RequestFrameParts* out, std::string* reason,
                       bool* forged) {
  if (forged) *forged = false;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxLineBytes) {
    *reason = "line longer than " + std::to_string(kMaxLineBytes) + " bytes";
    return false;
  }
  if (!IsLineText(line)) {
    *reason = "binary data: control characters in the line";
    return false;
  }
  // The MAC stands last: a request line always ends in ",9801".
  std::string_view signed_part = line;
  std::string_view mac;
  if (const size_t last = line.rfind('|'); last != std::string_view::npos && line.size() - last - 1 == kMacHex &&
                                           IsHex(line.substr(last + 1)) && line.find('|') != last) {
    signed_part = line.substr(0, last);
    mac = line.substr(last + 1);
  }
  if (!key.empty()) {
    unsigned char bin[crypto_auth_BYTES];
    size_t len = 0;
    const bool valid = key.size() == crypto_auth_KEYBYTES && mac.size() == kMacHex && sodium_init() >= 0 &&
                       sodium_hex2bin(bin, sizeof bin, mac.data(), mac.size(), nullptr, &len, nullptr) == 0 &&
                       len == sizeof bin &&
                       crypto_auth_verify(bin, reinterpret_cast<const unsigned char*>(signed_part.data()),
                                          signed_part.size(), reinterpret_cast<const unsigned char*>(key.data())) == 0;
    if (!valid) {
      if (forged) *forged = true;
      *reason = "refused: the request is not signed with this installation's service key";
      return false;
    }
  }
  const size_t bar = signed_part.find('|');
  if (bar == std::string_view::npos || bar == 0) {
    *reason = "malformed line: expected <handshake>|<request>|<mac>";
    return false;
  }
  int32_t handshake = 0;
  const char* first = signed_part.data();
  auto [end, ec] = std::from_chars(first, first + bar, handshake);
  if (ec != std::errc() || end != first + bar) {
    *reason = "malformed line: the handshake is not a 32-bit number";
    return false;
  }
  out->handshake = handshake;
  out->request = signed_part.substr(bar + 1);
  return true;
}

}  // namespace tarn::suite
