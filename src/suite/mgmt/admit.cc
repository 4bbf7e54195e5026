#include "suite/mgmt/admit.h"

#include <exception>

#include "platform/object_registry.h"
#include "suite/closed_libs.h"
#include "suite/defaults.h"
#include "suite/handshake.h"

namespace tarn::suite {

bool AdmitTask(const std::string& host, const std::string& identity, const std::string& sub,
               const std::string& task) {
  try {
    RegisterDefaults();
    auto parley = ObjectRegistry::Global().CreateAs<Parley>(kParleyLibrary);
    auto sundry = ObjectRegistry::Global().CreateAs<Sundry>(kSundryLibrary);
    std::string reply(kBufferChars, ' ');
    if (parley->RPCCall(host, "Connect," + identity + "," + sub + ",-1," + task + ",9801", reply) != 0) return false;
    const std::string plain = sundry->UnlockInfo(reply.substr(0, reply.find('\0')), ReplyHandshake(*sundry, CurrentProcessTriple()));
    return plain.find("pass") != std::string::npos || plain.find("relogin") != std::string::npos;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace tarn::suite
