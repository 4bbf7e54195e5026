// The login object: a module of the suite creates one, signs on through it
// and then reads its working context from it (account set, year, period,
// user, connection data) and registers the functions it opens as tasks.
//
// Member names are the suite's interface names. Operations return false (or
// a status) on failure and leave the reason in the thread's last-error state
// (LogState, ShareString, GetLastErrorResID); the few that raise an error to
// the caller throw tarn::ComError.
//
// A login object is used by the thread that created it. All login objects of
// one thread share one last-error state.
#ifndef TARN_LOGIN_H_
#define TARN_LOGIN_H_

#include <cstdint>
#include <memory>
#include <string>

#include "tarn/edition.h"
#include "tarn/error_res.h"
#include "tarn/variant.h"

namespace tarn {

namespace core {
struct LoginState;
}

class clsLogin : public Object {
 public:
  explicit clsLogin(Edition edition = Edition::kFull);
  // Runs the release sequence (again, after ShutDown).
  ~clsLogin() override;
  clsLogin(const clsLogin&) = delete;
  clsLogin& operator=(const clsLogin&) = delete;

  std::string TypeName() const override { return "clsLogin"; }
  Edition edition() const;

  // Properties, in the order of the class interface.
  void set_cWebClient(const std::string& vData);
  Variant cServer() const;
  void set_cServer(const Variant& value);  // "" keeps the server
  Variant RemoteExec(std::string& cCmd);
  int32_t LanguageID() const;
  std::string cUserPassWord() const;
  ObjectPtr ValeSystemDb();
  int32_t LogState() const;
  std::string ShareString() const;
  std::string SysPassword() const;
  std::string cSubName() const;
  std::string cAcc_Id() const;
  void set_cAcc_Id(std::string& pCaccId);
  std::string cAccName() const;
  Date CurDate() const;
  std::string cIYear() const;
  int16_t iMonth() const;
  std::string cUserId() const;
  std::string cUserName() const;
  std::string ValeDbName() const;
  std::string ValeDbPath() const;
  std::string ValeZtPath() const;
  bool IsAdmin() const;
  std::string TaskId() const;
  void ClearError();
  int32_t GetNatureDate(int16_t& iPeriod, Date& dateBegin, Date& dateEnd);
  int32_t GetPeriod(Date dCurDate, int16_t& iYear, int16_t& iPeriod);
  bool Login(std::string& pSubId, std::string& pAccId, std::string& pYearId, std::string& pUserId,
             std::string& pPassword, std::string& pDate, std::string& cSrv, std::string& cSerial);
  // Only pSubId: the form a token-built object uses.
  bool Login(std::string& pSubId);
  bool TaskExec(const std::string& pAuth_id, int16_t bIsLock, int16_t iYear = 0);
  bool ClosingStatus(int16_t nIndex, const std::string& cSubId, int16_t iYear, bool& bStateValue);
  bool GetAccInfo(int32_t nIndex, Variant& vValue);
  void ShutDown();
  std::string GetIstallPath() const;
  Variant cSerial() const;
  void set_cSerial(const Variant& value);  // Null is ignored, "" empties it
  std::string AuthString() const;
  void set_AuthString(const std::string& vNewValue);
  Variant cServerSerial() const;
  Variant cDbServerSerial() const;
  bool IsGroupVer() const;
  std::string cSub_Id() const;
  void set_TaskId(std::string& pTaskId);
  bool ConstructLogin(const std::string& UserToken);
  std::string GetEndSubAuthID(std::string& pAuth_id);
  // Nothing (nullptr) while LogState is 0.
  std::shared_ptr<clsErrorRes> GetLastErrorResID();
  std::string DataSource() const;
  std::string cEmployeeId() const;
  std::string LanguageRegion() const;
  ObjectPtr ResSvr();
  ObjectPtr ResFormat();
  ObjectPtr ResLocalSvr();
  ObjectPtr ResLayoutSvr();

  // The internal state, for the component's own layers.
  core::LoginState& state() { return *state_; }
  const core::LoginState& state() const { return *state_; }

 private:
  void ReleaseSequence();

  std::unique_ptr<core::LoginState> state_;
};

}  // namespace tarn

#endif  // TARN_LOGIN_H_
