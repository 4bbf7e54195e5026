// For the suite's own sign-on: admit a login's task with the management
// service when its token is issued, so that the module's first
// registration finds its task known ("pass") rather than being asked to
// log in again.
#ifndef TARN_SUITE_MGMT_ADMIT_H_
#define TARN_SUITE_MGMT_ADMIT_H_

#include <string>

namespace tarn::suite {

// Sends "Connect,<identity>,<sub>,-1,<task>,9801" to `host` through the
// RPC library; true when the service admitted the task or knew it
// already. `sub` is the code the service knows (mapped for the edition).
// Never throws.
bool AdmitTask(const std::string& host, const std::string& identity, const std::string& sub,
               const std::string& task);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_ADMIT_H_
