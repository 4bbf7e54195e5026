// Our implementation of the suite's RPC library "Parley".
//
// RPCCall(host, request, reply) reaches the management service:
//   - host "", ".", "localhost" or this machine's computer name: the
//     ServiceAddress of the registry when set, else the embedded service
//     in this process (suite/mgmt/embedded_service.h);
//   - any other host: "host" or "host:port" over TCP, ServicePort (9801)
//     when no port is given.
// Every call is bounded by RpcTimeoutSeconds. CommDecode and CommEncode
// are the stored-text codec (suite/stored_text_codec.h): obfuscation, not
// encryption.
#ifndef TARN_SUITE_PARLEY_H_
#define TARN_SUITE_PARLEY_H_

#include <string>
#include <string_view>

#include "platform/object_registry.h"
#include "boundary/suite.h"

namespace tarn::suite {

// What RPCCall returns.
enum RpcResult : int32_t {
  kRpcOk = 0,
  kRpcUnreachable = 1,  // no connection, timeout, broken connection
  kRpcRefused = 2,      // the service refused the line (its reason in the reply)
  kRpcBadCall = 3,      // host unusable, or the request cannot travel as one line
  kRpcNoService = 4,    // embedded service without a usable system database
};

void RegisterDefaultParley(ObjectRegistry& registry);

// Writes `text` (cut to 511 characters) and a NUL over the start of
// `buffer`, as the libraries fill their 512-character buffers; a smaller
// buffer is grown first, so a caller that did not prepare one is never
// written past its end.
void WriteReplyBuffer(std::string& buffer, std::string_view text);

}  // namespace tarn::suite

#endif  // TARN_SUITE_PARLEY_H_
