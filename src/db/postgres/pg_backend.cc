// PostgreSQL through libpq. Data Source is host[:port][/database] (a host
// starting with '/' is a socket directory); each catalog is a schema of that
// database. Parameters go as text with types left to the server, which
// infers them from the columns they meet, as SQL Server converts literals.
#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <set>

#include "db/backend.h"
#include "db/postgres/pg_catalog.h"

namespace tarn::db {
namespace {

// Type OIDs of the built-in types we read (pg_type.dat).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700,
              kDate = 1082, kTimestamp = 1114;

using Kind = ValueKind;

int32_t AdType(Kind k, Oid oid) { return k == Kind::kDouble && oid == kFloat4 ? adtype::kSingle : AdTypeOf(k); }

Kind KindOf(Oid oid) {
  switch (oid) {
    case kBool: return Kind::kBool;
    case kInt2: return Kind::kInt16;
    case kInt4:
    case kInt8: return Kind::kInt32;  // count(*): SQL Server gives int
    case kFloat4:
    case kFloat8: return Kind::kDouble;
    case kNumeric: return Kind::kNumeric;
    case kDate:
    case kTimestamp: return Kind::kDate;
    default: return Kind::kText;
  }
}

Variant CellValue(const char* text, int len, Kind kind) {
  switch (kind) {
    case Kind::kBool: return Variant(text[0] == 't' || text[0] == '1');
    case Kind::kInt16: {
      long v = std::strtol(text, nullptr, 10);
      if (v >= INT16_MIN && v <= INT16_MAX) return Variant(static_cast<int16_t>(v));
      return Variant(static_cast<int32_t>(v));
    }
    case Kind::kInt32: {
      long long v = std::strtoll(text, nullptr, 10);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
      return Variant(static_cast<double>(v));
    }
    case Kind::kDouble:
    case Kind::kNumeric: return Variant(std::strtod(text, nullptr));
    case Kind::kDate: {
      Date d;
      if (ParseDateText(std::string_view(text, static_cast<size_t>(len)), &d)) return Variant(d);
      break;
    }
    case Kind::kNone:
    case Kind::kText:
    case Kind::kWideText: break;
  }
  return Variant(std::string(text, static_cast<size_t>(len)));
}

std::string ParamText(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::kBool: return v.ToBool() ? "1" : "0";  // bit columns are smallint
    case Variant::Type::kDouble: {
      // The shortest text that reads back as the same double: exact, since
      // log ids are matched with '='.
      char buf[32];
      return std::string(buf, std::to_chars(buf, buf + sizeof buf, v.ToDouble()).ptr);
    }
    case Variant::Type::kDate: return FormatDayOrDateTime(v.ToDate());
    default: return v.ToString();
  }
}

class PgStatement : public PreparedStatement {
 public:
  std::string name;
  std::vector<Kind> kinds;
  std::shared_ptr<const Columns> columns;
};

class PgBackend : public Backend {
 public:
  ~PgBackend() override { Close(); }

