// The demo company as `tarn db init --demo` installs it for stations: a
// fresh data directory with the SQLite system database, the registry and
// the keys, removed at the end. For tests that start `tarn session`.
#ifndef TARN_TESTS_SUPPORT_DEMO_INSTALLATION_H_
#define TARN_TESTS_SUPPORT_DEMO_INSTALLATION_H_

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "db/connection.h"
#include "support/shell.h"

namespace tarn::testing {

class DemoInstallation {
 public:
  DemoInstallation() {
    char tmpl[] = "/tmp/tarn-inst.XXXXXX";
    if (!mkdtemp(tmpl)) {
      output_ = "cannot create a temporary directory";
      return;
    }
    dir_ = tmpl;
    ok_ = Shell(tarn() + " db init --data " + dir_ + " --demo", &output_) == 0;
  }
  ~DemoInstallation() {
    if (conn_) conn_->Close();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  DemoInstallation(const DemoInstallation&) = delete;
  DemoInstallation& operator=(const DemoInstallation&) = delete;

  // Whether the tool installed it; what it printed, for the failure message.
  bool ok() const { return ok_; }
  const std::string& output() const { return output_; }

  static std::string tarn() { return std::string(TARN_BIN_DIR) + "/tarn"; }
  const std::string& dir() const { return dir_; }
  std::string registry() const { return dir_ + "/registry.reg"; }
  std::string system_database() const { return "Provider=SQLite;Data Source=" + dir_ + ";Initial Catalog=ValeSystem"; }

  // Stations beat every second and a silent one loses its tasks after two,
  // so that a lease runs out within a test.
  void ShortenLease() const {
    std::ofstream(registry(), std::ios::app) << "\"HeartbeatSeconds\"=\"1\"\n\"LeaseSeconds\"=\"2\"\n";
  }

  // A connection of the test's own to the system database, opened on first use.
  db::Connection& conn() {
    if (!conn_) {
      conn_ = db::Connection::Create();
      EXPECT_TRUE(conn_->Open(system_database(), "", "").ok()) << system_database();
    }
    return *conn_;
  }
  // The first column of the first row of `sql` as a number; -1 for no row.
  int64_t Count(const std::string& sql) {
    db::ResultSet rs;
    EXPECT_TRUE(conn().Query(db::Statement(sql), &rs).ok()) << sql;
    return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
  }

 private:
  std::string dir_, output_;
  bool ok_ = false;
  db::ConnectionPtr conn_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_DEMO_INSTALLATION_H_
