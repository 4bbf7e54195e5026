#include "core/system_database.h"

#include "db/raise.h"
#include "tarn/com_error.h"

namespace tarn::core {

db::ConnectionPtr SystemAdoDb(const Identity& id, Connections& c) {
  if (c.SystemAdoDb) return c.SystemAdoDb;
  db::ConnectionPtr conn = db::Connection::Create();
  db::RaiseIfFailed(conn->Open(id.SysConnString, "", ""));
  c.SystemAdoDb = conn;
  return conn;
}

db::ConnectionPtr InformationDb(const Identity& id, Connections& c) {
  if (id.edition == Edition::kExtended) return SystemAdoDb(id, c);
  if (!c.SystemConnection) throw ComError(errnum::kObjectRequired, "Object variable not set: not signed on");
  return c.SystemConnection;
}

}  // namespace tarn::core
