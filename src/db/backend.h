// What a database backend gives the connection: a session with a current
// catalog, prepared statements, and errors in the shape of ADO's Errors
// collection. Backends know nothing of templates; the connection translates
// and caches.
#ifndef TARN_DB_BACKEND_H_
#define TARN_DB_BACKEND_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/connection_string.h"
#include "db/dialect.h"
#include "db/result.h"
#include "tarn/status.h"
#include "tarn/variant.h"

namespace tarn::db {

using DbErrors = std::vector<DbError>;

// ADO's numbers for a failed command and for a failed open; the native
// number carries the database's own code.
constexpr int32_t kErrCommand = -2147217900;  // 0x80040E14
constexpr int32_t kErrOpen = -2147467259;     // 0x80004005
// SQL Server numbers the component and its callers know.
constexpr int32_t kNativeDeadlock = 1205;
constexpr int32_t kNativeSyntax = 102;
constexpr int32_t kNativeNoObject = 208;
constexpr int32_t kNativeNoColumn = 207;
constexpr int32_t kNativeDuplicateKey = 2627;
constexpr int32_t kNativeNoDatabase = 911;
constexpr int32_t kNativeCannotOpenDatabase = 4060;
constexpr int32_t kNativeLoginFailed = 18456;

// Builds the Status and the one error entry of a failure.
Status Fail(DbErrors* errors, int32_t number, std::string description, int32_t native = 0, std::string sql_state = "");

class PreparedStatement {
 public:
  virtual ~PreparedStatement() = default;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual Status Connect(const ConnectionString& cs, const std::string& user, const std::string& password,
                         DbErrors* errors) = 0;
  // Known once connected.
  virtual Dialect dialect() const = 0;
  // `name` passed IsValidCatalogName.
  virtual Status UseCatalog(const std::string& name, DbErrors* errors) = 0;
  virtual Status CreateCatalog(const std::string& name, DbErrors* errors) = 0;
  // Prepared statements stay valid while this value stays the same.
  virtual std::string CacheScope() const = 0;

  // `t` is a kStatement translation.
  virtual Status Prepare(const Translation& t, std::unique_ptr<PreparedStatement>* out, DbErrors* errors) = 0;
  // Runs with one value per placeholder. Fills `out` (columns stay null when
  // the statement returns no rowset) and `rows_affected` (-1 unknown).
  virtual Status Run(PreparedStatement* stmt, std::span<const Variant> values, ResultSet* out, int64_t* rows_affected,
                     DbErrors* errors) = 0;

  // Runs several prepared statements in order, each as Run would;
  // `statuses`, `outs` and `errors` get one entry per statement. Backends
  // that can send them together do (one round trip); the others run them
  // one by one. A run of statements marked `shares` after the first
  // travels as one unit there: when one fails, the rest of the unit fails
  // unrun.
  virtual bool Pipelines() const { return false; }
  virtual void RunMany(const std::vector<PreparedStatement*>& stmts,
                       const std::vector<std::span<const Variant>>& values, const std::vector<bool>& /*shares*/,
                       std::vector<ResultSet>* outs, std::vector<Status>* statuses, std::vector<DbErrors>* errors) {
    for (size_t i = 0; i < stmts.size(); ++i) {
      (*statuses)[i] = Run(stmts[i], values[i], &(*outs)[i], nullptr, &(*errors)[i]);
    }
  }

  // A transaction that will write: SQLite takes its write lock at once, so
  // that a busy database waits out the timeout instead of failing on the
  // first write of a stale snapshot.
  virtual Status Begin(DbErrors* errors) = 0;
  virtual Status Commit(DbErrors* errors) = 0;
  virtual Status Rollback(DbErrors* errors) = 0;

  // Whether the session still stands, asked before each statement without
  // a round trip: what the server sent while the session was idle (the
  // notice that it is shutting down, the end of the stream). When it does
  // not, `errors` gets the reason. A backend whose session cannot be lost
  // (SQLite) always answers true.
  virtual bool Alive(DbErrors* /*errors*/) { return true; }
  // Whether the last failure was the loss of the session.
  virtual bool Lost() const { return false; }
  // The longest a Connect may wait for the server; set before Connect.
  virtual void LimitConnectTime(int /*seconds*/) {}
  // Whether a session left idle may serve the next Open of the same
  // connection string (db/session_pool.h): it still reaches what it opened.
  virtual bool Reusable() const { return false; }

  virtual void Close() = 0;
};

std::unique_ptr<Backend> NewSqliteBackend();
std::unique_ptr<Backend> NewPostgresBackend();
// `free_tds`: the string names SQL Server's provider and is mapped onto
// FreeTDS; otherwise its items go to the driver (Route::kOdbcDriver).
std::unique_ptr<Backend> NewOdbcBackend(bool free_tds);

}  // namespace tarn::db

#endif  // TARN_DB_BACKEND_H_
