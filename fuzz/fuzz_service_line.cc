// What the management service reads from the network: a frame (seq,
// handshake, request line, MAC; or the embedded service's, without seq)
// and the request line inside it; and what a client reads: the greeting
// and the replies it unlocks.
#include <cstdint>
#include <string>

#include "boundary/service_protocol.h"
#include "suite/reply_codec.h"
#include "suite/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  tarn::suite::RequestFrameParts parts;
  const std::string key(32, 'k');
  const tarn::suite::FrameChannel none, bound{"0123456789abcdef0123456789abcdef", 1};
  tarn::suite::FrameFault fault;
  (void)tarn::suite::ParseRequestFrame(text, "", none, &parts, &reason, &fault);
  (void)tarn::suite::ParseRequestFrame(text, key, none, &parts, &reason, &fault);
  (void)tarn::suite::ParseRequestFrame(text, "", bound, &parts, &reason, &fault);
  (void)tarn::suite::ParseRequestFrame(text, key, bound, &parts, &reason, &fault);
  std::string nonce;
  (void)tarn::suite::ParseGreeting(text, &nonce);
  tarn::boundary::ServiceRequest request;
  (void)tarn::boundary::ParseServiceRequest(text, &request, &reason);
  (void)tarn::suite::UnlockReply(text, 12345);
  (void)tarn::suite::IsLineText(text);
  return 0;
}
