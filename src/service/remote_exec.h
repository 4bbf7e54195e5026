// RemoteExec: the calling module relays a command word to the management
// service, or asks for the suite's default connection string. It reads
// the identity and fills in the service address when the sign-on left it
// empty; it creates the login interface when the object has none.
#ifndef TARN_SERVICE_REMOTE_EXEC_H_
#define TARN_SERVICE_REMOTE_EXEC_H_

#include <string>

#include "core/connections.h"
#include "core/identity.h"
#include "tarn/variant.h"

namespace tarn::service {

// clsLogin::RemoteExec's answer (always Empty); `cCmd` takes the
// connection string, or "pass failed".
Variant RemoteExec(core::Identity& id, core::Connections& c, std::string& cCmd);

}  // namespace tarn::service

#endif  // TARN_SERVICE_REMOTE_EXEC_H_
