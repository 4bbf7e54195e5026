// The completion step of a sign-on: opens the system database, fills the
// rest of the login object and starts its heartbeat.
#ifndef TARN_SIGNON_COMPLETION_H_
#define TARN_SIGNON_COMPLETION_H_

#include <string>

#include "boundary/suite.h"
#include "core/login_parts.h"
#include "tarn/login.h"

namespace tarn::signon {

struct LoginArgs {
  std::string& sub_id;
  std::string& acc_id;
  std::string& year_id;
  std::string& user_id;
  std::string& password;
  std::string& date;
  std::string& server;
  std::string& serial;
};

// `sub_login_data`, when given (extended edition: the login interface's
// sub-login data), supplies the subsystem name and the task id; an object
// without those members fails the sign-on as a database error does.
// Throws ComError for a date text that is not a date.
bool CompleteLogin(core::LoginParts& s, LoginArgs args, const Object* sub_login_data = nullptr);

}  // namespace tarn::signon

#endif  // TARN_SIGNON_COMPLETION_H_
