// The handshake numbers of the calling thread, formed through the sundry
// library's MathOperate afresh for each call (boundary/handshake.h has the
// series). Throw ComError when the library is missing.
#ifndef TARN_SERVICE_HANDSHAKE_H_
#define TARN_SERVICE_HANDSHAKE_H_

#include <cstdint>

namespace tarn::service {

// The key of the management service's replies.
int32_t ReplyHandshake();
// The number that goes with the default connection string.
int32_t ConnectStringHandshake();

}  // namespace tarn::service

#endif  // TARN_SERVICE_HANDSHAKE_H_
