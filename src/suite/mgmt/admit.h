// For the suite's own sign-on: admit a login's task with the management
// service before its rows are written, so that no row exists that no lease
// knows, and hand the task back when the sign-on cannot be recorded.
#ifndef TARN_SUITE_MGMT_ADMIT_H_
#define TARN_SUITE_MGMT_ADMIT_H_

#include <string>

namespace tarn::suite {

struct Admission {
  // kFailed: the service was there but could not decide, for a reason of
  // its own (its database full or lost, a key it cannot use), which is not
  // the same as a service that cannot be reached.
  enum Outcome { kAdmitted, kRefused, kUnreachable, kFailed };
  Outcome outcome = kUnreachable;
  std::string reason;  // the service's refusal, why it failed, or why it was not reached
};

// Sends "Connect,<identity>,<sub>,-1,<task>,9801" to `host` through the
// RPC library: admitted when the service answers "pass" or "relogin".
// `sub` is the code the service knows (mapped for the edition). Never
// throws.
Admission AdmitTask(const std::string& host, const std::string& identity, const std::string& sub,
                    const std::string& task);

// Ends the task again (a sign-on that was admitted but not recorded).
// Never throws; the lease ends it anyway when this does not arrive.
void WithdrawTask(const std::string& host, const std::string& identity, const std::string& sub,
                  const std::string& task);

// The service's identity of a host as HostInfo answers it for `identity`;
// "" when the service cannot be asked. Never throws.
std::string HostIdentity(const std::string& host, const std::string& identity);

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_ADMIT_H_
