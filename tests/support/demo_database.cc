#include "support/demo_database.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "db/connection.h"
#include "suite/sysdb/demo_data.h"
#include "suite/sysdb/schema.h"
#include "suite/login_service/password.h"
#include "suite/key_file.h"
#include "suite/login_service/token.h"
#include "suite/settings.h"

namespace tarn::testing {
namespace {

std::string TempDir() {
  std::string templ = ::testing::TempDir() + "tarn-demo-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) std::abort();
  return templ;
}

DemoDatabase Create() {
  const std::string dir = TempDir();
  return DemoOn("Provider=SQLite;Data Source=" + dir, dir);
}

}  // namespace

DemoDatabase DemoOn(const std::string& server, const std::string& dir) {
  DemoDatabase db;
  db.dir = dir;
  db.system_database = server + ";Initial Catalog=ValeSystem";
  db.key_file = db.dir + "/token.key";
  auto conn = db::Connection::Create();
  Status s = conn->Open(server, "", "");
  if (s.ok()) s = suite::CreateSystemDatabase(*conn);
  if (s.ok()) s = suite::LoadDemoData(*conn);
  for (const char* user : {"ALICE", "BOB", "DEMO", "ADMIN", "ASUSER"}) {
    std::string password = user, hash;
    for (char& c : password) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s.ok()) s = suite::HashPassword(password, &hash);
    if (s.ok()) {
      s = conn->Execute(
          db::Statement("UPDATE ValeSystem..UA_User SET cPasswordHash = ? WHERE cUser_Id = ?").Bind(hash).Bind(user));
    }
  }
  if (s.ok()) s = suite::CreateKeyFile(db.key_file);
  if (!s.ok()) {
    ADD_FAILURE() << "demo database: " << s.message();
  }
  conn->Close();
  return db;
}

const DemoDatabase& SharedDemoDatabase() {
  static const DemoDatabase db = Create();
  return db;
}

DemoDatabase CopyOfDemoDatabase() {
  const DemoDatabase& shared = SharedDemoDatabase();
  DemoDatabase copy = shared;
  copy.dir = TempDir();
  std::filesystem::copy(shared.dir, copy.dir,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  copy.system_database = "Provider=SQLite;Data Source=" + copy.dir + ";Initial Catalog=ValeSystem";
  copy.key_file = copy.dir + "/token.key";
  return copy;
}

void UseDemoDatabase(FakeEnv& env, const DemoDatabase& db) {
  env.registry.SetString(suite::kSettingsKey, "SystemDatabase", db.system_database);
  env.registry.SetString(suite::kSettingsKey, "TokenKeyFile", db.key_file);
}

}  // namespace tarn::testing
