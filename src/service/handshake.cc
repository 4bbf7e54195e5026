#include "service/handshake.h"

#include "service/libraries.h"
#include "boundary/handshake.h"

namespace tarn::service {

int32_t ReplyHandshake() { return boundary::ReplyHandshake(*Sundry(), boundary::CurrentProcessTriple()); }

int32_t ConnectStringHandshake() {
  return boundary::ConnectStringHandshake(*Sundry(), boundary::CurrentProcessTriple());
}

}  // namespace tarn::service
