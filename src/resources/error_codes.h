// Every code the component records in LogState, with the resource id of
// the message it carries: one table, so that a code is never a bare number
// at the place that records it.
#ifndef TARN_RESOURCES_ERROR_CODES_H_
#define TARN_RESOURCES_ERROR_CODES_H_

#include <cstdint>

namespace tarn::resources {

enum ErrorCode : int32_t {
  kNoError = 0,
  // Sign-on.
  kBadSubsystemCode = 1,      // the subsystem code is not two characters
  kNoAccountConnection = 887, // the object holds no account connection string
  kUnknownLoginError = 901,   // a database error while completing the sign-on
  kTokenRefused = 8887,       // extended: the login interface refused a token
  kLoginUiRefused = 8888,     // extended: the login interface refused the sign-on
  // Management service.
  kServiceLost = 102,         // a heartbeat the service did not confirm
  // Task control.
  kAuthIdUnknown = 9,
  kAuthNotHeld = 10,
  kTaskExecFailed = 22,       // text composed: message, CR, the database's text
  kNoUserSignedOn = 25,
  kServiceRefusedTask = 30,
  kBadExclusionProfile = 300,
  kTaskLogIdTaken = 302,
  kReleaseFailed = 9003,      // text composed: message, CR, the error's text
  kTaskRepelled = 9999,       // a deadlock or scan conflict while writing or releasing
};

namespace res {
inline constexpr char kInvalidateSubID[] = "Tarn.AA.TarnLogin.InvalidateSubID";
inline constexpr char kInvalidateToken[] = "Tarn.AA.TarnLogin.InvalidateToken";
inline constexpr char kUnknownLoginError[] = "Tarn.AA.TarnLogin.UnknownLoginError";
inline constexpr char kNotCompleteLogin[] = "Tarn.AA.TarnLogin.NotCompleteLogin";
inline constexpr char kErrorConnectApp[] = "Tarn.AA.TarnLogin.ErrorConnectApp";
}  // namespace res

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_ERROR_CODES_H_
