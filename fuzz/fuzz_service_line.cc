// What the management service reads from the network: a frame (handshake,
// request line, MAC) and the request line inside it, and the replies a
// client unlocks.
#include <cstdint>
#include <string>

#include "boundary/service_protocol.h"
#include "suite/reply_codec.h"
#include "suite/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  tarn::suite::RequestFrameParts parts;
  bool forged = false;
  (void)tarn::suite::ParseRequestFrame(text, "", &parts, &reason, &forged);
  (void)tarn::suite::ParseRequestFrame(text, std::string(32, 'k'), &parts, &reason, &forged);
  tarn::suite::ServiceRequest request;
  (void)tarn::suite::ParseServiceRequest(text, &request, &reason);
  (void)tarn::suite::UnlockReply(text, 12345);
  (void)tarn::suite::IsLineText(text);
  return 0;
}
