// What a sign-on holds open: the system connection, the suite's objects it
// signed on through, and the extended edition's own system connection.
// The sign-on fills it and the release sequence empties it. Besides them,
// only a missing piece is ever filled in: the task control opens the
// system connection (and reopens it once when it fails), the information
// reads open the extended edition's own, RemoteExec creates the login
// interface of an object that has none.
#ifndef TARN_CORE_CONNECTIONS_H_
#define TARN_CORE_CONNECTIONS_H_

#include <memory>

#include "boundary/suite.h"
#include "db/connection.h"

namespace tarn::core {

struct Connections {
  db::ConnectionPtr SystemConnection;
  std::shared_ptr<boundary::DatabaseKit> DatabaseKit;
  std::shared_ptr<boundary::LoginUI> LoginUI;
  // The interface that refused the last Login of an object that stayed
  // signed on: the extended edition forwards its error record.
  std::shared_ptr<boundary::LoginUI> RefusingLoginUI;
  std::shared_ptr<boundary::ProductContext> ProductContext;
  // The extended edition's system connection (SysConnString), opened on
  // first use and kept (core/system_database.h).
  db::ConnectionPtr SystemAdoDb;
  // Built from a token: the release does not sign out of the interface,
  // which did not sign this object on.
  bool TokenBuilt = false;
};

}  // namespace tarn::core

#endif  // TARN_CORE_CONNECTIONS_H_
