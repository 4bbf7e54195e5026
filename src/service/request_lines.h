// The request lines the login component sends to the management service,
// built by plain concatenation: six comma-separated fields ending in
// "9801", nothing quoted or escaped (a comma inside a field shifts the
// fields behind it).
#ifndef TARN_SERVICE_REQUEST_LINES_H_
#define TARN_SERVICE_REQUEST_LINES_H_

#include <string>

namespace tarn::service {

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

}  // namespace tarn::service

#endif  // TARN_SERVICE_REQUEST_LINES_H_
