// unixODBC. ADO strings with a SQL Server provider (SQLOLEDB, SQLOLEDB.1,
// SQLNCLI*, MSOLEDBSQL) become FreeTDS strings with the same server,
// catalog, user and password, and templates go to SQL Server as written.
// Provider=MSDASQL or ODBC (or a Driver/DSN key) hands the rest of the
// string to the driver that the Driver or DSN key names, ADO's own keys
// translated; the dialect then follows the DBMS the driver reports.
//
// Every diagnostic record is read: SQL Server sends its deadlock (1205) as
// one of several records, under SQLSTATE 42000, and may send it from
// SQLFetch or SQLMoreResults as well as from SQLExecute.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "db/backend.h"
#include "db/postgres/pg_catalog.h"
#include "platform/text.h"

namespace tarn::db {
namespace {

using WString = std::basic_string<SQLWCHAR>;

WString Widen(std::string_view s) {
  WString out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t c = DecodeUtf8(s, &i);
    if (c >= kMalformedUtf8) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<SQLWCHAR>(0xD800 + (c >> 10));
      out += static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<SQLWCHAR>(c);
    }
  }
  return out;
}

std::string Narrow(const SQLWCHAR* w, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
    }
    AppendUtf8(c, &out);
  }
  return out;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

using Kind = ValueKind;

Kind KindOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT: return Kind::kBool;
    case SQL_TINYINT:
    case SQL_SMALLINT: return Kind::kInt16;
    case SQL_INTEGER:
    case SQL_BIGINT: return Kind::kInt32;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return Kind::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return Kind::kNumeric;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME: return Kind::kDate;
    default: return Kind::kText;
  }
}

int32_t AdType(Kind k, SQLSMALLINT type) {
  if (k == Kind::kDouble && type == SQL_REAL) return adtype::kSingle;
  if (k == Kind::kText && (type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR)) {
    return adtype::kVarWChar;
  }
  return AdTypeOf(k);
}

// One bound parameter's storage; must not move while the statement runs.
struct Param {
  SQLLEN indicator = 0;
  SQLINTEGER i = 0;
  double d = 0;
  SQL_TIMESTAMP_STRUCT ts{};
  WString text;
};

class OdbcStatement : public PreparedStatement {
 public:
  ~OdbcStatement() override {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  std::vector<bool> national;
  std::vector<Kind> kinds;
  std::shared_ptr<const Columns> columns;
};

class OdbcBackend : public Backend {
 public:
  explicit OdbcBackend(bool free_tds) : free_tds_(free_tds) {}
  ~OdbcBackend() override { Close(); }

