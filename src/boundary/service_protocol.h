// The management service's request lines, as the login component builds
// them and the service reads them: six comma-separated fields, the last one
// the fixed text "9801", built by plain concatenation (nothing is quoted or
// escaped: a comma inside a field shifts the fields behind it).
//
//   Connect,<identity>,<subsystem>,0|-1,<task>,9801   heartbeat | admission
//   Logout,<identity>,<subsystem>,0,<task>,9801
//   Exit,<identity>,<subsystem>,0,0,9801
//   ChangeYear,<identity>,<subsystem>,0,0,9801
//   List,<identity>,<subsystem>,0,0,9801
//   HostInfo,<identity>,,0,0,9801
//
// Replies come back in the RPC library's 512-character buffer, locked to the
// caller's handshake (boundary/handshake.h).
#ifndef TARN_BOUNDARY_SERVICE_PROTOCOL_H_
#define TARN_BOUNDARY_SERVICE_PROTOCOL_H_

#include <string>
#include <string_view>

#include "boundary/suite.h"

namespace tarn::boundary {

inline constexpr std::string_view kRequestTrailer = "9801";

// Flag "0": a heartbeat; flag "-1": with admission.
std::string ConnectLine(const std::string& identity, const std::string& sub, const std::string& task, bool admit);
std::string LogoutLine(const std::string& identity, const std::string& sub, const std::string& task);
std::string ExitLine(const std::string& identity, const std::string& sub);
std::string ChangeYearLine(const std::string& identity, const std::string& sub);
std::string ListLine(const std::string& identity, const std::string& sub);
std::string HostInfoLine(const std::string& identity);

// The code under which the service knows a subsystem in this edition:
// group editions send PS, BM, DA as PG, BG, DG; other editions send SG as
// SF. Any other code goes out exactly as passed.
std::string MapSubIdForEdition(const std::string& sub_id, bool is_group);

// The plain text of a reply buffer: trimmed of blanks at both ends and
// unlocked with the calling thread's handshake, up to its first NUL.
std::string DecodeReplyBuffer(Sundry& sundry, const std::string& reply_buffer);

enum class Verb { kConnect, kLogout, kExit, kChangeYear, kList, kHostInfo };

struct ServiceRequest {
  Verb verb = Verb::kConnect;
  std::string identity;
  std::string sub;  // upper-cased: the service knows subsystems by code
  std::string flag;
  std::string task;
  bool admit() const { return verb == Verb::kConnect && flag == "-1"; }
};

// On false, `reason` is a refusal that does not repeat the client's text
// (a reply must never echo a "pass" the client put into it).
bool ParseServiceRequest(std::string_view line, ServiceRequest* out, std::string* reason);

}  // namespace tarn::boundary

#endif  // TARN_BOUNDARY_SERVICE_PROTOCOL_H_
