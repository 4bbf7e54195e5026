// Case-insensitive text for SQLite, as SQL Server's usual collations compare
// (SQLite's own NOCASE and LIKE fold ASCII only). Folding uses the C library's
// Unicode tables, so accented Latin, Greek and Cyrillic letters match their
// other case; scripts without case (CJK) compare as they are. Trailing
// blanks are ignored, as SQL Server's padded comparison ignores them.
#ifndef TARN_DB_SQLITE_UNICASE_H_
#define TARN_DB_SQLITE_UNICASE_H_

#include <string>
#include <string_view>

struct sqlite3;

namespace tarn::db::sqlite {

inline constexpr char kCollation[] = "UNOCASE";

int CompareNoCase(std::string_view a, std::string_view b);
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);
// SQL LIKE with '%' and '_', case-insensitive; `escape` 0 for none.
bool Like(std::string_view pattern, std::string_view text, char32_t escape);

// Registers the collation and the upper(), lower() and like() that use it.
int RegisterUnicase(sqlite3* db);

}  // namespace tarn::db::sqlite

#endif  // TARN_DB_SQLITE_UNICASE_H_
