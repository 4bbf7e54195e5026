// The compact build (libtarnlogin-compact.so): a dialog that asks for a
// database server, a login name and password, an account set and a year,
// and hands back the connection string of that account set's database.
//
//   tarn::CompactLogin login;
//   login.set_StrConn("<the host's database, with its sys_path table>");
//   login.Login();                       // the modal dialog
//   std::string conn = login.StrTarnConn();
//
// Automation callers know the class as "TarnLogin.Login"; C++ lets no
// member share its class's name, so here the class is CompactLogin and its
// method keeps the name Login.
#ifndef TARN_COMPACT_LOGIN_H_
#define TARN_COMPACT_LOGIN_H_

#include <string>

#include "tarn/export.h"

namespace tarn {

class TARN_EXPORT CompactLogin {
 public:
  // Shows the settings dialog modally, filled from sys_path, and returns
  // when it closes. Throws ComError, without showing anything, when StrConn
  // does not open, sys_path cannot be read or there is no display.
  void Login();

  // The account database's connection string: set by OK, emptied by
  // Cancel and by an OK with a value missing, kept by the close box.
  std::string StrTarnConn() const;
  void set_StrTarnConn(const std::string& value);

  // The host's database, which holds the table sys_path (id, fwqname,
  // username, userkl). Set it before Login.
  std::string StrConn() const;
  void set_StrConn(const std::string& value);
  // Both properties are shared by every CompactLogin of a thread.
};

}  // namespace tarn

#endif  // TARN_COMPACT_LOGIN_H_
