// A demo system database on SQLite, made once per test program, and the
// settings that point the login service at it.
#ifndef TARN_TESTS_SUPPORT_DEMO_DATABASE_H_
#define TARN_TESTS_SUPPORT_DEMO_DATABASE_H_

#include <string>

#include "support/fake_env.h"

namespace tarn::testing {

struct DemoDatabase {
  std::string dir;
  std::string system_database;  // connection string with the ValeSystem catalog
  std::string key_file;
};

// Created on first use in a fresh temporary directory: schema, demo data, a
// token key, and passwords for ALICE, BOB, DEMO, ADMIN and ASUSER (the user id in
// lower case).
const DemoDatabase& SharedDemoDatabase();

// The demo company on `server` (a connection string without catalog), its
// token key in `dir`.
DemoDatabase DemoOn(const std::string& server, const std::string& dir);

// A fresh copy for tests that write.
DemoDatabase CopyOfDemoDatabase();

// Points the login service of `env` at `db`.
void UseDemoDatabase(FakeEnv& env, const DemoDatabase& db);

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_DEMO_DATABASE_H_
