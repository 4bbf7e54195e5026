// The embedded backend. The data directory stands for the server and each
// catalog is one file in it, so every catalog gets its own sqlite3 handle;
// USE only switches handles. ValeSystem is attached to every other catalog's
// handle, and is the main schema's own name in its own handle, so that
// "ValeSystem.T" (from ValeSystem..T) works from anywhere.
#include <sqlite3.h>
#include <sys/stat.h>

#include <charconv>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "db/backend.h"
#include "db/sqlite/date_collation.h"
#include "db/sqlite/unicase.h"
#include "platform/text.h"

namespace tarn::db {
namespace {

constexpr char kSystemCatalog[] = "valesystem";
constexpr char kSystemSchemaName[] = "ValeSystem";  // must outlive the handle
constexpr char kMaster[] = "master";                // no catalog: a scratch database
constexpr int kDefaultBusyMillis = 5000;

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file: URI, so that a missing file is an error (mode=rw) instead of a new
// empty database.
std::string FileUri(const std::string& path, bool create) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-') {
      uri += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      uri += buf;
    }
  }
  return uri + (create ? "?mode=rwc" : "?mode=rw");
}

// SQLite's codes in the numbers the component tests, where SQL Server has
// one; the database's own text is kept.
int32_t NativeFor(int extended, const std::string& msg) {
  const int primary = extended & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return kNativeDeadlock;
  if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE) return kNativeDuplicateKey;
  if (msg.rfind("no such table", 0) == 0) return kNativeNoObject;
  if (msg.rfind("no such column", 0) == 0) return kNativeNoColumn;
  if (msg.find("syntax error") != std::string::npos) return kNativeSyntax;
  return extended;
}

using Kind = ValueKind;

Kind KindOfDecl(const char* decl) {
  if (!decl) return Kind::kNone;
  std::string d = AsciiLower(decl);
  if (d == "bit" || d == "boolean") return Kind::kBool;
  if (d == "smallint" || d == "tinyint") return Kind::kInt16;
  if (d.find("int") != std::string::npos) return Kind::kInt32;
  if (d.rfind("numeric", 0) == 0 || d.rfind("decimal", 0) == 0 || d.rfind("money", 0) == 0) return Kind::kNumeric;
  if (d.find("float") != std::string::npos || d.find("real") != std::string::npos ||
      d.find("double") != std::string::npos) {
    return Kind::kDouble;
  }
  if (d.find("date") != std::string::npos || d.find("time") != std::string::npos) return Kind::kDate;
  if (d.rfind("nvarchar", 0) == 0 || d.rfind("nchar", 0) == 0 || d.rfind("ntext", 0) == 0) return Kind::kWideText;
  return Kind::kText;
}

// A column without a declared type (an expression) takes the type of what
// it holds.
int32_t AdType(Kind k, int storage) {
  if (k != Kind::kNone) return AdTypeOf(k);
  if (storage == SQLITE_INTEGER) return adtype::kInteger;
  if (storage == SQLITE_FLOAT) return adtype::kDouble;
  return adtype::kVarChar;
}

Variant IntegerValue(sqlite3_int64 v) {
  if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
  return Variant(static_cast<double>(v));
}

// Cells are read through the column's value, once: each sqlite3_column_*
// call checks the statement and the allocator again, which cost more than
// the rest of reading a row.
std::string ValueText(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

Variant CellValue(sqlite3_stmt* st, int i, Kind kind) {
  sqlite3_value* v = sqlite3_column_value(st, i);
  const int storage = sqlite3_value_type(v);
  if (storage == SQLITE_NULL) return Variant(Null{});
  switch (kind) {
    case Kind::kBool:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return Variant(sqlite3_value_double(v) != 0);
      break;
    case Kind::kInt16:
      if (storage == SQLITE_INTEGER) {
        sqlite3_int64 n = sqlite3_value_int64(v);
        if (n >= INT16_MIN && n <= INT16_MAX) return Variant(static_cast<int16_t>(n));
        return IntegerValue(n);
      }
      break;
    case Kind::kInt32:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_value_int64(v));
      break;
    case Kind::kDouble:
    case Kind::kNumeric:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return Variant(sqlite3_value_double(v));
      break;
    case Kind::kDate:
      if (storage == SQLITE_TEXT) {
        std::string text = ValueText(v);
        Date d;
        if (ParseDateText(text, &d)) return Variant(d);
        return Variant(std::move(text));
      }
      break;
    case Kind::kText:
    case Kind::kWideText: return Variant(ValueText(v));
    case Kind::kNone: break;
  }
  if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_value_int64(v));
  if (storage == SQLITE_FLOAT) return Variant(sqlite3_value_double(v));
  return Variant(ValueText(v));
}

