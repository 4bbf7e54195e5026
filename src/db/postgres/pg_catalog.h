// Catalogs on PostgreSQL, shared by libpq and by ODBC drivers that reach a
// PostgreSQL server: a catalog is a schema of one database, named in lower
// case; text columns are citext (case-insensitive, LIKE included) and bit
// columns a smallint domain "flag" so that "bIsDelete=0" compares as written.
#ifndef TARN_DB_POSTGRES_PG_CATALOG_H_
#define TARN_DB_POSTGRES_PG_CATALOG_H_

#include <string>

namespace tarn::db::pg {

// Statements, each one on its own. `schema` must be a valid catalog name.
std::string SchemaExistsSql(const std::string& schema);  // one row when it exists
std::string UseSql(const std::string& schema);
std::string CreateSchemaSql(const std::string& schema);
// What every catalog needs; safe to run again.
const char* const* SetupSql();

// SQLSTATE to the SQL Server number the component tests, 0 when none fits.
int NativeFor(const std::string& sql_state);

}  // namespace tarn::db::pg

#endif  // TARN_DB_POSTGRES_PG_CATALOG_H_
