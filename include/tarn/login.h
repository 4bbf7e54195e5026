// The login object: a module of the suite creates one, signs on through it
// and then reads its working context from it (account set, year, period,
// user, connection data) and registers the functions it opens as tasks.
//
// Member names are the suite's interface names. Operations return false (or
// a status) on failure and leave the reason in the thread's last-error state
// (LogState, ShareString, GetLastErrorResID); the few that raise an error to
// the caller throw tarn::ComError. "Records" below names what a member
// writes into that state; a member that records nothing leaves it as it was.
//
// A login object belongs to the thread that created it, as an
// apartment-threaded object does: only that thread calls its members and
// destroys it, and its heartbeat runs when that thread pumps (tarn/pump.h).
// A call from another thread is the caller's fault in C++; through the C
// interface (tarn/tarn.h) it answers TARN_WRONG_THREAD. All login objects
// of one thread share one last-error state.
#ifndef TARN_LOGIN_H_
#define TARN_LOGIN_H_

#include <cstdint>
#include <memory>
#include <string>

#include "tarn/edition.h"
#include "tarn/error_res.h"
#include "tarn/export.h"
#include "tarn/variant.h"

namespace tarn {

class clsLogin;

namespace core {
struct LoginParts;
LoginParts& PartsOf(clsLogin& login);
}  // namespace core

// The eight values of a sign-on, for C++ callers. Login(LoginParams&)
// writes back what the sign-on changed, as the by-reference form does.
struct LoginParams {
  std::string sub_id;   // two-letter subsystem code; longer codes are cut to two
  std::string acc_id;   // account set
  std::string year_id;  // fiscal year, "2024"
  std::string user_id;
  std::string password;
  std::string date;    // operating date as text, "2024-03-15"; empty: now
  std::string server;  // application server; empty: from the registry
  std::string serial;  // workstation serial; empty: this station's
};

class TARN_EXPORT clsLogin : public Object {
 public:
  // The edition of the library that the host loaded: full from
  // libtarnlogin.so, extended from libtarnlogin-ext.so.
  clsLogin();
  explicit clsLogin(Edition edition);
  // Runs the release sequence (again, after ShutDown).
  ~clsLogin() override;
  clsLogin(const clsLogin&) = delete;
  clsLogin& operator=(const clsLogin&) = delete;

  std::string TypeName() const override { return "clsLogin"; }
  Edition edition() const;

  // Properties and operations, in the order of the class interface.

  // Stores the station name of a web-based caller. Records nothing.
  void set_cWebClient(const std::string& vData);
  // The application server, as text. Records nothing.
  Variant cServer() const;
  // "" keeps the server; any other value becomes its text. Raises 13 for a
  // value without text (an object, an array).
  void set_cServer(const Variant& value);
  // Relays a command word (EXIT, CHANGEYEAR, LIST, LOGOUT) to the
  // management service, or answers CONNECTSTRING in cCmd. Returns Empty;
  // records nothing. Raises 5 for a LOGOUT with fewer than three commas, 429
  // when the login interface or the sundry library cannot be created, and
  // whatever the login interface raises for CONNECTSTRING.
  Variant RemoteExec(std::string& cCmd);
  // Always 0.
  int32_t LanguageID() const;
  std::string cUserPassWord() const;
  // The database kit opened on the system database, made on the first call
  // and kept. Records nothing. Raises 91 before sign-on, 429 when the kit
  // cannot be created, and the kit's own error when it cannot open.
  ObjectPtr ValeSystemDb();
  // The thread's last error code; 0 for none.
  int32_t LogState() const;
  // The thread's last error text, in the current language.
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
  // LogState 0 and ShareString "" for every object of the thread.
  void ClearError();
  // The first and last day of a period of the login year: 0 with both
  // written, -1 (no live period, no sign-on, any error) with them as passed.
  // Records nothing; never raises.
  int32_t GetNatureDate(int16_t& iPeriod, Date& dateBegin, Date& dateEnd);
  // The year and period of the live period that holds the day, in any year
  // of the account set: 0 with both written, -1 as GetNatureDate. Records
  // nothing; never raises.
  int32_t GetPeriod(Date dCurDate, int16_t& iYear, int16_t& iPeriod);
  // Signs on: through the login interface, or only the completion step on
  // an object built by ConstructLogin. True when signed on. Records 1 (bad
  // subsystem code), 887 (no account connection string) or 901 (a database
  // error of the completion, unless a text was pending) with their texts;
  // a refusal of the login interface or missing account set or user
  // records only the text (and, extended edition, 8888). Raises 13 for a
  // date text that is no date, and 429 when the login interface cannot be
  // created.
  bool Login(std::string& pSubId, std::string& pAccId, std::string& pYearId, std::string& pUserId,
             std::string& pPassword, std::string& pDate, std::string& cSrv, std::string& cSerial);
  // Only pSubId, the other seven empty: the form a token-built object uses.
  bool Login(std::string& pSubId);
  // The eight values as one struct (written back as the form above does).
  bool Login(LoginParams& params);
  // Registers (-1; 3 with the strict subsystem lock), checks (1), queries
  // the holding (2) or releases (0) a function; iYear below 1900 means the
  // login year. True when the mode succeeded; a completed registration or
  // release clears the last error. Records 25, 30, 9, 10, 302, 300, a
  // rule's 14, 15 or 17, 9999, 22 or 9003 (mode 2 records nothing). Raises
  // the database's error when the holding, function or rule tables cannot
  // be read.
  bool TaskExec(const std::string& pAuth_id, int16_t bIsLock, int16_t iYear = 0);
  // Reads (204), sets (205) or clears (206) the year-end closing flag of a
  // subsystem and year of the account set. False for an unknown subsystem,
  // a year without calendar, or clearing a missing row. Records nothing;
  // raises the database's error (91 before sign-on).
  bool ClosingStatus(int16_t nIndex, const std::string& cSubId, int16_t iYear, bool& bStateValue);
  // Account information by index: slots (0-9, 60-69), connection strings
  // (10, 11), master data (100-119), holders of rights (120, 121, 300, 301;
  // recordsets the caller owns), subsystem dates and flags (200-206, 302).
  // False for an index it does not know or a missing row. Records nothing;
  // raises the database's error (91 before sign-on).
  bool GetAccInfo(int32_t nIndex, Variant& vValue);
  // Runs the release sequence now: deletes the login task, closes its log
  // entry, the connection, the kit and the heartbeat, and signs out of the
  // login interface. Ignores every error; records nothing; never raises.
  // The object stays usable as a value holder.
  void ShutDown();
  // The install path from the registry; "" when not set.
  std::string GetIstallPath() const;
  // The workstation serial, as text.
  Variant cSerial() const;
  // Null is ignored; any other value (the empty string too) replaces the
  // serial. Raises 13 for a value without text.
  void set_cSerial(const Variant& value);
  std::string AuthString() const;
  void set_AuthString(const std::string& vNewValue);
  Variant cServerSerial() const;
  Variant cDbServerSerial() const;
  bool IsGroupVer() const;
  std::string cSub_Id() const;
  void set_TaskId(std::string& pTaskId);
  // Builds the identity from a token of the login interface. True when it
  // did; on false ShareString holds the reason (LogState is not changed).
  // Never raises. The extended edition: InternalConstructLogin(UserToken).
  bool ConstructLogin(const std::string& UserToken);
  // The SQL condition of the sub-functions below pAuth_id that the user
  // holds: "1=1" for an administrator, "1=2" without a login interface.
  // Records nothing; raises what the login interface raises.
  std::string GetEndSubAuthID(std::string& pAuth_id);
  // The thread's error record (resource id and arguments of the last
  // error); nullptr while LogState is 0. One record per thread, refilled by
  // each call. Never raises.
  std::shared_ptr<clsErrorRes> GetLastErrorResID();
  std::string DataSource() const;
  std::string cEmployeeId() const;
  std::string LanguageRegion() const;
  // The message package's services, made on first use and shared by the
  // thread. Raise 429 when the package cannot be created.
  ObjectPtr ResSvr();
  ObjectPtr ResFormat();
  ObjectPtr ResLocalSvr();
  ObjectPtr ResLayoutSvr();

