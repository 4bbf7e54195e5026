// The fields of one login object. The object's operations live in the
// folder of their concern (signon/, tasks/, calendar/, service/); they all
// read and write this state.
#ifndef TARN_CORE_LOGIN_STATE_H_
#define TARN_CORE_LOGIN_STATE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "boundary/suite.h"
#include "tarn/edition.h"
#include "tarn/variant.h"

namespace tarn::core {

// What the sign-on hands the heartbeat form (service/frm_timer.h).
struct HeartbeatSettings {
  db::ConnectionPtr conSystem;  // kept, not used by the heartbeat
  std::string cSerial;
  std::string cServer;  // where the heartbeats go
  std::string cSubId;
  std::string cTaskId;
  bool bIsCompanyVer = false;
  std::string cWebClient;  // kept, not used by the heartbeat
};

// The heartbeat form as the login object owns it: the sign-on initialises
// and loads it (service::StartHeartbeat), the release unloads it.
class HeartbeatForm {
 public:
  virtual ~HeartbeatForm() = default;
  // Stores the values; starts nothing.
  virtual void Init(HeartbeatSettings settings) = 0;
  // Starts the timer on this thread: the first beat comes one interval on.
  virtual void Load() = 0;
  // Stops the timer.
  virtual void Unload() = 0;
};

struct LoginState {
  explicit LoginState(Edition e) : edition(e) {}

  Edition edition;

  std::string cAcc_Id;
  std::string cSub_Id;
  std::string cIYear;
  std::string cUserId;
  int16_t iMonth = 1;
  std::string cUserPassWord;
  std::string SysPassword;
  std::string cAccName;
  std::string cSubName;
  std::string cUserName;
  std::string ValeDbName;
  std::string ValeDbPath;
  std::string ValeZtPath;
  Date CurDate;
  bool IsAdmin = false;
  std::string TaskId;
  std::string cServer;
  std::string cSerial;
  std::string cServerSerial;
  std::string cDbServerSerial;
  std::string cWebClient;
  std::string RightServer;
  std::string AuthString;
  bool IsGroupVer = false;
  std::string DataSource;
  std::string cEmployeeId;
  std::string LanguageRegion;
  std::string UserToken;
  std::string SysConnString;
  bool TokenBuilt = false;
  bool StrictSubsystemLock = false;
  std::array<std::string, 10> UserValues;

  // The extended edition's: the enterprise type from the user data, two
  // names derived once from ValeDbName and kept for the object's life, and
  // two connections opened on first use and kept.
  std::string EntTypeID;
  std::string MetaName;
  std::string DbServerName;
  db::ConnectionPtr CurrentDb;    // the account database (ValeDbName)
  db::ConnectionPtr SystemAdoDb;  // the system database (SysConnString)

  // Resources of the sign-on, released by the release sequence.
  db::ConnectionPtr SystemConnection;
  std::shared_ptr<suite::DatabaseKit> DatabaseKit;
  std::shared_ptr<suite::LoginUI> LoginUI;
  // The interface that refused the last Login of an object that stayed
  // signed on: the extended edition forwards its error record.
  std::shared_ptr<suite::LoginUI> RefusingLoginUI;
  std::shared_ptr<suite::ProductContext> ProductContext;
  std::shared_ptr<HeartbeatForm> HeartbeatTimer;
};

// The members that only the extended edition has raise 438 on an object of
// the full edition, as late binding on the full edition's interface does.
void RequireExtended(const LoginState& s, std::string_view member);

}  // namespace tarn::core

#endif  // TARN_CORE_LOGIN_STATE_H_
