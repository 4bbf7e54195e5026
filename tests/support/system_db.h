// A system database of its own for one test: SQLite in a temporary
// directory, created by the data layer, removed at the end.
#ifndef TARN_TESTS_SUPPORT_SYSTEM_DB_H_
#define TARN_TESTS_SUPPORT_SYSTEM_DB_H_

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "db/connection.h"
#include "suite/key_file.h"
#include "suite/sysdb/schema.h"

namespace tarn::testing {

class SystemDb {
 public:
  SystemDb() {
    char tmpl[] = "/tmp/tarn-svc-test.XXXXXX";
    if (mkdtemp(tmpl)) dir_ = tmpl;
    auto init = db::Connection::Create();
    ok_ = !dir_.empty() && init->Open("Provider=SQLite;Data Source=" + dir_, "", "").ok() &&
          suite::CreateSystemDatabase(*init).ok();
    init->Close();
    conn_ = db::Connection::Create();
    ok_ = ok_ && conn_->Open(connection_string(), "", "").ok();
    ok_ = ok_ && suite::CreateKeyFile(key_file()).ok() && suite::LoadKeyFile(key_file(), &key_).ok();
  }
  ~SystemDb() {
    conn_->Close();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  SystemDb(const SystemDb&) = delete;
  SystemDb& operator=(const SystemDb&) = delete;

  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }
  std::string connection_string() const {
    return "Provider=SQLite;Data Source=" + dir_ + ";Initial Catalog=ValeSystem";
  }
  const db::ConnectionPtr& conn() const { return conn_; }
  // The installation's service key, beside the database.
  std::string key_file() const { return dir_ + "/service.key"; }
  const std::string& key() const { return key_; }

  // The rows of a running login: its login task ("reg", log id = task id)
  // and one function task, each with an open usage-log entry.
  void AddLogin(const std::string& task, const std::string& station, const std::string& user,
                const std::string& function, double function_log_id) {
    AddTask(task, station, user, "reg", std::stod(task));
    AddTask(task, station, user, function, function_log_id);
  }
  void AddTask(const std::string& task, const std::string& station, const std::string& user, const std::string& auth,
               double log_id) {
    EXPECT_TRUE(
        conn_
            ->Execute(db::Statement("INSERT INTO UA_task (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,"
                                    "cSub_id,cAppServer) VALUES('001',2024,?,?,?,?,?,'GL','APP')")
                          .Bind(user)
                          .Bind(auth)
                          .Bind(station)
                          .Bind(task)
                          .Bind(log_id))
            .ok());
    EXPECT_TRUE(conn_
                    ->Execute(db::Statement("INSERT INTO UA_log VALUES('001','GL',?,?,?,GETDATE(),NULL,?,'2024',0)")
                                  .Bind(user)
                                  .Bind(auth)
                                  .Bind(station)
                                  .Bind(log_id))
                    .ok());
  }
  int64_t Count(const char* sql, const std::string& bound) {
    db::ResultSet rs;
    if (!conn_->Query(db::Statement(sql).Bind(bound), &rs).ok() || rs.rows() == 0) return -1;
    return static_cast<int64_t>(rs.at(0, 0).ToDouble());
  }
  int64_t TaskRows(const std::string& task) { return Count("SELECT COUNT(*) FROM UA_task WHERE cTaskId=?", task); }
  // Usage-log entries of `user` still open (no out time, not closed).
  int64_t OpenLogRows(const std::string& user) {
    return Count("SELECT COUNT(*) FROM UA_log WHERE cUser_Id=? AND (dOutTime IS NULL OR Success=0)", user);
  }

 private:
  std::string dir_;
  bool ok_ = false;
  db::ConnectionPtr conn_;
  std::string key_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SYSTEM_DB_H_
