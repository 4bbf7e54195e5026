#include "suite/wire.h"

#include <charconv>

namespace tarn::suite {

std::string RequestFrame(int32_t handshake, std::string_view request) {
  std::string frame = std::to_string(handshake);
  frame.push_back('|');
  frame.append(request);
  frame.push_back('\n');
  return frame;
}

bool IsLineText(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  }
  return true;
}

bool ParseRequestFrame(std::string_view line, RequestFrameParts* out, std::string* reason) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxLineBytes) {
    *reason = "line longer than " + std::to_string(kMaxLineBytes) + " bytes";
    return false;
  }
  if (!IsLineText(line)) {
    *reason = "binary data: control characters in the line";
    return false;
  }
  const size_t bar = line.find('|');
  if (bar == std::string_view::npos || bar == 0) {
    *reason = "malformed line: expected <handshake>|<request>";
    return false;
  }
  int32_t handshake = 0;
  const char* first = line.data();
  auto [end, ec] = std::from_chars(first, first + bar, handshake);
  if (ec != std::errc() || end != first + bar) {
    *reason = "malformed line: the handshake is not a 32-bit number";
    return false;
  }
  out->handshake = handshake;
  out->request = line.substr(bar + 1);
  return true;
}

}  // namespace tarn::suite