  Status Connect(const ConnectionString& cs, const std::string& user, const std::string& password,
                 DbErrors* errors) override {
    const bool passthrough = !free_tds_;
    std::string odbc;
    std::string catalog;
    if (passthrough) {
      // As ADO's MSDASQL hands them on: Provider and the catalog stay here
      // (the catalog is selected once connected), User ID and Password are
      // the driver's UID and PWD, and Data Source is the DSN unless a
      // Driver or DSN key already says where to go (the account strings
      // the suite hands out add a "data source" for its own readers).
      const bool has_target = cs.HasExact("Driver") || cs.HasExact("DSN");
      for (const auto& [key, value] : cs.items()) {
        const std::string k = AsciiLower(key);
        if (k == "provider" || k == "initial catalog") continue;
        if ((k == "uid" || k == "user id") && !user.empty()) continue;
        if ((k == "pwd" || k == "password") && !password.empty()) continue;
        if (k == "data source" && has_target) continue;
        const std::string name = k == "user id" ? "UID" : k == "password" ? "PWD" : k == "data source" ? "DSN" : key;
        odbc += name + "=" + OdbcQuote(value) + ";";
      }
      catalog = cs.GetExact("Initial Catalog");
    } else {
      // FreeTDS takes host and port apart; ADO writes "host,port" or
      // "tcp:host,port"; "host\instance" passes as is.
      std::string server = cs.Get("Data Source"), port;
      if (AsciiLower(server.substr(0, 4)) == "tcp:") server.erase(0, 4);
      size_t comma = server.find(',');
      if (comma != std::string::npos) {
        port = server.substr(comma + 1);
        server.resize(comma);
      }
      std::string driver = cs.HasExact("Driver") ? cs.GetExact("Driver") : "FreeTDS";
      odbc = "DRIVER=" + OdbcQuote(driver) + ";SERVER=" + OdbcQuote(server) + ";";
      if (!port.empty()) odbc += "PORT=" + OdbcQuote(port) + ";";
      catalog = cs.Get("Initial Catalog");
      if (!catalog.empty()) odbc += "DATABASE=" + OdbcQuote(catalog) + ";";
      odbc += "ClientCharset=UTF-8;";
    }
    const std::string uid = user.empty() ? (passthrough ? "" : cs.Get("User ID")) : user;
    const std::string pwd = password.empty() ? (passthrough ? "" : cs.Get("Password")) : password;
    if (!uid.empty()) odbc += "UID=" + OdbcQuote(uid) + ";";
    if (!pwd.empty()) odbc += "PWD=" + OdbcQuote(pwd) + ";";

    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)) ||
        !Ok(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
      return Fail(errors, kErrOpen, "The ODBC driver manager could not be initialised");
    }
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connect_seconds_)), 0);
    WString wide = Widen(odbc);
    SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()), nullptr, 0,
                                     nullptr, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) {
      Status s = Diagnose(SQL_HANDLE_DBC, dbc_, kErrOpen, errors);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
      return s;
    }
    connected_ = true;
    SQLWCHAR name[64] = {};
    SQLSMALLINT len = 0;
    SQLGetInfoW(dbc_, SQL_DBMS_NAME, name, sizeof name, &len);
    const std::string dbms = AsciiLower(Narrow(name, static_cast<size_t>(len) / sizeof(SQLWCHAR)));
    flavor_ = dbms.find("postgres") != std::string::npos ? Flavor::kPostgres : Flavor::kTsql;
    if (flavor_ == Flavor::kPostgres) {
      Status s = Direct("SET datestyle TO ISO, YMD", nullptr, errors);
      if (!s.ok()) return s;
      if (!catalog.empty()) {
        if (!IsValidCatalogName(catalog)) return Fail(errors, kErrOpen, "Invalid catalog name '" + catalog + "'");
        s = UseCatalog(catalog, errors);
        if (!s.ok()) return s;
      }
    }
    catalog_ = AsciiLower(catalog);
    return Status::OK();
  }

  Dialect dialect() const override { return Dialect{flavor_, false}; }

  Status UseCatalog(const std::string& name, DbErrors* errors) override {
    if (flavor_ == Flavor::kPostgres) {
      bool exists = false;
      Status s = Direct(pg::SchemaExistsSql(name), &exists, errors);
      if (!s.ok()) return s;
      if (!exists) {
        return Fail(errors, kErrCommand,
                    "Database '" + name + "' does not exist. Make sure that the name is entered correctly.",
                    kNativeNoDatabase, "3F000");
      }
      s = Direct(pg::UseSql(name), nullptr, errors);
      if (!s.ok()) return s;
    } else {
      Status s = Direct("USE [" + name + "]", nullptr, errors);
      if (!s.ok()) return s;
    }
    catalog_ = AsciiLower(name);
    return Status::OK();
  }

  Status CreateCatalog(const std::string& name, DbErrors* errors) override {
    if (flavor_ != Flavor::kPostgres) return Direct("CREATE DATABASE [" + name + "]", nullptr, errors);
    for (const char* const* sql = pg::SetupSql(); *sql; ++sql) {
      Status s = Direct(*sql, nullptr, errors);
      if (!s.ok()) return s;
    }
    bool exists = false;
    Status s = Direct(pg::SchemaExistsSql(name), &exists, errors);
    if (!s.ok()) return s;
    if (exists) {
      return Fail(errors, kErrCommand, "Database '" + name + "' already exists. Choose a different database name.",
                  1801, "42P06");
    }
    return Direct(pg::CreateSchemaSql(name), nullptr, errors);
  }

  // SQL Server binds a prepared statement's names in the database it was
  // prepared in; PostgreSQL re-plans after a search_path change.
  std::string CacheScope() const override { return flavor_ == Flavor::kPostgres ? "" : catalog_; }

  Status Prepare(const Translation& t, std::unique_ptr<PreparedStatement>* out, DbErrors* errors) override {
    if (!connected_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.");
    auto st = std::make_unique<OdbcStatement>();
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st->stmt)))
      return Diagnose(SQL_HANDLE_DBC, dbc_, kErrCommand, errors);
    WString wide = Widen(t.sql);
    if (!Ok(SQLPrepareW(st->stmt, wide.data(), static_cast<SQLINTEGER>(wide.size())))) {
      return Diagnose(SQL_HANDLE_STMT, st->stmt, kErrCommand, errors);
    }
    st->national = t.national;
    *out = std::move(st);
    return Status::OK();
  }

  Status Run(PreparedStatement* p, std::span<const Variant> values, ResultSet* out, int64_t* rows_affected,
             DbErrors* errors) override {
    auto* st = static_cast<OdbcStatement*>(p);
    SQLHSTMT h = st->stmt;
    std::vector<Param> params(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      Status s = BindParam(h, static_cast<SQLUSMALLINT>(i + 1), values[i], i < st->national.size() && st->national[i],
                           &params[i], errors);
      if (!s.ok()) {
        SQLFreeStmt(h, SQL_RESET_PARAMS);
        return s;
      }
    }
    out->columns = nullptr;
    out->cells.clear();
    SQLRETURN rc = SQLExecute(h);
    Status s;
    if (rc == SQL_NO_DATA) {  // FreeTDS: an UPDATE or DELETE that touched no row
      if (rows_affected) *rows_affected = 0;
    } else if (!Ok(rc)) {
      s = Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
    } else {
      s = Collect(st, out, rows_affected, errors);
    }
    SQLFreeStmt(h, SQL_CLOSE);
    SQLFreeStmt(h, SQL_RESET_PARAMS);
    return s;
  }

  Status Begin(DbErrors* errors) override {
    if (!Ok(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
      return Diagnose(SQL_HANDLE_DBC, dbc_, kErrCommand, errors);
    }
    return Status::OK();
  }
  Status Commit(DbErrors* errors) override { return End(SQL_COMMIT, errors); }
  Status Rollback(DbErrors* errors) override { return End(SQL_ROLLBACK, errors); }

  // Drivers learn of a lost session only when a call fails; what they
  // learnt then is all there is to ask without a round trip.
  bool Alive(DbErrors* errors) override {
    if (connected_ && !Dead()) return true;
    (void)Fail(errors, kErrCommand, "Communication link failure", 0, connected_ ? "08S01" : "08003");
    return false;
  }

  bool Lost() const override { return lost_ || Dead(); }

  void LimitConnectTime(int seconds) override { connect_seconds_ = seconds < 1 ? 1 : seconds; }

  void Close() override {
    if (dbc_) {
      if (connected_) SQLDisconnect(dbc_);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    dbc_ = SQL_NULL_HDBC;
    env_ = SQL_NULL_HENV;
    connected_ = false;
  }

 private:
  bool Dead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return connected_ && Ok(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
  }

  Status End(SQLSMALLINT how, DbErrors* errors) {
    Status s;
    if (!Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, how))) s = Diagnose(SQL_HANDLE_DBC, dbc_, kErrCommand, errors);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return s;
  }

  Status BindParam(SQLHSTMT h, SQLUSMALLINT n, const Variant& v, bool national, Param* p, DbErrors* errors) {
    SQLSMALLINT ctype = SQL_C_WCHAR, sqltype = national ? SQL_WVARCHAR : SQL_VARCHAR, digits = 0;
    SQLULEN size = 1;
    SQLPOINTER data = nullptr;
    SQLLEN buflen = 0;
    switch (v.type()) {
      case Variant::Type::kEmpty:
      case Variant::Type::kNull: p->indicator = SQL_NULL_DATA; break;
      case Variant::Type::kInt16:
      case Variant::Type::kInt32:
      case Variant::Type::kBool:  // bit columns take 0 and 1 (and are smallint on PostgreSQL)
        p->i = v.type() == Variant::Type::kBool ? (v.ToBool() ? 1 : 0) : v.ToInt32();
        ctype = SQL_C_SLONG;
        sqltype = SQL_INTEGER;
        data = &p->i;
        size = 10;
        break;
      case Variant::Type::kDouble:
        p->d = v.ToDouble();
        ctype = SQL_C_DOUBLE;
        sqltype = SQL_DOUBLE;
        data = &p->d;
        size = 15;
        break;
      case Variant::Type::kDate: {
        CivilTime t = CivilFromDate(v.ToDate());
        p->ts = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(t.year),
                                     static_cast<SQLUSMALLINT>(t.month),
                                     static_cast<SQLUSMALLINT>(t.day),
                                     static_cast<SQLUSMALLINT>(t.hour),
                                     static_cast<SQLUSMALLINT>(t.minute),
                                     static_cast<SQLUSMALLINT>(t.second),
                                     0};
        ctype = SQL_C_TYPE_TIMESTAMP;
        sqltype = SQL_TYPE_TIMESTAMP;
        data = &p->ts;
        size = 23;
        digits = 3;
        break;
      }
      case Variant::Type::kString:
        p->text = Widen(v.ToString());
        p->indicator = static_cast<SQLLEN>(p->text.size() * sizeof(SQLWCHAR));
        data = p->text.data();
        buflen = p->indicator;
        size = p->text.empty() ? 1 : p->text.size();
        break;
      default: return Fail(errors, kErrCommand, "Type mismatch: a parameter value cannot be an object or an array");
    }
    if (data && v.type() != Variant::Type::kString) p->indicator = 0;
    if (!Ok(SQLBindParameter(h, n, SQL_PARAM_INPUT, ctype, sqltype, size, digits, data, buflen, &p->indicator))) {
      return Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
    }
    return Status::OK();
  }

  void Describe(OdbcStatement* st, SQLSMALLINT width) {
    auto cols = std::make_shared<Columns>();
    st->kinds.clear();
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(width); ++c) {
      SQLWCHAR name[256] = {};
      SQLSMALLINT name_len = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeColW(st->stmt, c, name, 255, &name_len, &type, &size, &digits, &nullable);
      Kind kind = KindOf(type);
      st->kinds.push_back(kind);
      cols->push_back(Column{Narrow(name, static_cast<size_t>(name_len)), AdType(kind, type)});
    }
    st->columns = std::move(cols);
  }

  // Fetches the first rowset and walks the remaining results, so that an
  // error sent after the rows is not missed.
  Status Collect(OdbcStatement* st, ResultSet* out, int64_t* rows_affected, DbErrors* errors) {
    SQLHSTMT h = st->stmt;
    bool have_rows = false, have_count = false;
    for (;;) {
      SQLSMALLINT width = 0;
      SQLNumResultCols(h, &width);
      if (width > 0 && !have_rows) {
        if (!st->columns || st->columns->size() != static_cast<size_t>(width)) Describe(st, width);
        out->columns = st->columns;
        SQLRETURN rc;
        while (Ok(rc = SQLFetch(h))) {
          for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(width); ++c) {
            Variant v;
            Status s = ReadCell(h, c, st->kinds[c - 1], &v, errors);
            if (!s.ok()) return s;
            out->cells.push_back(std::move(v));
          }
        }
        if (rc != SQL_NO_DATA) return Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
        have_rows = true;
      } else if (width == 0 && !have_count && rows_affected) {
        SQLLEN n = -1;
        SQLRowCount(h, &n);
        *rows_affected = n;
        have_count = true;
      }
      SQLRETURN rc = SQLMoreResults(h);
      if (rc == SQL_NO_DATA) return Status::OK();
      if (!Ok(rc)) return Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
    }
  }

  Status ReadCell(SQLHSTMT h, SQLUSMALLINT c, Kind kind, Variant* out, DbErrors* errors) {
    SQLLEN ind = 0;
    SQLRETURN rc;
    switch (kind) {
      case Kind::kBool:
      case Kind::kInt16:
      case Kind::kInt32: {
        SQLBIGINT v = 0;
        rc = SQLGetData(h, c, SQL_C_SBIGINT, &v, sizeof v, &ind);
        if (!Ok(rc)) break;
        if (ind == SQL_NULL_DATA) {
          *out = Variant(Null{});
        } else if (kind == Kind::kBool) {
          *out = Variant(v != 0);
        } else if (kind == Kind::kInt16 && v >= INT16_MIN && v <= INT16_MAX) {
          *out = Variant(static_cast<int16_t>(v));
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
          *out = Variant(static_cast<int32_t>(v));
        } else {
          *out = Variant(static_cast<double>(v));
        }
        return Status::OK();
      }
      case Kind::kDouble:
      case Kind::kNumeric: {
        double v = 0;
        rc = SQLGetData(h, c, SQL_C_DOUBLE, &v, sizeof v, &ind);
        if (!Ok(rc)) break;
        *out = ind == SQL_NULL_DATA ? Variant(Null{}) : Variant(v);
        return Status::OK();
      }
      case Kind::kDate: {
        SQL_TIMESTAMP_STRUCT ts{};
        rc = SQLGetData(h, c, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind);
        if (!Ok(rc)) break;
        if (ind == SQL_NULL_DATA) {
          *out = Variant(Null{});
        } else {
          *out = Variant(DateFromCivil(CivilTime{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second}));
        }
        return Status::OK();
      }
      case Kind::kNone:
      case Kind::kWideText:
      case Kind::kText: {
        WString text;
        SQLWCHAR buf[512];
        for (;;) {
          rc = SQLGetData(h, c, SQL_C_WCHAR, buf, sizeof buf, &ind);
          if (rc == SQL_NO_DATA) break;
          if (!Ok(rc)) return Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
          if (ind == SQL_NULL_DATA) {
            *out = Variant(Null{});
            return Status::OK();
          }
          const size_t room = sizeof buf / sizeof(SQLWCHAR) - 1;
          const size_t got = ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(SQLWCHAR) > room
                                 ? room
                                 : static_cast<size_t>(ind) / sizeof(SQLWCHAR);
          text.append(buf, got);
          if (rc == SQL_SUCCESS) break;  // SUCCESS_WITH_INFO: truncated, more to come
        }
        *out = Variant(Narrow(text.data(), text.size()));
        return Status::OK();
      }
    }
    return Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
  }

  // Runs a statement of our own (catalog handling); `exists` receives
  // whether it returned a row.
  Status Direct(const std::string& sql, bool* exists, DbErrors* errors) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h))) return Diagnose(SQL_HANDLE_DBC, dbc_, kErrCommand, errors);
    WString wide = Widen(sql);
    SQLRETURN rc = SQLExecDirectW(h, wide.data(), static_cast<SQLINTEGER>(wide.size()));
    Status s;
    if (!Ok(rc) && rc != SQL_NO_DATA) {
      s = Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
    } else if (exists) {
      rc = SQLFetch(h);
      *exists = Ok(rc);
      if (!Ok(rc) && rc != SQL_NO_DATA) s = Diagnose(SQL_HANDLE_STMT, h, kErrCommand, errors);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return s;
  }

  // Every diagnostic record, in order; the Status carries the first.
  Status Diagnose(SQLSMALLINT type, SQLHANDLE handle, int32_t number, DbErrors* errors) {
    const size_t before = errors->size();
    for (SQLSMALLINT i = 1;; ++i) {
      SQLWCHAR state[6] = {};
      SQLWCHAR msg[2048] = {};
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, msg, 2047, &len);
      if (!Ok(rc)) break;
      const std::string sql_state = Narrow(state, 5);
      std::string text = Narrow(msg, std::min<size_t>(static_cast<size_t>(len), 2047));
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == ';')) text.pop_back();
      int32_t n = native;
      if (flavor_ == Flavor::kPostgres) {
        const int mapped = pg::NativeFor(sql_state);
        if (mapped) n = mapped;
      }
      errors->push_back(DbError{number, text, n, sql_state});
      lost_ = lost_ || sql_state.rfind("08", 0) == 0;  // connection exceptions
    }
    if (errors->size() == before) {
      errors->push_back(DbError{number, "The ODBC driver reported an error without a diagnostic", 0, ""});
    }
    return Status::Database((*errors)[before].description);
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  bool lost_ = false;
  const bool free_tds_;
  int connect_seconds_ = 10;
  Flavor flavor_ = Flavor::kTsql;
  std::string catalog_;
};

}  // namespace

std::unique_ptr<Backend> NewOdbcBackend(bool free_tds) { return std::make_unique<OdbcBackend>(free_tds); }

}  // namespace tarn::db
