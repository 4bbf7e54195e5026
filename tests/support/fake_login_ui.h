// A login interface double that records the calls it gets.
#ifndef TARN_TESTS_SUPPORT_FAKE_LOGIN_UI_H_
#define TARN_TESTS_SUPPORT_FAKE_LOGIN_UI_H_

#include <map>
#include <string>
#include <vector>

#include "boundary/suite.h"
#include "tarn/com_error.h"

namespace tarn::testing {

class FakeUserData : public boundary::UserData {
 public:
  std::map<std::string, Variant> members;
  Variant Get(std::string_view member) const override {
    auto it = members.find(std::string(member));
    if (it == members.end()) throw ComError(errnum::kNoSuchMember, "no member " + std::string(member));
    return it->second;
  }
};

class FakeErrorRecord : public boundary::LoginErrorRecord {
 public:
  FakeErrorRecord(std::string id, std::string args) : id_(std::move(id)), args_(std::move(args)) {}
  std::string ResId() const override { return id_; }
  std::string ResArg() const override { return args_; }

 private:
  std::string id_, args_;
};

class FakeProductContext : public boundary::ProductContext {
 public:
  Variant Get(std::string_view) const override { return Variant(); }
};

class FakeLoginUI : public boundary::LoginUI {
 public:
  std::vector<std::string> calls;
  bool accept_login = true;
  bool accept_sub_login = true;
  std::string token = "token-1";
  std::string task_id = "";
  std::string err_descript = "refused";
  std::map<std::string, std::shared_ptr<FakeUserData>> tokens;
  bool throw_on_logout = false;  // SubLogout records its call, then raises
  // What the extended edition asks for.
  std::shared_ptr<boundary::LoginErrorRecord> error_record;
  std::shared_ptr<boundary::UserData> login_info;
  std::shared_ptr<boundary::ContextData> sub_login_info;
  std::string file_server = "fs";

  void SetLanguageID(const std::string& locale) override { calls.push_back("LanguageID=" + locale); }
  bool Login(std::string& sub, std::string& user, std::string& password, std::string& server, std::string& date,
             std::string& acc, std::string& serial) override {
    calls.push_back("Login(" + sub + "," + user + "," + password + "," + server + "," + date + "," + acc + "," +
                    serial + ")");
    return accept_login;
  }
  std::shared_ptr<boundary::ProductContext> SubLogin(const std::string& sub) override {
    calls.push_back("SubLogin(" + sub + ")");
    return accept_sub_login ? std::make_shared<FakeProductContext>() : nullptr;
  }
  std::string UserToken() override { return token; }
  std::string GetTaskID(const std::string& sub) override {
    calls.push_back("GetTaskID(" + sub + ")");
    return task_id;
  }
  std::string ErrDescript() override { return err_descript; }
  std::shared_ptr<boundary::UserData> GetLoginInfo_2(const std::string& t) override {
    calls.push_back("GetLoginInfo_2(" + t + ")");
    auto it = tokens.find(t);
    return it == tokens.end() ? nullptr : it->second;
  }
  std::string GetEndSubAuthsWithAuthID(const std::string&, const std::string& auth, bool, const std::string&) override {
    calls.push_back("GetEndSubAuthsWithAuthID(" + auth + ")");
    return "cAuth_Id like '" + auth + "%'";
  }
  void SubLogout(const std::string& sub) override {
    calls.push_back("SubLogout(" + sub + ")");
    if (throw_on_logout) throw ComError(errnum::kCannotCreate, "the interface is gone");
  }
  void ShutDown() override { calls.push_back("ShutDown"); }
  std::string GetDefaultConnstring(const std::string& host) override {
    calls.push_back("GetDefaultConnstring");
    return "Provider=SQLite;Data Source=/x;" + host.substr(0, 0);
  }
  std::string GetFileServerInfo(const std::string& t, bool flag) override {
    calls.push_back("GetFileServerInfo(" + t + "," + (flag ? "true" : "false") + ")");
    return file_server;
  }
  std::shared_ptr<boundary::LoginErrorRecord> GetLastErrorResID() override { return error_record; }
  std::string userToken() override { return token; }
  std::shared_ptr<boundary::UserData> getLoginInfo() override { return login_info; }
  std::shared_ptr<boundary::ContextData> GetSubLoginInfo(const std::string& sub) override {
    calls.push_back("GetSubLoginInfo(" + sub + ")");
    return sub_login_info;
  }
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_FAKE_LOGIN_UI_H_
