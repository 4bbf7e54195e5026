// The collations of our SQLite files as a loadable extension of the stock
// sqlite3 shell (tarn db shell, or `.load libtarncollation` by hand):
// UNOCASE compares text as SQL Server's usual collations do, UNODATE
// compares dates by their value, and upper(), lower() and like() fold case
// the same way.
#include <sqlite3.h>

#include "db/sqlite/date_collation.h"
#include "db/sqlite/unicase.h"

extern "C" __attribute__((visibility("default"))) int sqlite3_tarncollation_init(sqlite3* db, char** error,
                                                                                 const void* /*api*/) {
  int rc = tarn::db::sqlite::RegisterUnicase(db);
  if (rc == SQLITE_OK) rc = tarn::db::sqlite::RegisterDateCollation(db);
  if (rc != SQLITE_OK && error) *error = sqlite3_mprintf("cannot register the collations: %s", sqlite3_errstr(rc));
  return rc;
}
