#include "service/service_calls.h"

#include <exception>

#include "platform/text.h"
#include "service/handshake.h"
#include "service/libraries.h"
#include "boundary/service_protocol.h"
#include "tarn/com_error.h"

namespace tarn::service {
namespace {

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// One exchange: false when the call failed, else the plain reply.
bool Exchange(const std::string& host, const std::string& request, std::string* plain) {
  std::string buffer(boundary::kBufferChars, ' ');
  if (Parley()->RPCCall(host, request, buffer) != 0) return false;
  *plain = DecodeReply(buffer);
  return true;
}

// The commands whose result is whether the reply holds "pass".
bool Passes(const std::string& host, const std::string& request) {
  try {
    std::string plain;
    return Exchange(host, request, &plain) && Contains(plain, "pass");
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string DecodeReply(const std::string& reply_buffer) {
  return boundary::DecodeReplyBuffer(*Sundry(), reply_buffer);
}

bool SvcConnect(const std::string& host, const std::string& identity, const std::string& sub, const std::string& task) {
  return Passes(host, boundary::ConnectLine(identity, sub, task, false));
}

int16_t SvcConnectEx(const std::string& host, const std::string& identity, const std::string& sub,
                     const std::string& task) {
  try {
    std::string plain;
    if (!Exchange(host, boundary::ConnectLine(identity, sub, task, true), &plain)) return -1;
    if (Contains(plain, "pass")) return 0;
    if (Contains(plain, "relogin")) return 1;
  } catch (const std::exception&) {
  }
  return -1;
}

std::string SvcLogout(const std::string& host, const std::string& identity, const std::string& sub,
                      const std::string& task) {
  try {
    std::string buffer;  // not prepared: the reply is not read
    return Parley()->RPCCall(host, boundary::LogoutLine(identity, sub, task), buffer) == 0 ? "True" : "False";
  } catch (const std::exception&) {
    return "False";
  }
}

bool SvcExit(const std::string& host, const std::string& identity, const std::string& sub) {
  return Passes(host, boundary::ExitLine(identity, sub));
}

bool SvcChangeYear(const std::string& host, const std::string& identity, const std::string& sub) {
  return Passes(host, boundary::ChangeYearLine(identity, sub));
}

bool SvcList(const std::string& host, const std::string& identity, const std::string& sub) {
  return Passes(host, boundary::ListLine(identity, sub));
}

std::string SvcHostInfo(const std::string& host, const std::string& identity) {
  std::string result;
  std::string buffer(boundary::kBufferChars, ' ');
  if (Parley()->RPCCall(host, boundary::HostInfoLine(identity), buffer) == 0) {
    const size_t nul = buffer.find('\0');
    if (nul == std::string::npos) throw ComError(errnum::kInvalidCall, "Invalid procedure call or argument");
    result = buffer.substr(0, nul);
    result = result.substr(0, result.find(','));
  }
  return result;
}

}  // namespace tarn::service
