// What `tarn db init` hands on to the sign-on material it also writes, and
// `tarn db passwd`. Separate from the database part so that each can change
// on its own.
#ifndef TARN_APPS_TARN_DB_INIT_H_
#define TARN_APPS_TARN_DB_INIT_H_

#include <string>

#include "commands.h"

namespace tarn::app {

struct DbTarget {
  std::string connection_string;  // the system database's server, no catalog
  std::string data_dir;           // set for --data (SQLite), else empty
  bool demo = false;
};

// Runs after the system database (and the demo data) exist: writes what
// signing on needs beside the tables. Returns an exit code.
int InitSignOnMaterial(const DbTarget& target);

// tarn db passwd, below `db`.
void AddDbPasswdCommand(CLI::App* db, int* code);

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_DB_INIT_H_
