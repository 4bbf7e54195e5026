// A small company to sign on to: two account sets with three years of
// periods, users with direct, group-only and administrator rights, the
// subsystems, a function tree, and an exclusion rule of every kind.
#ifndef TARN_SUITE_SYSDB_DEMO_DATA_H_
#define TARN_SUITE_SYSDB_DEMO_DATA_H_

#include "db/connection.h"
#include "tarn/status.h"

namespace tarn::suite {

// Fills the system database made by CreateSystemDatabase and creates the
// account databases of the demo's account sets and years. Leaves the
// connection in ValeSystem.
Status LoadDemoData(db::Connection& conn);

// The database of a host program of the compact build: the catalog
// TarnHost with an empty settings table sys_path, where the compact
// dialog remembers server, login name and password.
inline constexpr char kCompactHostCatalog[] = "TarnHost";
Status CreateCompactHostDatabase(db::Connection& conn);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SYSDB_DEMO_DATA_H_
