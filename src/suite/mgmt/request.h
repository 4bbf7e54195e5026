// The request lines the management service understands: six
// comma-separated fields, the last one "9801".
//
//   Connect,<identity>,<subsystem>,0|-1,<task>,9801   heartbeat | admission
//   Logout,<identity>,<subsystem>,0,<task>,9801
//   Exit,<identity>,<subsystem>,0,0,9801
//   ChangeYear,<identity>,<subsystem>,0,0,9801
//   List,<identity>,<subsystem>,0,0,9801
//   HostInfo,<identity>,,0,0,9801
#ifndef TARN_SUITE_MGMT_REQUEST_H_
#define TARN_SUITE_MGMT_REQUEST_H_

#include <string>
#include <string_view>

namespace tarn::suite {

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

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_REQUEST_H_
