#include "suite/mgmt/admit.h"

#include <exception>

#include "boundary/service_protocol.h"
#include "boundary/suite.h"
#include "platform/object_registry.h"
#include "suite/parley.h"

namespace tarn::suite {

using boundary::ConnectLine;
using boundary::DecodeReplyBuffer;
using boundary::HostInfoLine;
using boundary::kBufferChars;
using boundary::kParleyLibrary;
using boundary::kSundryLibrary;
using boundary::LogoutLine;
using boundary::Parley;
using boundary::Sundry;

Admission AdmitTask(const std::string& host, const std::string& identity, const std::string& sub,
                    const std::string& task) {
  Admission a;
  try {
    auto parley = ObjectRegistry::Global().CreateAs<Parley>(kParleyLibrary);
    auto sundry = ObjectRegistry::Global().CreateAs<Sundry>(kSundryLibrary);
    std::string reply(kBufferChars, ' ');
    if (const int32_t rc = parley->RPCCall(host, ConnectLine(identity, sub, task, true), reply); rc != kRpcOk) {
      // A refused line carries its reason in the buffer, not locked.
      a.reason = reply.substr(0, reply.find('\0'));
      if (rc == kRpcRefused && a.reason.rfind("refused: ", 0) == 0) {
        a.outcome = Admission::kRefused;
        a.reason.erase(0, 9);
      } else if (rc != kRpcUnreachable) {
        a.outcome = Admission::kFailed;
      }
      return a;
    }
    const std::string plain = DecodeReplyBuffer(*sundry, reply);
    if (plain.find("pass") != std::string::npos || plain.find("relogin") != std::string::npos) {
      a.outcome = Admission::kAdmitted;
    } else {
      a.outcome = Admission::kRefused;
      a.reason = plain.rfind("refused: ", 0) == 0 ? plain.substr(9) : plain;
    }
  } catch (const std::exception& e) {
    a.reason = e.what();
  }
  return a;
}

void WithdrawTask(const std::string& host, const std::string& identity, const std::string& sub,
                  const std::string& task) {
  try {
    auto parley = ObjectRegistry::Global().CreateAs<Parley>(kParleyLibrary);
    std::string reply;
    (void)parley->RPCCall(host, LogoutLine(identity, sub, task), reply);  // a notification: the reply is not read
  } catch (const std::exception&) {
  }
}

std::string HostIdentity(const std::string& host, const std::string& identity) {
  try {
    auto parley = ObjectRegistry::Global().CreateAs<Parley>(kParleyLibrary);
    std::string reply(kBufferChars, ' ');
    if (parley->RPCCall(host, HostInfoLine(identity), reply) != 0) return std::string();
    const std::string plain = reply.substr(0, reply.find('\0'));
    return plain.substr(0, plain.find(','));
  } catch (const std::exception&) {
    return std::string();
  }
}

}  // namespace tarn::suite