// Dates travel as text in the form the columns hold, so that text
// comparisons order them: a day alone as YYYY-MM-DD, else with the time.
std::string DateText(Date d) { return FormatDayOrDateTime(d); }

class SqliteStatement : public PreparedStatement {
 public:
  SqliteStatement(sqlite3_stmt* st, bool single_row) : st_(st), single_row_(single_row && sqlite3_stmt_readonly(st)) {
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) kinds_.push_back(KindOfDecl(sqlite3_column_decltype(st, i)));
  }
  ~SqliteStatement() override { sqlite3_finalize(st_); }

  sqlite3_stmt* st_;
  std::vector<Kind> kinds_;
  std::shared_ptr<const Columns> columns_;
  bool columns_typed_ = false;  // types of untyped columns seen in a row
  // A read of one row at most: the reset after it ends the statement as
  // the step to its end would, at less cost.
  const bool single_row_;
};

class SqliteBackend : public Backend {
 public:
  ~SqliteBackend() override { Close(); }

  Status Connect(const ConnectionString& cs, const std::string&, const std::string&, DbErrors* errors) override {
    dir_ = cs.Get("Data Source");
    if (dir_.empty())
      return Fail(errors, kErrOpen, "Data Source (the data directory) is missing from the connection string");
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    if (!IsDirectory(dir_)) {
      return Fail(errors, kErrOpen, "Data Source directory '" + dir_ + "' does not exist or is not a directory", 0);
    }
    if (cs.Has("Busy Timeout")) {
      const std::string v = cs.Get("Busy Timeout");
      long long ms = -1;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
      // SQLite takes an int: a larger number must not wrap to "no waiting".
      if (v.empty() || ec != std::errc() || end != v.data() + v.size() || ms < 0 || ms > INT_MAX) {
        return Fail(errors, kErrOpen, "Busy Timeout must be a number of milliseconds from 0 to 2147483647");
      }
      busy_millis_ = static_cast<int>(ms);
    }
    std::string catalog = cs.Get("Initial Catalog");
    if (catalog.empty()) catalog = kMaster;
    if (!IsValidCatalogName(catalog)) return Fail(errors, kErrOpen, "Invalid catalog name '" + catalog + "'");
    Status s = UseCatalog(catalog, errors);
    if (!s.ok() && errors->size() == 1 && (*errors)[0].native_error == kNativeNoDatabase) {
      // Opening with a missing catalog is a failed login, as on a server.
      (*errors)[0] = DbError{kErrOpen,
                             "Cannot open database \"" + catalog + "\" requested by the login. The login failed. (" +
                                 Path(catalog) + ": no such file)",
                             kNativeCannotOpenDatabase, "42000"};
      s = Status::Database((*errors)[0].description);
    }
    return s;
  }

  Dialect dialect() const override { return Dialect{Flavor::kSqlite, false}; }

  Status UseCatalog(const std::string& name, DbErrors* errors) override {
    std::string key = AsciiLower(name);
    auto it = sessions_.find(key);
    if (it == sessions_.end()) {
      if (key != kMaster && !FileExists(Path(key))) {
        return Fail(errors, kErrCommand,
                    "Database '" + name + "' does not exist. Make sure that the name is entered correctly.",
                    kNativeNoDatabase, "42000");
      }
      sqlite3* db = nullptr;
      Status s = OpenHandle(key, false, &db, errors);
      if (!s.ok()) return s;
      it = sessions_.emplace(key, db).first;
    }
    current_ = it->second;
    scope_ = key;
    return Status::OK();
  }

  Status CreateCatalog(const std::string& name, DbErrors* errors) override {
    std::string key = AsciiLower(name);
    if (key == kMaster || FileExists(Path(key))) {
      return Fail(errors, kErrCommand, "Database '" + name + "' already exists. Choose a different database name.",
                  1801, "42000");
    }
    sqlite3* db = nullptr;
    Status s = OpenHandle(key, true, &db, errors);
    if (!s.ok()) return s;
    sessions_.emplace(key, db);
    if (key == kSystemCatalog) {
      for (auto& [k, other] : sessions_) {
        if (k != kSystemCatalog) AttachSystem(other);
      }
    }
    return Status::OK();
  }

