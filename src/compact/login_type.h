// The compact build's class as late-bound callers see it: "TarnLogin.Login"
// with the interface _Login (Login, StrTarnConn, StrConn).
#ifndef TARN_COMPACT_LOGIN_TYPE_H_
#define TARN_COMPACT_LOGIN_TYPE_H_

#include "platform/dispatch.h"
#include "tarn/compact_login.h"
#include "tarn/variant.h"

namespace tarn::compact {

inline constexpr char kProgId[] = "TarnLogin.Login";

class LoginObject : public Object {
 public:
  std::string TypeName() const override { return "Login"; }
  CompactLogin& login() { return login_; }

 private:
  CompactLogin login_;
};

const TypeInfo& LoginType();

}  // namespace tarn::compact

#endif  // TARN_COMPACT_LOGIN_TYPE_H_
