#include "compact/mod_login.h"

#include "compact/database.h"
#include "db/connection_string.h"
#include "db/recordset.h"
#include "tarn/com_error.h"

namespace tarn::compact {
namespace {

std::string ConnectionString(std::string_view user, std::string_view password, std::string_view catalog,
                             std::string_view server) {
  // Each value quoted where it would not read back as typed.
  using db::QuoteValue;
  return "Provider=SQLOLEDB.1;User ID=" + QuoteValue(user) + ";PassWord=" + QuoteValue(password) +
         ";Initial Catalog=" + QuoteValue(catalog) + ";Data Source=" + QuoteValue(server);
}

}  // namespace

ModuleData& Module() {
  thread_local ModuleData data;
  return data;
}

std::string SystemConnectionString(std::string_view user, std::string_view password, std::string_view server) {
  return ConnectionString(user, password, "ValeSystem", server);
}

std::string AccountConnectionString(std::string_view user, std::string_view password, std::string_view account,
                                    std::string_view year, std::string_view server) {
  return ConnectionString(user, password, "VALEDATA_" + std::string(account) + "_" + std::string(year), server);
}

Variant GetFieldValue(const std::string& sql, const std::string& field) {
  db::ConnectionPtr conn = OpenOrRaise(Module().StrConn);
  auto rs = db::Recordset::Create();
  RaiseIfFailed(*conn, rs->Open(db::Statement(sql), conn, db::CursorType::kStatic, db::LockType::kOptimistic));
  Variant value;
  if (rs->RecordCount() >= 1) {
    RaiseIfFailed(*conn, rs->MoveFirst());
    db::Field* f = rs->FieldByName(field);
    if (!f) {
      throw ComError(db::adoerr::kItemNotFound,
                     "Item cannot be found in the collection corresponding to the requested name or ordinal.",
                     "ADODB.Recordset");
    }
    value = f->Value();
    if (value.IsNull()) {
      const int32_t type = f->Type();
      const bool numeric = type == db::adtype::kNumeric || type == db::adtype::kInteger ||
                           type == db::adtype::kDouble || type == db::adtype::kDecimal;
      value = numeric ? Variant(int32_t{0}) : Variant(std::string());
    }
  }
  rs->Close();
  return value;
}

std::string GetAccCode(std::string_view text) {
  const size_t bar = text.find('|');
  return bar == std::string_view::npos ? std::string() : std::string(text.substr(0, bar));
}

}  // namespace tarn::compact
