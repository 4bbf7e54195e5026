// An open session with one database server, shaped after what the login
// component uses of an ADO connection: open with a connection string, run
// statements, report its state, keep the errors of the last statements.
//
// A connection outlives a restart of its server. When the session is found
// lost (before a statement, or by the statement's failure) the connection
// reopens it with the same string, selects the catalog last chosen again and
// forgets its prepared statements, trying for a few seconds at most; each
// loss and reopen goes to the db log (db/log.h). A statement that met the
// loss runs again once when that cannot do anything twice: outside a
// transaction, and either it had not reached the server or it only reads.
// Inside a transaction it fails with the reason, the transaction is over,
// RollbackTrans then succeeds without asking the server, and the next
// BeginTrans begins on the reopened session.
#ifndef TARN_DB_CONNECTION_H_
#define TARN_DB_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/dialect.h"
#include "db/result.h"
#include "db/statement.h"
#include "tarn/status.h"
#include "tarn/variant.h"

namespace tarn::db {

// One entry of a connection's error collection. `native_error` keeps the
// numbers callers test: 1205 for a deadlock or a busy/locked database.
struct DbError {
  int32_t number = 0;
  std::string description;
  int32_t native_error = 0;
  std::string sql_state;
};

enum class ObjectState { kClosed = 0, kOpen = 1 };

// Provider aliases in the registry (HKEY_LOCAL_MACHINE): value name = a
// provider as connection strings name it ("SQLOLEDB.1"), value = the
// backend that serves it: "SQLite", "PostgreSQL" or "ODBC". Without one the
// SQL Server providers go to ODBC (FreeTDS).
inline constexpr char kProviderAliasKey[] = "Software\\ValeSoft\\WF\\Tarn\\Providers";
inline constexpr char kProviderAliasKey64[] = "Software\\Wow6432Node\\ValeSoft\\WF\\Tarn\\Providers";

class ConnectionString;

// Where a connection string leads: the backend its Provider (or the alias of
// it) names. Through ODBC, either the items go to the driver that a Driver or
// DSN key names, read as ADO's MSDASQL reads them (Provider MSDASQL or ODBC,
// an alias to ODBC, or no Provider and a Driver or DSN key), or they are
// mapped onto FreeTDS (SQL Server's own providers without an alias).
enum class Route { kNone, kSqlite, kPostgres, kOdbcDriver, kFreeTds };
Route RouteOf(const ConnectionString& cs);

class Connection : public Object {
 public:
  // A closed connection; the backend is chosen at Open by the Provider key.
  static std::shared_ptr<Connection> Create();

  std::string TypeName() const override { return "Connection"; }

  virtual Status Open(const std::string& connection_string, const std::string& user, const std::string& password) = 0;
  // Runs a statement that returns no rows. `rows_affected` may be null.
  virtual Status Execute(const Statement& statement, int64_t* rows_affected = nullptr) = 0;
  // Runs a statement and copies its rows out; `out->columns` stays null
  // when the statement returns no rowset. What a Recordset opens on.
  virtual Status Query(const Statement& statement, ResultSet* out, int64_t* rows_affected = nullptr) = 0;
  // Runs each statement as Query would, in order, each taking effect before
  // the next runs; where the backend can (PostgreSQL's pipeline), they
  // travel together, one round trip for all. `out` gets one result per
  // statement. There, reads that follow a read go as one unit: after a
  // failed read the rest of the unit fails unrun, to be asked again. Errors() then holds the first failure's errors
  // when they travelled together; one by one, each failure replaces them as in Query.
  //
  // With `as_one`, the statements are one unit instead: each runs only when
  // the one before succeeded, and where they travel together they also
  // commit together (outside a transaction of the caller's).
  virtual std::vector<Status> QueryEach(const std::vector<Statement>& statements, std::vector<ResultSet>* out,
                                        bool as_one = false);
  // Whether QueryEach saves round trips here; elsewhere it is Query in a
  // loop, and asking ahead only reads sooner.
  virtual bool SendsTogether() const { return false; }
  // A transaction that will write (ADO's BeginTrans/CommitTrans/RollbackTrans).
  virtual Status BeginTrans() = 0;
  virtual Status CommitTrans() = 0;
  virtual Status RollbackTrans() = 0;
  virtual ObjectState State() const = 0;
  // The SQL the backend speaks; known once open.
  virtual Flavor flavor() const = 0;
  // The catalog selected by Initial Catalog or the last USE ("" when the
  // server's default is in force).
  virtual std::string CurrentCatalog() const = 0;
  // The connection string as the connection reports it (password included,
  // as ADO reports it to its owner).
  virtual std::string ConnectionString() const = 0;
  virtual const std::vector<DbError>& Errors() const = 0;
  virtual void ClearErrors() = 0;
  virtual void Close() = 0;
  // How many times the connection has reopened its lost session since it
  // was created.
  virtual int64_t Reopens() const { return 0; }
};

using ConnectionPtr = std::shared_ptr<Connection>;

}  // namespace tarn::db

#endif  // TARN_DB_CONNECTION_H_