  std::string CacheScope() const override { return scope_; }

  // Each file it has open is still the file at its path: one removed or
  // replaced (a data directory made again) must be opened afresh.
  bool Reusable() const override {
    for (const auto& [path, id] : files_) {
      struct stat st;
      if (stat(path.c_str(), &st) != 0 || st.st_dev != id.first || st.st_ino != id.second) return false;
    }
    return true;
  }

  Status Prepare(const Translation& t, std::unique_ptr<PreparedStatement>* out, DbErrors* errors) override {
    const std::string& sql = t.sql;
    if (!current_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.", 0);
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    int rc =
        sqlite3_prepare_v3(current_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, &tail);
    if (rc != SQLITE_OK) return Error(current_, errors);
    if (!st) return Fail(errors, kErrCommand, "Command text was not set for the command object.", 0);
    for (; tail && *tail; ++tail) {
      if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') {
        sqlite3_finalize(st);
        return Fail(errors, kErrCommand, "Only one statement at a time is supported", kNativeSyntax);
      }
    }
    *out = std::make_unique<SqliteStatement>(st, t.single_row);
    return Status::OK();
  }

  Status Run(PreparedStatement* p, std::span<const Variant> values, ResultSet* out, int64_t* rows_affected,
             DbErrors* errors) override {
    auto* ps = static_cast<SqliteStatement*>(p);
    sqlite3_stmt* st = ps->st_;
    sqlite3* db = sqlite3_db_handle(st);
    // Strings are bound from the values themselves, which outlive the step;
    // a date's text is made here and kept in `dates` until the reset.
    std::vector<std::string> dates;
    size_t date_count = 0;
    for (const Variant& v : values) date_count += v.type() == Variant::Type::kDate;
    dates.reserve(date_count);
    for (size_t i = 0; i < values.size(); ++i) {
      const int idx = static_cast<int>(i) + 1;
      const Variant& v = values[i];
      int rc = SQLITE_OK;
      switch (v.type()) {
        case Variant::Type::kEmpty:
        case Variant::Type::kNull: rc = sqlite3_bind_null(st, idx); break;
        case Variant::Type::kInt16:
        case Variant::Type::kInt32: rc = sqlite3_bind_int(st, idx, v.ToInt32()); break;
        case Variant::Type::kBool: rc = sqlite3_bind_int(st, idx, v.ToBool() ? 1 : 0); break;
        case Variant::Type::kDouble: rc = sqlite3_bind_double(st, idx, v.ToDouble()); break;
        case Variant::Type::kString: {
          const std::string& text = *v.StringIf();
          rc = sqlite3_bind_text(st, idx, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
          break;
        }
        case Variant::Type::kDate:
          // `dates` was reserved: the pointers stay valid until the reset.
          dates.push_back(DateText(v.ToDate()));
          rc = sqlite3_bind_text(st, idx, dates.back().data(), static_cast<int>(dates.back().size()), SQLITE_STATIC);
          break;
        default:
          sqlite3_clear_bindings(st);
          out->columns = nullptr;
          return Fail(errors, kErrCommand, "Type mismatch: a parameter value cannot be an object or an array", 0);
      }
      if (rc != SQLITE_OK) {
        sqlite3_clear_bindings(st);
        out->columns = nullptr;
        return Error(db, errors);
      }
    }

    const int width = sqlite3_column_count(st);
    out->cells.clear();
    int rc;
    out->cells.reserve(static_cast<size_t>(width));  // most queries here return one row
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      if (!ps->columns_typed_) SetColumns(ps, true);
      for (int i = 0; i < width; ++i) out->cells.push_back(CellValue(st, i, ps->kinds_[i]));
      if (ps->single_row_) {
        rc = SQLITE_DONE;
        break;
      }
    }
    Status s;
    if (rc != SQLITE_DONE) s = Error(db, errors);
    // Ends the read snapshot: later reads see others' commits. The bindings
    // stay: every run binds each placeholder again before it steps.
    sqlite3_reset(st);
    if (!s.ok()) {
      out->cells.clear();
      out->columns = nullptr;
      return s;
    }
    if (width > 0) {
      if (!ps->columns_) SetColumns(ps, false);
      // A result reused for the same statement keeps its columns: no count
      // to move.
      if (out->columns != ps->columns_) out->columns = ps->columns_;
    } else {
      out->columns = nullptr;
    }
    if (rows_affected) *rows_affected = sqlite3_stmt_readonly(st) ? -1 : sqlite3_changes64(db);
    return Status::OK();
  }

