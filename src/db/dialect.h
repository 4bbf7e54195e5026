// Turns a statement template written in the suite's T-SQL into the SQL of a
// backend. Runs once per template and connection; the result is cached with
// the prepared statement, so the rewriting costs nothing in steady state.
#ifndef TARN_DB_DIALECT_H_
#define TARN_DB_DIALECT_H_

#include <string>
#include <string_view>
#include <vector>

#include "tarn/status.h"

namespace tarn::db {

enum class Flavor { kTsql, kSqlite, kPostgres };

struct Dialect {
  Flavor flavor = Flavor::kTsql;
  // PostgreSQL through libpq numbers its parameters ($1, $2, ...); ODBC and
  // SQLite take '?'.
  bool numbered_params = false;
};

struct Translation {
  enum class Kind { kStatement, kUse, kCreateDatabase };
  Kind kind = Kind::kStatement;
  std::string sql;      // kStatement: the backend's text
  std::string catalog;  // kUse, kCreateDatabase: the catalog named
  // One entry per placeholder after in-lists are expanded: true where the
  // template wrote N? (a Unicode-typed parameter, as N'...' is a Unicode
  // literal).
  std::vector<bool> national;
  // The outermost query asks for one row at most (TOP 1): a backend may
  // stop at the first row instead of stepping on to the end.
  bool single_row = false;
};

// `list_sizes` has one entry per placeholder of the template: -1 for a
// scalar, else the number of values of an in-list (which becomes one
// placeholder per value; an empty list matches nothing).
Status Translate(std::string_view sql, const Dialect& dialect, const std::vector<int>& list_sizes, Translation* out);

// Number of placeholders ('?' and 'N?') of a template.
int CountPlaceholders(std::string_view sql);

// For a query on one table ("SELECT ... FROM T [WHERE ...] [ORDER BY ...]"),
// the table as written; the empty string when rows of the query cannot be
// traced back to one table (joins, unions, grouping, DISTINCT).
std::string UpdatableTable(std::string_view sql);

// Whether `name` may name a catalog: letters, digits and '_' only. Catalog
// names become file and schema names, so nothing else gets through.
bool IsValidCatalogName(std::string_view name);

}  // namespace tarn::db

#endif  // TARN_DB_DIALECT_H_
