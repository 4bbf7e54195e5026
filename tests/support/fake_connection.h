// A connection that records what it is asked to run.
#ifndef TARN_TESTS_SUPPORT_FAKE_CONNECTION_H_
#define TARN_TESTS_SUPPORT_FAKE_CONNECTION_H_

#include <string>
#include <vector>

#include "db/connection.h"
#include "tarn/com_error.h"

namespace tarn::testing {

class FakeConnection : public db::Connection {
 public:
  struct Executed {
    std::string sql;
    std::vector<Variant> values;
  };
  std::vector<Executed> executed;
  db::ObjectState state = db::ObjectState::kOpen;
  bool fail_execute = false;      // statements return a failed status
  bool throw_on_execute = false;  // statements raise, as a broken driver might
  bool throw_on_close = false;
  int closes = 0;
  std::vector<db::DbError> errors;

  Status Open(const std::string&, const std::string&, const std::string&) override {
    state = db::ObjectState::kOpen;
    return Status::OK();
  }
  Status Execute(const db::Statement& statement, int64_t* rows) override {
    executed.push_back({std::string(statement.sql()), {statement.values().begin(), statement.values().end()}});
    if (rows) *rows = 0;
    if (throw_on_execute) throw ComError(-2147467259, "the connection is broken");
    if (fail_execute) return Status::Database("broken connection");
    return Status::OK();
  }
  Status Query(const db::Statement& statement, db::ResultSet* out, int64_t* rows) override {
    if (out) *out = db::ResultSet();
    return Execute(statement, rows);
  }
  Status BeginTrans() override { return Status::OK(); }
  Status CommitTrans() override { return Status::OK(); }
  Status RollbackTrans() override { return Status::OK(); }
  db::Flavor flavor() const override { return db::Flavor{}; }
  std::string CurrentCatalog() const override { return "ValeSystem"; }
  db::ObjectState State() const override { return state; }
  std::string ConnectionString() const override { return "Provider=Fake"; }
  const std::vector<db::DbError>& Errors() const override { return errors; }
  void ClearErrors() override { errors.clear(); }
  void Close() override {
    ++closes;
    if (throw_on_close) throw ComError(-2147467259, "the connection is broken");
    state = db::ObjectState::kClosed;
  }
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_FAKE_CONNECTION_H_
