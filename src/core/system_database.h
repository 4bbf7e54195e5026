// The connections the login object's own statements on the system
// database run on. The full edition uses the connection its sign-on
// opened; the extended edition opens one of its own on first use, so that
// its calendar and account questions work on an object built from a token
// alone.
#ifndef TARN_CORE_SYSTEM_DATABASE_H_
#define TARN_CORE_SYSTEM_DATABASE_H_

#include "core/connections.h"
#include "core/identity.h"
#include "db/connection.h"

namespace tarn::core {

// The extended edition's system connection (ValeSystemADODb): opened from
// SysConnString with no user and password on first use and kept. A failed
// open is raised (ComError) and nothing is kept.
db::ConnectionPtr SystemAdoDb(const Identity& id, Connections& c);

// Where the calendar, the account information and the closing status read:
// the sign-on's connection (full edition; raises 91 before sign-on), or
// SystemAdoDb (extended edition).
db::ConnectionPtr InformationDb(const Identity& id, Connections& c);

}  // namespace tarn::core

#endif  // TARN_CORE_SYSTEM_DATABASE_H_
