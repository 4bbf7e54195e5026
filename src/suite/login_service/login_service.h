// Our login interface: signs a user on against the system database named
// in the settings, issues sealed tokens, writes and admits the login task,
// and answers what modules ask of it afterwards.
#ifndef TARN_SUITE_LOGIN_SERVICE_LOGIN_SERVICE_H_
#define TARN_SUITE_LOGIN_SERVICE_LOGIN_SERVICE_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "platform/object_registry.h"
#include "suite/login_service/context_data.h"
#include "boundary/suite.h"
#include "tarn/edition.h"

namespace tarn::suite {

using boundary::ContextData;
using boundary::LoginErrorRecord;
using boundary::LoginUI;
using boundary::ProductContext;
using boundary::UserData;

class LoginService final : public LoginUI {
 public:
  // `edition`: whose registry keys name this station's serial.
  explicit LoginService(Edition edition = Edition::kFull) : edition_(edition) {}

  void SetLanguageID(const std::string& locale) override;
  bool Login(std::string& sub_id, std::string& user_id, std::string& password, std::string& server,
             std::string& date_text, std::string& acc_id, std::string& serial) override;
  std::shared_ptr<ProductContext> SubLogin(const std::string& sub_id) override;
  std::string UserToken() override;
  std::string GetTaskID(const std::string& sub_id) override;
  std::string ErrDescript() override { return error_text_; }
  std::shared_ptr<UserData> GetLoginInfo_2(const std::string& token) override;
  std::string GetEndSubAuthsWithAuthID(const std::string& token, const std::string& auth_id, bool is_admin,
                                       const std::string& sub_id) override;
  void SubLogout(const std::string& sub_id) override;
  void ShutDown() override;
  std::string GetDefaultConnstring(const std::string& host_and_handshake) override;
  std::string GetFileServerInfo(const std::string& token, bool flag) override;
  std::shared_ptr<LoginErrorRecord> GetLastErrorResID() override;
  std::string userToken() override { return UserToken(); }
  std::shared_ptr<UserData> getLoginInfo() override;
  std::shared_ptr<ContextData> GetSubLoginInfo(const std::string& sub_id) override;

  // A token for the given user data, valid for the configured hours.
  static std::string IssueToken(const Members& user_data);

 private:
  // Records a refusal in the current language; returns false.
  bool Refuse(const std::string& res_id, std::vector<Variant> args = {});
  bool RefuseText(const std::string& text);
  // Admits the sign-on's task and writes its rows; false with the refusal
  // recorded when either fails.
  bool OpenTask(const std::string& sub);
  // The system database, opened on first use and kept for the object.
  db::ConnectionPtr SystemDatabase();

  Edition edition_;
  std::string language_;
  std::string error_text_;
  std::string error_res_id_;
  Array error_args_;
  std::optional<Members> session_;  // the user data of the accepted sign-on
  std::string task_id_;
  std::string sub_name_;
  db::ConnectionPtr conn_;
};

void RegisterDefaultLoginService(ObjectRegistry& registry, Edition edition);

// The connection string handed to modules as the account connection: the
// system database's, without its catalog, its data source first and
// spelled "data source=" (modules search for "source=" as written) so that
// it is always followed by ';'.
std::string AccountConnectionString(const std::string& system_database);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LOGIN_SERVICE_LOGIN_SERVICE_H_
