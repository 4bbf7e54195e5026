#include "db/sqlite/date_collation.h"

#include <sqlite3.h>

#include "tarn/variant.h"

namespace tarn::db::sqlite {
namespace {

int Callback(void*, int na, const void* a, int nb, const void* b) {
  return CompareDates(std::string_view(static_cast<const char*>(a), static_cast<size_t>(na)),
                      std::string_view(static_cast<const char*>(b), static_cast<size_t>(nb)));
}

}  // namespace

int CompareDates(std::string_view a, std::string_view b) {
  Date da, db;
  const bool a_date = ParseDateText(a, &da), b_date = ParseDateText(b, &db);
  if (a_date && b_date) return da.serial < db.serial ? -1 : da.serial > db.serial ? 1 : 0;
  if (a_date != b_date) return a_date ? -1 : 1;
  return a < b ? -1 : a > b ? 1 : 0;
}

int RegisterDateCollation(sqlite3* db) {
  return sqlite3_create_collation(db, kDateCollation, SQLITE_UTF8, nullptr, Callback);
}

}  // namespace tarn::db::sqlite
