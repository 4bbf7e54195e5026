// Every outside component of the suite that the login component calls, and
// the ProgIDs it creates them by: the whole boundary in one place. The
// component reaches these only through the object registry
// (platform/object_registry.h); our stand-ins (suite/) register
// implementations, and a host may register its own under the same ProgIDs.
//
// Every member may throw ComError; each caller says whether it catches.
#ifndef TARN_BOUNDARY_SUITE_H_
#define TARN_BOUNDARY_SUITE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::boundary {

// ---- The login interface and its login context.

inline constexpr std::string_view kLoginUiProgId = "ValeSoft.Tarn.Framework.Login.UI.clsLogin";
inline constexpr std::string_view kUserDataProgId = "ValeSoft.Tarn.Framework.LoginContext.UserData";
inline constexpr std::string_view kProductContextProgId = "ValeSoft.Tarn.Framework.LoginContext.ProductContext";

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
  virtual bool Login(std::string& sub_id, std::string& user_id, std::string& password, std::string& server,
                     std::string& date_text, std::string& acc_id, std::string& serial) = 0;
  // Nothing (nullptr) on refusal.
  virtual std::shared_ptr<ProductContext> SubLogin(const std::string& sub_id) = 0;
  virtual std::string UserToken() = 0;
  virtual std::string GetTaskID(const std::string& sub_id) = 0;
  virtual std::string ErrDescript() = 0;
  // Nothing for a token it does not accept.
  virtual std::shared_ptr<UserData> GetLoginInfo_2(const std::string& token) = 0;
  virtual std::string GetEndSubAuthsWithAuthID(const std::string& token, const std::string& auth_id, bool is_admin,
                                               const std::string& sub_id) = 0;
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

// ---- The database kit, handed to modules through ValeSystemDb.

inline constexpr std::string_view kDatabaseKitProgId = "valedbkit.ValeDatabase";

class DatabaseKit : public Object {
 public:
  std::string TypeName() const override { return "ValeDatabase"; }
  virtual void opendatabase(const std::string& connection_string) = 0;  // throws ComError
  virtual void oClose() = 0;
};

// ---- The two closed libraries, bound by name at first use; each is an object in
// the object registry under its file name, so that a missing library is an
// error of the calling operation.

inline constexpr std::string_view kSundryLibrary = "sundry.dll";
inline constexpr std::string_view kParleyLibrary = "Parley.dll";

// Reply and output buffers of both libraries hold 512 characters with the
// terminating NUL: results are cut to 511.
inline constexpr size_t kBufferChars = 512;

class Sundry : public Object {
 public:
  std::string TypeName() const override { return "Sundry"; }
  virtual int32_t B64System() = 0;  // 1 on a 64-bit system
  virtual int32_t MathOperate(int32_t a, int32_t b, int32_t operation) = 0;
  // The plain form of an encoded service reply, for the given handshake.
  virtual std::string UnlockInfo(const std::string& reply, int32_t handshake) = 0;
};

class Parley : public Object {
 public:
  std::string TypeName() const override { return "Parley"; }
  // Sends one request line to the management service at `host` and writes
  // the reply, NUL-terminated, over the start of the `reply` buffer (which
  // is grown to kBufferChars first if the caller passed less). 0 on
  // success.
  virtual int32_t RPCCall(const std::string& host, const std::string& request, std::string& reply) = 0;
  // The plain form of a stored text (read up to its first NUL).
  virtual std::string CommDecode(const std::string& stored) = 0;
  // The stored form that CommDecode reverses.
  virtual std::string CommEncode(const std::string& plain) = 0;
};

// ---- The multi-language package: a factory of resource and locale services, a
// formatter and a layout service.

inline constexpr std::string_view kResourceFactoryProgId = "LinguaKit.ResourceServiceFactory";
inline constexpr std::string_view kResourceFormatterProgId = "LinguaKit.CService_ResourceFormatter";
inline constexpr std::string_view kLayoutServiceProgId = "LinguaKit.CService_FormXAMLLayout";

class ResourceService : public Object {
 public:
  std::string TypeName() const override { return "ResourceService"; }
  // The text of `res_id` in the current language; empty when unknown.
  virtual std::string GetString(const std::string& res_id) = 0;
};

class ResourceFormatter : public Object {
 public:
  std::string TypeName() const override { return "ResourceFormatter"; }
  // The text with its numbered places ({1}, {2}, ...) filled from `args` in
  // order; empty when the id is unknown.
  virtual std::string GetString(const std::string& res_id, const Array& args) = 0;
};

class LocalService : public Object {
 public:
  std::string TypeName() const override { return "LocalService"; }
  virtual std::string GetLocalID() = 0;  // "en-us", "zh-cn", "zh-tw"
};

class LayoutService : public Object {
 public:
  std::string TypeName() const override { return "LayoutService"; }
  virtual void SetXAMLFileRootPath(const std::string& path) = 0;
};

class ResourceServiceFactory : public Object {
 public:
  std::string TypeName() const override { return "ResourceServiceFactory"; }
  virtual std::shared_ptr<ResourceService> GetResourceService() = 0;
  virtual std::shared_ptr<LocalService> GetLocalService() = 0;
};

}  // namespace tarn::boundary

#endif  // TARN_BOUNDARY_SUITE_H_
