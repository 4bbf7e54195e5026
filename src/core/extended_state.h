// The extended edition's own: two names derived once from the identity's
// ValeDbName and kept for the object's life, and the account database's
// connection, opened on first use and kept.
#ifndef TARN_CORE_EXTENDED_STATE_H_
#define TARN_CORE_EXTENDED_STATE_H_

#include <string>

#include "db/connection.h"

namespace tarn::core {

struct ExtendedState {
  std::string MetaName;
  std::string DbServerName;
  db::ConnectionPtr CurrentDb;  // the account database (ValeDbName)
};

}  // namespace tarn::core

#endif  // TARN_CORE_EXTENDED_STATE_H_
