// Dates for SQLite, which keeps them as text: two texts that name the same
// moment compare equal whatever form their writer used ("2026-01-01" and
// "2026-01-01 00:00:00"), as SQL Server's datetime columns compare. Texts
// that are no dates sort after every date, bytewise among themselves, so
// that the order stays total.
#ifndef TARN_DB_SQLITE_DATE_COLLATION_H_
#define TARN_DB_SQLITE_DATE_COLLATION_H_

#include <string_view>

struct sqlite3;

namespace tarn::db::sqlite {

inline constexpr char kDateCollation[] = "UNODATE";

int CompareDates(std::string_view a, std::string_view b);

int RegisterDateCollation(sqlite3* db);

}  // namespace tarn::db::sqlite

#endif  // TARN_DB_SQLITE_DATE_COLLATION_H_
