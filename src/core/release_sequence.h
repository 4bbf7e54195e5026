// The release sequence of a login object: what ShutDown and the end of the
// object run, in a fixed order, ignoring every error.
#ifndef TARN_CORE_RELEASE_SEQUENCE_H_
#define TARN_CORE_RELEASE_SEQUENCE_H_

#include "core/login_parts.h"

namespace tarn::core {

// Deletes the login task's row and closes its log entry when the system
// connection is open, then drops the connection, closes the database kit,
// unloads the heartbeat, signs out of the login interface (unless the
// object was built from a token) and drops the thread's shared resource
// objects. May run twice: the second run finds nothing left to write.
void RunReleaseSequence(LoginParts& s);

// The sign-on's part of the release, without dropping the thread's shared
// objects: what a second sign-on on the same object runs first, so that
// nothing of the first one stays behind.
void ReleaseSignOn(LoginParts& s);

}  // namespace tarn::core

#endif  // TARN_CORE_RELEASE_SEQUENCE_H_