  // ---- The extended edition's members, in the order of its interface. On
  // an object of the full edition each raises 438, as late binding on the
  // full edition's interface does.

  // The account-database connection, opened from ValeDbName on the first
  // read and then the same object. Records nothing; raises the open's error.
  ObjectPtr ValeCurrentDb();
  // The login interface's description of the user's file server. True with
  // fsInfo written; false with fsInfo "" and the error's number and text
  // recorded. Never raises.
  bool GetFileServerInfo(std::string& fsInfo);
  // The enterprise type from the user data; "" until one was read.
  std::string EntTypeID() const;
  // The system-database connection, opened from the system connection
  // string on first use and then the same object; the extended edition's
  // task control, calendar and account information run on it. Records
  // nothing; raises the open's error.
  ObjectPtr ValeSystemADODb();
  // The completion of a sign-on on an object built by a token or user data,
  // with the login interface's sub-login data (its SubName and TaskId name
  // the subsystem and the task). Before that: false with the
  // NotCompleteLogin text, LogState unchanged. Otherwise records and raises
  // as Login does.
  bool LoginEx(std::string& pSubId, ObjectPtr& SSData);
  // TaskExec with an authorisation class: the pair and subsystem rules
  // then see only running tasks of the same class or of none. Records as
  // TaskExec does; database errors of a registration are recorded (9999 or
  // 22), never raised.
  bool TaskExecEx(const std::string& pAuth_id, int16_t bIsLock, int16_t iYear = 0,
                  const std::string& pAuthClassCode = std::string());
  // Builds the identity from user data handed in (the token is then kept
  // unchecked) or, without it, from the token through the login interface.
  // True when built. A refused token records 8887 with the interface's
  // text, resource id and arguments; any other error (a missing member, an
  // operDate that is no date) records its own number and text, leaving the
  // fields read before it filled. Never raises.
  bool InternalConstructLogin(const std::string& userToken, ObjectPtr LoginUserData = nullptr);
  // The same as InternalConstructLogin.
  bool ConstructLoginEx(const std::string& userToken, ObjectPtr LoginUserData);
  // ValeDbName with the catalog "VALEMeta_" + cAcc_Id in place of the one
  // after "initial catalog=" (as written, case-sensitive); "" when there is
  // none. Kept once found. Records nothing; never raises.
  std::string ValeMetaName();
  // The text between "source=" (as written, case-sensitive) and the next
  // ";" of ValeDbName; "" when there is none. Kept once found. Raises 5 when
  // no ";" follows.
  std::string dbServerName();
  // The token the object was built from; "" until one was given.
  std::string userToken() const;
  // The file-server account bound to the user, as
  // "<valeco>\r\n<user name='N' pwd='P'> \r\n</user>\r\n</valeco>" with the
  // stored password decoded; "" when the user has none. True with fsUser
  // written; false with the error's number and text recorded and fsUser
  // unchanged. Never raises.
  bool GetBindFsUser(std::string& fsUser);

 private:
  // Defined in test builds only.
  friend core::LoginParts& core::PartsOf(clsLogin& login);

  std::unique_ptr<core::LoginParts> state_;
};

}  // namespace tarn

#endif  // TARN_LOGIN_H_
