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
  kBadSubsystemCode = 1,       // the subsystem code is not two characters
  kNoAccountConnection = 887,  // the object holds no account connection string
  kUnknownLoginError = 901,    // a database error while completing the sign-on
  kTokenRefused = 8887,        // extended: the login interface refused a token
  kLoginUiRefused = 8888,      // extended: the login interface refused the sign-on
  // Management service.
  kServiceLost = 102,  // a heartbeat the service did not confirm
  // Task control.
  kAuthIdUnknown = 9,
  kAuthNotHeld = 10,
  kTaskExecFailed = 22,  // text composed: message, CR, the database's text
  kNoUserSignedOn = 25,
  kServiceRefusedTask = 30,
  kBadExclusionProfile = 300,
  kTaskLogIdTaken = 302,
  kReleaseFailed = 9003,  // text composed: message, CR, the error's text
  kTaskRepelled = 9999,   // a deadlock or scan conflict while writing or releasing
  // The exclusion rules: the code tells the kind of rule.
  kConflictPairOrSubsystem = 14,  // pairs, subsystem lock, module shut-out
  kConflictYear = 15,             // the year lock
  kConflictExclusive = 17,        // an exclusive function, the account lock
};

namespace res {
inline constexpr char kInvalidateSubID[] = "Tarn.AA.TarnLogin.InvalidateSubID";
inline constexpr char kInvalidateToken[] = "Tarn.AA.TarnLogin.InvalidateToken";
inline constexpr char kUnknownLoginError[] = "Tarn.AA.TarnLogin.UnknownLoginError";
inline constexpr char kNotCompleteLogin[] = "Tarn.AA.TarnLogin.NotCompleteLogin";
inline constexpr char kErrorConnectApp[] = "Tarn.AA.TarnLogin.ErrorConnectApp";
inline constexpr char kNotCompleteLogin2[] = "Tarn.AA.TarnLogin.NotCompleteLogin2";
inline constexpr char kFailCallLogin[] = "Tarn.AA.TarnLogin.FailCallLogin";
inline constexpr char kNotExistAuthID[] = "Tarn.AA.TarnLogin.NotExistAuthID";
inline constexpr char kNotHoldAuth[] = "Tarn.AA.TarnLogin.NotHoldAuth";
inline constexpr char kErrorWriteTask[] = "Tarn.AA.TarnLogin.ErrorWriteTask";
inline constexpr char kExceptionAuthID[] = "Tarn.AA.TarnLogin.ExceptionAuthID";
inline constexpr char kTaskRepellent[] = "Tarn.AA.TarnLogin.TaskRepellent";
inline constexpr char kExceptTaskExec[] = "Tarn.AA.TarnLogin.ExceptTaskExec";
inline constexpr char kExceptionReleaseTask[] = "Tarn.AA.TarnLogin.ExceptionReleaseTask";
inline constexpr char kFailReleaseTask[] = "Tarn.AA.TarnLogin.FailReleaseTask";
inline constexpr char kTaskRepellent2[] = "Tarn.AA.TarnLogin.TaskRepellent2";
inline constexpr char kTaskRepellent3[] = "Tarn.AA.TarnLogin.TaskRepellent3";
inline constexpr char kTaskRepellent4[] = "Tarn.AA.TarnLogin1.TaskRepellent4";
inline constexpr char kTaskRepellent5[] = "Tarn.AA.TarnLogin.TaskRepellent5";
inline constexpr char kTaskRepellent6[] = "Tarn.AA.TarnLogin1.TaskRepellent6";
}  // namespace res

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_ERROR_CODES_H_
