#include "suite/parley.h"

#include <algorithm>
#include <cctype>

#include "platform/env.h"
#include "platform/text.h"
#include "boundary/handshake.h"
#include "suite/mgmt/embedded_service.h"
#include "suite/rpc_client.h"
#include "suite/service_config.h"
#include "suite/stored_text_codec.h"
#include "suite/wire.h"

namespace tarn::suite {

using boundary::CurrentProcessTriple;
using boundary::kBufferChars;
using boundary::kParleyLibrary;
using boundary::kSundryLibrary;
using boundary::Parley;
using boundary::ReplyHandshake;
using boundary::Sundry;
namespace {

// A path names this machine too: the data server of the embedded SQLite
// database is a directory here.
bool IsThisMachine(std::string_view host) {
  return host.empty() || host == "." || host.front() == '/' || EqualsNoCase(host, "localhost") ||
         EqualsNoCase(host, Env::Current().ComputerName());
}

// The handshake the caller will unlock the reply with; 0 without the
// sundry library (the caller then fails to unlock, as it should).
int32_t CallerHandshake() {
  try {
    auto sundry = ObjectRegistry::Global().CreateAs<Sundry>(kSundryLibrary);
    return ReplyHandshake(*sundry, CurrentProcessTriple());
  } catch (const ComError&) {
    return 0;
  }
}

class SystemParley final : public Parley {
 public:
  int32_t RPCCall(const std::string& host, const std::string& request, std::string& reply) override {
    std::string line;
    const int32_t rc = Call(host, request, &line);
    WriteReplyBuffer(reply, line);
    return rc;
  }

  std::string CommDecode(const std::string& stored) override { return CommDecodeText(stored); }
  std::string CommEncode(const std::string& plain) override { return CommEncodeText(plain); }

 private:
  static int32_t Call(const std::string& raw_host, const std::string& request, std::string* out) {
    if (!IsLineText(request)) {
      *out = "request holds control characters";
      return kRpcBadCall;
    }
    const ServiceConfig config = ReadServiceConfig();
    if (!config.key_error.empty()) {
      // Never unsigned instead: the service would refuse it, or, without a
      // key of its own, serve what anyone could send.
      *out = config.key_error;
      return kRpcBadCall;
    }
    const int32_t handshake = CallerHandshake();
    const std::string_view host = TrimBlanks(raw_host);
    std::string target = std::string(host);
    if (IsThisMachine(host)) {
      if (config.service_address.empty()) {
        const std::string frame = RequestFrame(handshake, request, config.service_key);
        std::string line;
        Status s = EmbeddedExchange(config, std::string_view(frame).substr(0, frame.size() - 1), &line);
        if (!s.ok()) {
          *out = s.message();
          return kRpcNoService;
        }
        return Answer(line, out);
      }
      target = config.service_address;
    }
    std::string name;
    uint16_t port = 0;
    if (!SplitHostPort(target, config.service_port, &name, &port)) {
      *out = "unusable service address";
      return kRpcBadCall;
    }
    std::string line;
    Status s =
        TcpExchange(name, port, handshake, request, config.service_key, config.rpc_timeout_seconds * 1000, &line);
    if (!s.ok()) {
      *out = s.message();
      return kRpcUnreachable;
    }
    return Answer(line, out);
  }

  static int32_t Answer(const std::string& line, std::string* out) {
    if (!line.empty() && line.front() == '+') {
      *out = line.substr(1);
      return kRpcOk;
    }
    *out = line.empty() ? std::string("empty reply") : line.substr(1);
    return kRpcRefused;
  }
};

}  // namespace

void WriteReplyBuffer(std::string& buffer, std::string_view text) {
  if (buffer.size() < kBufferChars) buffer.resize(kBufferChars, '\0');
  const size_t n = std::min(text.size(), kBufferChars - 1);
  buffer.replace(0, n, text.substr(0, n));
  buffer[n] = '\0';
}

void RegisterDefaultParley(ObjectRegistry& registry) {
  registry.RegisterDefault(kParleyLibrary, [] { return std::make_shared<SystemParley>(); });
}

}  // namespace tarn::suite