  Status Connect(const ConnectionString& cs, const std::string& user, const std::string& password,
                 DbErrors* errors) override {
    std::string source = cs.Get("Data Source");
    std::string host = source, port, dbname = "tarn";
    if (!source.empty() && source[0] != '/') {
      size_t slash = source.find('/');
      if (slash != std::string::npos) {
        dbname = source.substr(slash + 1);
        host = source.substr(0, slash);
      }
    }
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && colon + 1 < host.size() &&
        host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
      port = host.substr(colon + 1);
      host.resize(colon);
    }
    const std::string uid = user.empty() ? cs.Get("User ID") : user;
    const std::string pwd = password.empty() ? cs.Get("Password") : password;
    const char* keys[] = {
        "host", "port", "dbname", "user", "password", "connect_timeout", "client_encoding", "application_name",
        nullptr};
    const std::string timeout = std::to_string(connect_seconds_);
    const char* vals[] = {host.empty() ? nullptr : host.c_str(),
                          port.empty() ? nullptr : port.c_str(),
                          dbname.c_str(),
                          uid.empty() ? nullptr : uid.c_str(),
                          pwd.empty() ? nullptr : pwd.c_str(),
                          timeout.c_str(),
                          "UTF8",
                          "tarn",
                          nullptr};
    conn_ = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string msg = PQerrorMessage(conn_);
      while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
      int native = 17;  // server does not exist or access denied
      if (msg.find("authentication failed") != std::string::npos) native = kNativeLoginFailed;
      if (msg.find("does not exist") != std::string::npos) native = kNativeCannotOpenDatabase;
      PQfinish(conn_);
      conn_ = nullptr;
      return Fail(errors, kErrOpen, msg, native, "08001");
    }
    PQsetNoticeReceiver(conn_, &PgBackend::Notice, this);
    Status s = Exec("SET datestyle TO ISO, YMD", errors);
    if (!s.ok()) return s;
    const std::string catalog = cs.Get("Initial Catalog");
    if (!catalog.empty()) {
      if (!IsValidCatalogName(catalog)) return Fail(errors, kErrOpen, "Invalid catalog name '" + catalog + "'");
      s = UseCatalog(catalog, errors);
      if (!s.ok() && errors->size() == 1 && (*errors)[0].native_error == kNativeNoDatabase) {
        (*errors)[0] =
            DbError{kErrOpen, "Cannot open database \"" + catalog + "\" requested by the login. The login failed.",
                    kNativeCannotOpenDatabase, "42000"};
        s = Status::Database((*errors)[0].description);
      }
    }
    return s;
  }

  Dialect dialect() const override { return Dialect{Flavor::kPostgres, true}; }

  Status UseCatalog(const std::string& name, DbErrors* errors) override {
    bool exists = false;
    Status s = Exists(pg::SchemaExistsSql(name), &exists, errors);
    if (!s.ok()) return s;
    if (!exists) {
      return Fail(errors, kErrCommand,
                  "Database '" + name + "' does not exist. Make sure that the name is entered correctly.",
                  kNativeNoDatabase, "3F000");
    }
    return Exec(pg::UseSql(name), errors);
  }

  Status CreateCatalog(const std::string& name, DbErrors* errors) override {
    for (const char* const* sql = pg::SetupSql(); *sql; ++sql) {
      Status s = Exec(*sql, errors);
      if (!s.ok()) return s;
    }
    bool exists = false;
    Status s = Exists(pg::SchemaExistsSql(name), &exists, errors);
    if (!s.ok()) return s;
    if (exists) {
      return Fail(errors, kErrCommand, "Database '" + name + "' already exists. Choose a different database name.",
                  1801, "42P06");
    }
    return Exec(pg::CreateSchemaSql(name), errors);
  }

  // The server re-plans prepared statements when search_path changes.
  std::string CacheScope() const override { return ""; }

  Status Prepare(const Translation& t, std::unique_ptr<PreparedStatement>* out, DbErrors* errors) override {
    if (!conn_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.");
    auto st = std::make_unique<PgStatement>();
    st->name = "tarn" + std::to_string(++statements_);
    PGresult* res = PQprepare(conn_, st->name.c_str(), t.sql.c_str(), 0, nullptr);
    Status s = Check(res, errors);
    PQclear(res);
    if (!s.ok()) return s;
    *out = std::move(st);
    return Status::OK();
  }

  Status Run(PreparedStatement* p, std::span<const Variant> values, ResultSet* out, int64_t* rows_affected,
             DbErrors* errors) override {
    auto* st = static_cast<PgStatement*>(p);
    Params params;
    if (Status s = params.Set(values, errors); !s.ok()) return s;
    PGresult* res = PQexecPrepared(conn_, st->name.c_str(), params.count(), params.data(), nullptr, nullptr, 0);
    Status s = Check(res, errors);
    Read(st, res, s, out, rows_affected);
    PQclear(res);
    return s;
  }

  bool Pipelines() const override { return true; }

  // A sync point after every unit, so that each commits apart and a
  // failure stops no other unit, just as one by one; the results are all
  // read, the pipeline left, and only then converted (reading a column's
  // kinds may ask the server).
  void RunMany(const std::vector<PreparedStatement*>& stmts, const std::vector<std::span<const Variant>>& values,
               const std::vector<bool>& shares, std::vector<ResultSet>* outs, std::vector<Status>* statuses,
               std::vector<DbErrors>* errors) override {
    const size_t n = stmts.size();
    std::vector<PGresult*> results(n, nullptr);
    std::vector<bool> sent(n, false), synced(n, false);
    if (!conn_ || PQenterPipelineMode(conn_) != 1) {
      return Backend::RunMany(stmts, values, shares, outs, statuses, errors);
    }
    for (size_t i = 0; i < n; ++i) {
      Params params;
      (*statuses)[i] = params.Set(values[i], &(*errors)[i]);
      auto* st = static_cast<PgStatement*>(stmts[i]);
      if ((*statuses)[i].ok()) {
        if (PQsendQueryPrepared(conn_, st->name.c_str(), params.count(), params.data(), nullptr, nullptr, 0) != 1) {
          break;  // the stream is broken: this one and the rest fail below
        }
        sent[i] = true;
      }
      if (i + 1 == n || !shares[i + 1]) {
        if (PQpipelineSync(conn_) != 1) break;
        synced[i] = true;
      }
    }
    for (size_t i = 0; i < n; ++i) {
      if (sent[i]) {
        // The statement's result, then the end of its results.
        results[i] = PQgetResult(conn_);
        if (results[i]) {
          while (PGresult* more = PQgetResult(conn_)) PQclear(more);
        }
      }
      if (synced[i]) {
        if (PGresult* sync = PQgetResult(conn_)) PQclear(sync);
      }
    }
    PQexitPipelineMode(conn_);
    for (size_t i = 0; i < n; ++i) {
      if (!(*statuses)[i].ok()) {
        PQclear(results[i]);
        continue;
      }
      auto* st = static_cast<PgStatement*>(stmts[i]);
      if (!sent[i]) {
        lost_ = lost_ || PQstatus(conn_) == CONNECTION_BAD;
        (*statuses)[i] = lost_ ? LostReason(&(*errors)[i])
                               : Fail(&(*errors)[i], kErrCommand, Trimmed(PQerrorMessage(conn_)), 0, "08006");
        continue;
      }
      (*statuses)[i] = Check(results[i], &(*errors)[i]);
      Read(st, results[i], (*statuses)[i], &(*outs)[i], nullptr);
      PQclear(results[i]);
    }
  }

  Status Begin(DbErrors* errors) override { return Exec("BEGIN", errors); }
  Status Commit(DbErrors* errors) override { return Exec("COMMIT", errors); }
  Status Rollback(DbErrors* errors) override { return Exec("ROLLBACK", errors); }

  // A session whose server went away while it was idle has the server's
  // last word (a FATAL notice) and the end of the stream waiting on its
  // socket; reading them marks the session bad before anything is sent.
  // Bounded: a notice and the end of the stream take two reads.
  bool Alive(DbErrors* errors) override {
    if (!conn_) {
      (void)Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.", 0, "08003");
      return false;
    }
    for (int i = 0; i < 4 && PQstatus(conn_) == CONNECTION_OK; ++i) {
      pollfd p{PQsocket(conn_), POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) break;
      if (PQconsumeInput(conn_)) PQisBusy(conn_);  // parses what came, so that a notice reaches Notice
    }
    if (PQstatus(conn_) == CONNECTION_OK) return true;
    (void)LostReason(errors);
    return false;
  }

  bool Lost() const override { return lost_; }

  void LimitConnectTime(int seconds) override { connect_seconds_ = seconds < 2 ? 2 : seconds; }  // libpq's least

  void Close() override {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
  }

 private:
  // Parameters as text, typed by the server from the columns they meet.
  class Params {
   public:
    Status Set(std::span<const Variant> values, DbErrors* errors) {
      texts_.assign(values.size(), std::string());
      params_.assign(values.size(), nullptr);
      for (size_t i = 0; i < values.size(); ++i) {
        const Variant& v = values[i];
        if (v.IsObject() || v.IsArray()) {
          return Fail(errors, kErrCommand, "Type mismatch: a parameter value cannot be an object or an array");
        }
        if (v.IsNull() || v.IsEmpty()) continue;
        texts_[i] = ParamText(v);
        params_[i] = texts_[i].c_str();
      }
      return Status::OK();
    }
    int count() const { return static_cast<int>(params_.size()); }
    const char* const* data() const { return params_.data(); }

   private:
    std::vector<std::string> texts_;
    std::vector<const char*> params_;
  };

  // The rows of a successful result (its columns described on first use),
  // or the rows it changed.
  void Read(PgStatement* st, const PGresult* res, const Status& s, ResultSet* out, int64_t* rows_affected) {
    out->columns = nullptr;
    out->cells.clear();
    if (s.ok() && PQresultStatus(res) == PGRES_TUPLES_OK) {
      if (!st->columns) Describe(st, res);
      out->columns = st->columns;
      const int rows = PQntuples(res), width = PQnfields(res);
      out->cells.reserve(static_cast<size_t>(rows) * static_cast<size_t>(width));
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < width; ++c) {
          if (PQgetisnull(res, r, c)) {
            out->cells.emplace_back(Null{});
          } else {
            out->cells.push_back(CellValue(PQgetvalue(res, r, c), PQgetlength(res, r, c), st->kinds[c]));
          }
        }
      }
    } else if (s.ok() && rows_affected) {
      const char* n = PQcmdTuples(const_cast<PGresult*>(res));
      *rows_affected = n && *n ? std::atoll(n) : -1;
    }
  }

  Status Check(PGresult* res, DbErrors* errors) {
    const ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    lost_ = PQstatus(conn_) == CONNECTION_BAD;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_EMPTY_QUERY) return Status::OK();
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    std::string sql_state = state ? state : "";
    lost_ = lost_ || sql_state.rfind("08", 0) == 0;
    if (!state && lost_) return LostReason(errors);
    if (!res) return Fail(errors, kErrCommand, Trimmed(PQerrorMessage(conn_)), 0, "08006");
    const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
    std::string msg = primary ? primary : Trimmed(PQresultErrorMessage(res));
    return Fail(errors, kErrCommand, msg, pg::NativeFor(sql_state), sql_state);
  }

  // Why the session is gone: the server's FATAL notice when it sent one
  // ("terminating connection due to administrator command"), else libpq's
  // own account of the broken stream.
  Status LostReason(DbErrors* errors) {
    lost_ = true;
    if (!fatal_.empty()) return Fail(errors, kErrCommand, fatal_, pg::NativeFor(fatal_state_), fatal_state_);
    std::string msg = Trimmed(PQerrorMessage(conn_));
    if (msg.empty()) msg = "The connection to the server was lost";
    return Fail(errors, kErrCommand, msg, 0, "08006");
  }

  static std::string Trimmed(std::string msg) {
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    return msg;
  }

  // Notices are dropped, except the server's last word before it ends the
  // session, kept as the reason of the loss.
  static void Notice(void* arg, const PGresult* res) {
    auto* self = static_cast<PgBackend*>(arg);
    const char* severity = PQresultErrorField(res, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (!severity || (std::strcmp(severity, "FATAL") != 0 && std::strcmp(severity, "PANIC") != 0)) return;
    const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    self->fatal_ = primary ? primary : Trimmed(PQresultErrorMessage(res));
    self->fatal_state_ = state ? state : "08006";
  }

  Status Exec(const std::string& sql, DbErrors* errors) {
    if (!conn_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.");
    PGresult* res = PQexec(conn_, sql.c_str());
    Status s = Check(res, errors);
    PQclear(res);
    return s;
  }

  Status Exists(const std::string& sql, bool* exists, DbErrors* errors) {
    if (!conn_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.");
    PGresult* res = PQexec(conn_, sql.c_str());
    Status s = Check(res, errors);
    *exists = s.ok() && PQntuples(res) > 0;
    PQclear(res);
    return s;
  }

  // Column kinds, once per statement. A smallint of the domain "flag" is a
  // bit column and reads as a boolean; the server reports the domain's base
  // type in results, so the table's definition is asked.
  void Describe(PgStatement* st, const PGresult* res) {
    auto cols = std::make_shared<Columns>();
    const int width = PQnfields(res);
    std::set<std::pair<Oid, int>> flags;
    std::set<Oid> looked_up;
    for (int c = 0; c < width; ++c) {
      const Oid type = PQftype(res, c);
      Kind kind = KindOf(type);
      const Oid table = PQftable(res, c);
      if (kind == Kind::kInt16 && table != InvalidOid) {
        if (looked_up.insert(table).second) LoadFlags(table, &flags);
        if (flags.count({table, PQftablecol(res, c)})) kind = Kind::kBool;
      }
      st->kinds.push_back(kind);
      cols->push_back(Column{PQfname(res, c), AdType(kind, type)});
    }
    st->columns = std::move(cols);
  }

  void LoadFlags(Oid table, std::set<std::pair<Oid, int>>* flags) {
    const std::string oid = std::to_string(table);
    const char* params[] = {oid.c_str()};
    PGresult* res = PQexecParams(conn_,
                                 "SELECT a.attnum FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
                                 "WHERE a.attrelid = $1::oid AND t.typname = 'flag' AND NOT a.attisdropped",
                                 1, nullptr, params, nullptr, nullptr, 0);
    if (PQresultStatus(res) == PGRES_TUPLES_OK) {
      for (int r = 0; r < PQntuples(res); ++r) flags->insert({table, std::atoi(PQgetvalue(res, r, 0))});
    }
    PQclear(res);
  }

  PGconn* conn_ = nullptr;
  int statements_ = 0;
  int connect_seconds_ = 10;
  bool lost_ = false;
  std::string fatal_, fatal_state_;
};

}  // namespace

std::unique_ptr<Backend> NewPostgresBackend() { return std::make_unique<PgBackend>(); }

}  // namespace tarn::db
