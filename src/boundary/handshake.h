// The two handshake numbers of a calling process, each formed by a fixed
// series of Sundry::MathOperate calls from the process id, the process
// handle and the thread id. Both sides of an exchange form them the same
// way: the login component and the RPC library for service replies, the
// login component and the login user interface for the default connection
// string. They tie a result to the calling thread; they are not secrets.
#ifndef TARN_BOUNDARY_HANDSHAKE_H_
#define TARN_BOUNDARY_HANDSHAKE_H_

#include <cstdint>

#include "boundary/suite.h"

namespace tarn::boundary {

struct ProcessTriple {
  uint32_t process_id = 0;
  uintptr_t process_handle = 0;
  uint32_t thread_id = 0;
};

// What Env::Current() reports for the calling thread.
ProcessTriple CurrentProcessTriple();

// The key under which the management service's replies are unlocked.
int32_t ReplyHandshake(Sundry& sundry, const ProcessTriple& p);
// The number handed to the login interface with the default connection
// string; deliberately another series than the reply key.
int32_t ConnectStringHandshake(Sundry& sundry, const ProcessTriple& p);

}  // namespace tarn::boundary

#endif  // TARN_BOUNDARY_HANDSHAKE_H_
