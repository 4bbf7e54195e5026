#include "compact/database.h"

#include "db/backend.h"
#include "tarn/com_error.h"

namespace tarn::compact {

void RaiseIfFailed(const db::Connection& conn, const Status& s) {
  if (s.ok()) return;
  const std::vector<db::DbError>& errors = conn.Errors();
  if (errors.empty()) throw ComError(db::kErrOpen, s.message(), "Provider");
  throw ComError(errors.front().number, errors.front().description, "Provider");
}

db::ConnectionPtr OpenOrRaise(const std::string& connection_string) {
  db::ConnectionPtr conn = db::Connection::Create();
  RaiseIfFailed(*conn, conn->Open(connection_string, "", ""));
  return conn;
}

}  // namespace tarn::compact
