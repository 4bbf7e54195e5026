// The client side of the management service's TCP protocol: the greeting
// in, one request line out, one reply line back, every step bounded by one
// deadline (name lookup included), so that a service that is down or stuck
// costs the caller at most the timeout.
#ifndef TARN_SUITE_RPC_CLIENT_H_
#define TARN_SUITE_RPC_CLIENT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "tarn/status.h"

namespace tarn::suite {

// Reads the service's greeting, sends `request` signed with `key` and
// bound to the greeting's nonce (suite/wire.h), and reads the reply line
// (without its newline). A service that refuses the connection ("-busy")
// answers that line in place of a reply. Unavailable when the host cannot
// be reached in time, IOError when the connection breaks, the greeting is
// not one, or the reply is not one line of at most 4 KiB.
Status TcpExchange(const std::string& host, uint16_t port, int32_t handshake, std::string_view request,
                   std::string_view key, int timeout_ms, std::string* reply_line);

}  // namespace tarn::suite

#endif  // TARN_SUITE_RPC_CLIENT_H_
