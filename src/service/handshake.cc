#include "service/handshake.h"

#include "service/libraries.h"
#include "boundary/handshake.h"

namespace tarn::service {

int32_t ReplyHandshake() { return suite::ReplyHandshake(*Sundry(), suite::CurrentProcessTriple()); }

int32_t ConnectStringHandshake() { return suite::ConnectStringHandshake(*Sundry(), suite::CurrentProcessTriple()); }

}  // namespace tarn::service
