#include "core/system_database.h"

#include "db/raise.h"
#include "tarn/com_error.h"

namespace tarn::core {

db::ConnectionPtr SystemAdoDb(LoginState& s) {
  if (s.SystemAdoDb) return s.SystemAdoDb;
  db::ConnectionPtr conn = db::Connection::Create();
  db::RaiseIfFailed(conn->Open(s.SysConnString, "", ""));
  s.SystemAdoDb = conn;
  return conn;
}

db::ConnectionPtr InformationDb(LoginState& s) {
  if (s.edition == Edition::kExtended) return SystemAdoDb(s);
  if (!s.SystemConnection) throw ComError(errnum::kObjectRequired, "Object variable not set: not signed on");
  return s.SystemConnection;
}

}  // namespace tarn::core
