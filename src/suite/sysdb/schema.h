// The system database ValeSystem: every table the component reads or
// writes, with keys and indexes that make each of its queries an index
// lookup, written once and rendered for each backend.
#ifndef TARN_SUITE_SYSDB_SCHEMA_H_
#define TARN_SUITE_SYSDB_SCHEMA_H_

#include <string>

#include "db/connection.h"
#include "tarn/status.h"

namespace tarn::suite {

inline constexpr char kSystemCatalog[] = "ValeSystem";

// Creates the catalog ValeSystem and its tables on an open connection, and
// leaves the connection in it. Fails when the catalog exists.
Status CreateSystemDatabase(db::Connection& conn);

// The account database of an account set and year: "VALEDATA_001_2024".
std::string AccountDatabaseName(const std::string& account, int year);

// Creates an account database (its tables belong to the modules, not to
// this component); the connection stays in the catalog it was in.
Status CreateAccountDatabase(db::Connection& conn, const std::string& account, int year);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SYSDB_SCHEMA_H_
