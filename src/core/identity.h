// Who works where: the identity a sign-on establishes. The sign-on
// (signon/) writes it, and so do the facade's few setters and the two
// places that fill in a value the sign-on left empty (the service address
// and the account id); every other part only reads it.
#ifndef TARN_CORE_IDENTITY_H_
#define TARN_CORE_IDENTITY_H_

#include <cstdint>
#include <string>

#include "tarn/edition.h"
#include "tarn/variant.h"

namespace tarn::core {

struct Identity {
  explicit Identity(Edition e) : edition(e) {}

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
  std::string TaskId;  // the login task's, and every task row's of the object
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
  std::string EntTypeID;  // the extended edition's enterprise type
};

}  // namespace tarn::core

#endif  // TARN_CORE_IDENTITY_H_