  Status Begin(DbErrors* errors) override { return Exec("BEGIN IMMEDIATE", errors); }
  Status Commit(DbErrors* errors) override { return Exec("COMMIT", errors); }
  Status Rollback(DbErrors* errors) override { return Exec("ROLLBACK", errors); }

  void Close() override {
    for (auto& [key, db] : sessions_) sqlite3_close_v2(db);  // statements finalize later
    sessions_.clear();
    current_ = nullptr;
  }

 private:
  std::string Path(const std::string& catalog) const { return dir_ + "/" + AsciiLower(catalog) + ".db"; }

  void SetColumns(SqliteStatement* ps, bool from_row) {
    auto cols = std::make_shared<Columns>();
    const int width = sqlite3_column_count(ps->st_);
    for (int i = 0; i < width; ++i) {
      const char* name = sqlite3_column_name(ps->st_, i);
      cols->push_back(
          Column{name ? name : "", AdType(ps->kinds_[i], from_row ? sqlite3_column_type(ps->st_, i) : SQLITE_TEXT)});
    }
    ps->columns_ = std::move(cols);
    ps->columns_typed_ = from_row;
  }

  Status Error(sqlite3* db, DbErrors* errors) {
    const int ext = sqlite3_extended_errcode(db);
    std::string msg = sqlite3_errmsg(db);
    return Fail(errors, kErrCommand, msg, NativeFor(ext, msg), "HY000");
  }

  Status Exec(const char* sql, DbErrors* errors) {
    if (!current_) return Fail(errors, kErrCommand, "Operation is not allowed when the object is closed.", 0);
    if (sqlite3_exec(current_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return Error(current_, errors);
    return Status::OK();
  }

  void AttachSystem(sqlite3* db) {
    if (!FileExists(Path(kSystemCatalog))) return;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "ATTACH DATABASE ? AS ValeSystem", -1, &st, nullptr) != SQLITE_OK) return;
    std::string uri = FileUri(Path(kSystemCatalog), false);
    sqlite3_bind_text(st, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_finalize(st);
  }

  Status OpenHandle(const std::string& key, bool create, sqlite3** out, DbErrors* errors) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const std::string name = key == kMaster ? std::string(":memory:") : FileUri(Path(key), create);
    int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close_v2(db);
      return Fail(errors, kErrOpen, msg + ": " + Path(key), NativeFor(rc, msg));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busy_millis_);
    if (key == kSystemCatalog) sqlite3_db_config(db, SQLITE_DBCONFIG_MAINDBNAME, kSystemSchemaName);
    rc = sqlite::RegisterUnicase(db);
    if (rc == SQLITE_OK) rc = sqlite::RegisterDateCollation(db);
    if (rc == SQLITE_OK && key != kMaster) {
      rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    }
    // The rules' DISTINCT and IN (SELECT ...) build small temporary b-trees
    // at every run: in memory they cost no temporary file.
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      Status s = Error(db, errors);
      sqlite3_close_v2(db);
      return s;
    }
    if (key != kSystemCatalog) AttachSystem(db);
    Remember(Path(key));
    if (key != kSystemCatalog) Remember(Path(kSystemCatalog));  // attached, when it exists
    *out = db;
    return Status::OK();
  }

  void Remember(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) files_[path] = {st.st_dev, st.st_ino};
  }

  std::string dir_;
  std::map<std::string, std::pair<dev_t, ino_t>> files_;  // what the handles opened
  int busy_millis_ = kDefaultBusyMillis;
  std::map<std::string, sqlite3*> sessions_;  // by lower-cased catalog
  sqlite3* current_ = nullptr;
  std::string scope_;
};

}  // namespace

std::unique_ptr<Backend> NewSqliteBackend() { return std::make_unique<SqliteBackend>(); }

}  // namespace tarn::db
