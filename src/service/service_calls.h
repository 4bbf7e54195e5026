// The management-service commands of the login component. Each builds its
// request line, calls the RPC library with a 512-character reply buffer
// and reads the reply in plain text (DecodeReply).
//
// Every command but SvcHostInfo traps its own errors (a missing library
// included) and returns its failure value; callers decide what a failure
// means. Containment tests are case-sensitive substring tests.
#ifndef TARN_SERVICE_SERVICE_CALLS_H_
#define TARN_SERVICE_SERVICE_CALLS_H_

#include <cstdint>
#include <string>

namespace tarn::service {

// True when the call succeeded and the reply contains "pass" (flag 0).
bool SvcConnect(const std::string& host, const std::string& identity, const std::string& sub, const std::string& task);
// With admission (flag -1): 0 when the reply contains "pass", 1 when it
// contains "relogin" and not "pass", -1 for anything else or a failure.
int16_t SvcConnectEx(const std::string& host, const std::string& identity, const std::string& sub,
                     const std::string& task);
// "True" when the call succeeded, else "False"; the reply is not read.
std::string SvcLogout(const std::string& host, const std::string& identity, const std::string& sub,
                      const std::string& task);
bool SvcExit(const std::string& host, const std::string& identity, const std::string& sub);
bool SvcChangeYear(const std::string& host, const std::string& identity, const std::string& sub);
bool SvcList(const std::string& host, const std::string& identity, const std::string& sub);
// The raw reply up to its first NUL, cut before its first comma; "" when
// the call failed. Traps nothing: a missing library, or a reply without
// NUL (ComError 5), reaches the caller.
std::string SvcHostInfo(const std::string& host, const std::string& identity);

// The plain text of a reply buffer: trimmed of blanks at both ends and
// unlocked with this thread's handshake, up to its first NUL.
std::string DecodeReply(const std::string& reply_buffer);

}  // namespace tarn::service

#endif  // TARN_SERVICE_SERVICE_CALLS_H_
