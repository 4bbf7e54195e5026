#include "suite/mgmt/admit.h"

#include <exception>

#include "boundary/service_protocol.h"
#include "boundary/suite.h"
#include "platform/object_registry.h"

namespace tarn::suite {

bool AdmitTask(const std::string& host, const std::string& identity, const std::string& sub,
               const std::string& task) {
  try {
    auto parley = ObjectRegistry::Global().CreateAs<Parley>(kParleyLibrary);
    auto sundry = ObjectRegistry::Global().CreateAs<Sundry>(kSundryLibrary);
    std::string reply(kBufferChars, ' ');
    if (parley->RPCCall(host, ConnectLine(identity, sub, task, true), reply) != 0) return false;
    const std::string plain = DecodeReplyBuffer(*sundry, reply);
    return plain.find("pass") != std::string::npos || plain.find("relogin") != std::string::npos;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace tarn::suite
