// A throwaway database server for tests: a temporary data directory for
// SQLite, or a fresh database on the PostgreSQL server that scripts/test
// starts (reached through libpq, or through ODBC with psqlODBC). Each test
// gets its own, so tests can run in parallel.
#ifndef TARN_TESTS_SUPPORT_SCRATCH_SERVER_H_
#define TARN_TESTS_SUPPORT_SCRATCH_SERVER_H_

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "db/connection.h"
#include "db/connection_string.h"

namespace tarn::testing {

// Whether this run demands every backend. scripts/test sets
// TARN_REQUIRE_BACKENDS=1, so that a server that did not come up fails the
// run instead of leaving its suites quietly skipped; a developer's plain
// ctest without a server skips them.
inline bool BackendsRequired() {
  const char* v = std::getenv("TARN_REQUIRE_BACKENDS");
  return v && *v && std::string(v) != "0";
}

// In a test (or its SetUp): skips it because its backend is not available
// here, for the reason `why`, or fails it when the run demands backends.
#define TARN_SKIP_WITHOUT_BACKEND(why)                            \
  do {                                                            \
    if (::tarn::testing::BackendsRequired()) {                    \
      GTEST_FAIL() << (why) << " (TARN_REQUIRE_BACKENDS is set)"; \
    }                                                             \
    GTEST_SKIP() << (why);                                        \
  } while (0)

class ScratchServer {
 public:
  enum class Kind { kSqlite, kPostgres, kOdbc };

  // nullptr with `*skip` set when the server is not available here (see
  // TARN_SKIP_WITHOUT_BACKEND).
  static std::unique_ptr<ScratchServer> Make(Kind kind, std::string* skip) {
    auto s = std::unique_ptr<ScratchServer>(new ScratchServer(kind));
    if (kind == Kind::kSqlite) {
      char tmpl[] = "/tmp/tarn-db-test.XXXXXX";
      if (!mkdtemp(tmpl)) {
        *skip = "cannot create a temporary directory";
        return nullptr;
      }
      s->dir_ = tmpl;
      s->server_ = "Provider=SQLite;Data Source=" + s->dir_;
      return s;
    }
    const char* pg = std::getenv("TARN_TEST_PG_CONNECT");
    const char* odbc = std::getenv("TARN_TEST_ODBC_CONNECT");
    if (!pg || (kind == Kind::kOdbc && !odbc)) {
      *skip = kind == Kind::kOdbc ? "TARN_TEST_ODBC_CONNECT and TARN_TEST_PG_CONNECT not set (scripts/test sets them)"
                                  : "TARN_TEST_PG_CONNECT not set (scripts/test starts a server and sets it)";
      return nullptr;
    }
    static std::atomic<int> counter{0};
    s->database_ = "tarn_t" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    db::ConnectionString cs;
    if (!db::ConnectionString::Parse(pg, &cs).ok()) {
      *skip = "TARN_TEST_PG_CONNECT is not a connection string";
      return nullptr;
    }
    std::string source = cs.Get("Data Source");
    const size_t slash = source.find('/');
    s->pg_server_ = slash == std::string::npos ? source : source.substr(0, slash);
    s->user_ = cs.Get("User ID");
    s->password_ = cs.Get("Password");
    if (!s->Admin("CREATE DATABASE " + s->database_, skip)) return nullptr;
    s->created_ = true;
    s->libpq_ = "Provider=PostgreSQL;Data Source=" + s->pg_server_ + "/" + s->database_ + ";User ID=" + s->user_ +
                ";Password=" + s->password_;
    if (kind == Kind::kPostgres) {
      s->server_ = s->libpq_;
    } else {
      std::string o = odbc;
      const size_t p = o.find("Database=");
      const size_t end = o.find(';', p);
      s->server_ = o.substr(0, p) + "Database=" + s->database_ + (end == std::string::npos ? "" : o.substr(end));
    }
    return s;
  }

  ~ScratchServer() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
    std::string ignored;
    if (created_) Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)", &ignored);
  }

  // The server without a catalog; append ";Initial Catalog=X" for one.
  const std::string& server() const { return server_; }
  std::string With(const std::string& catalog) const { return server_ + ";Initial Catalog=" + catalog; }
  const std::string& dir() const { return dir_; }
  // The same PostgreSQL database through libpq (PostgreSQL and ODBC kinds).
  const std::string& libpq() const { return libpq_; }
  Kind kind() const { return kind_; }

 private:
  explicit ScratchServer(Kind kind) : kind_(kind) {}

  bool Admin(const std::string& sql, std::string* error) {
    std::string host = pg_server_, port;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
      port = host.substr(colon + 1);
      host.resize(colon);
    }
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* vals[] = {
        host.c_str(), port.empty() ? nullptr : port.c_str(), "postgres", user_.c_str(), password_.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    bool ok = PQstatus(c) == CONNECTION_OK;
    if (ok) {
      PGresult* r = PQexec(c, sql.c_str());
      ok = PQresultStatus(r) == PGRES_COMMAND_OK;
      PQclear(r);
    }
    if (!ok) *error = "PostgreSQL: " + std::string(PQerrorMessage(c));
    PQfinish(c);
    return ok;
  }

  Kind kind_;
  std::string server_, dir_, database_, pg_server_, user_, password_, libpq_;
  bool created_ = false;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SCRATCH_SERVER_H_
