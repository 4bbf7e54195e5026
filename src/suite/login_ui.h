// The suite's login user interface and its login context, as the login
// object calls them. Our own implementation lives beside this file; a host
// may register another under the same ProgIDs.
#ifndef TARN_SUITE_LOGIN_UI_H_
#define TARN_SUITE_LOGIN_UI_H_

#include <memory>
#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::suite {

inline constexpr std::string_view kLoginUiProgId = "ValeSoft.Tarn.Framework.Login.UI.clsLogin";
inline constexpr std::string_view kUserDataProgId = "ValeSoft.Tarn.Framework.LoginContext.UserData";
inline constexpr std::string_view kProductContextProgId =
    "ValeSoft.Tarn.Framework.LoginContext.ProductContext";

// Data objects of the login context are read member by member by name
// (UserId, ConnString, operDate, SubName, TaskId, ...). An unknown member
// throws ComError 438.
class ContextData : public Object {
 public:
  std::string TypeName() const override { return "ContextData"; }
  virtual Variant Get(std::string_view member) const = 0;
};

class UserData : public ContextData {
 public:
  std::string TypeName() const override { return "UserData"; }
};

class ProductContext : public ContextData {
 public:
  std::string TypeName() const override { return "ProductContext"; }
};

// What the interface's GetLastErrorResID answers: an id and the arguments as
// text of "resarg" elements with a "key" attribute.
class LoginErrorRecord : public Object {
 public:
  std::string TypeName() const override { return "LoginErrorRecord"; }
  virtual std::string ResId() const = 0;
  virtual std::string ResArg() const = 0;
};

// Every member may throw ComError; the caller decides whether it catches.
class LoginUI : public Object {
 public:
  std::string TypeName() const override { return "LoginUI"; }

  virtual void SetLanguageID(const std::string& locale) = 0;
  // All seven arguments are in/out: the interface may change them.
  virtual bool Login(std::string& sub_id, std::string& user_id, std::string& password,
                     std::string& server, std::string& date_text, std::string& acc_id,
                     std::string& serial) = 0;
  // Nothing (nullptr) on refusal.
  virtual std::shared_ptr<ProductContext> SubLogin(const std::string& sub_id) = 0;
  virtual std::string UserToken() = 0;
  virtual std::string GetTaskID(const std::string& sub_id) = 0;
  virtual std::string ErrDescript() = 0;
  // Nothing for a token it does not accept.
  virtual std::shared_ptr<UserData> GetLoginInfo_2(const std::string& token) = 0;
  virtual std::string GetEndSubAuthsWithAuthID(const std::string& token, const std::string& auth_id,
                                               bool is_admin, const std::string& sub_id) = 0;
  virtual void SubLogout(const std::string& sub_id) = 0;
  virtual void ShutDown() = 0;
  // One text: host, a tab, the handshake number.
  virtual std::string GetDefaultConnstring(const std::string& host_and_handshake) = 0;
  virtual std::string GetFileServerInfo(const std::string& token, bool flag) = 0;
  // Nothing, or a record.
  virtual std::shared_ptr<LoginErrorRecord> GetLastErrorResID() = 0;
  // Extended build.
  virtual std::string userToken() = 0;
  virtual std::shared_ptr<UserData> getLoginInfo() = 0;
  virtual std::shared_ptr<ContextData> GetSubLoginInfo(const std::string& sub_id) = 0;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_LOGIN_UI_H_
