// The connection proper: picks a backend by the Provider key, translates each
// template once and keeps its prepared statement, runs it with the bound
// values, and keeps the errors of the last failure.
#include "db/connection.h"

#include <cctype>
#include <unordered_map>

#include "db/backend.h"
#include "db/connection_string.h"
#include "db/fault.h"
#include "platform/env.h"
#include "platform/text.h"

namespace tarn::db {

// ADO's own errors, by the numbers an automation caller sees.
constexpr int32_t kAdoObjectClosed = 3704;
constexpr int32_t kAdoObjectOpen = 3705;
constexpr int32_t kAdoProviderNotFound = 3706;

Status Fail(DbErrors* errors, int32_t number, std::string description, int32_t native, std::string sql_state) {
  errors->push_back(DbError{number, description, native, std::move(sql_state)});
  return Status::Database(std::move(description));
}

namespace {

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

struct CacheEntry {
  Translation::Kind kind = Translation::Kind::kStatement;
  size_t params = 0;
  std::string catalog;
  std::unique_ptr<PreparedStatement> prepared;
};
using Cache = std::unordered_map<std::string, CacheEntry, StringHash, std::equal_to<>>;

// A provider the registry maps to one of our backends, as an ODBC data
// source name maps a name to a server: the suite's connection strings name
// SQL Server's providers, and an alias lets the same texts reach SQLite or
// PostgreSQL. "" when there is none.
std::string AliasFor(std::string_view provider) {
  const std::shared_ptr<const RegistryStore> registry = Env::Current().Registry();
  for (const char* key : {kProviderAliasKey, kProviderAliasKey64}) {
    if (std::optional<std::string> target = registry->GetString(key, provider)) return AsciiLower(*target);
  }
  return std::string();
}

// Which backend serves a Provider; "" when none does.
std::string BackendFor(const ConnectionString& cs) {
  std::string p = AsciiLower(cs.Get("Provider"));
  if (!p.empty()) {
    if (std::string alias = AliasFor(p); !alias.empty()) p = alias;
  }
  if (p == "sqlite") return "sqlite";
  if (p == "odbc") return "odbc";
  if (p == "postgresql" || p == "postgres") return "postgres";
  if (p == "msdasql" || p == "msdasql.1" || p == "sqloledb" || p == "sqloledb.1" || p.rfind("sqlncli", 0) == 0 ||
      p.rfind("msoledbsql", 0) == 0) {
    return "odbc";
  }
  if (p.empty() && (cs.HasExact("Driver") || cs.HasExact("DSN"))) return "odbc";
  return "";
}

class ConnectionImpl : public Connection {
 public:
  ~ConnectionImpl() override { Close(); }

  Status Open(const std::string& connection_string, const std::string& user, const std::string& password) override {
    if (backend_) {
      return Record(Fail(&scratch_, kAdoObjectOpen, "Operation is not allowed when the object is open."));
    }
    db::ConnectionString cs;
    Status s = db::ConnectionString::Parse(connection_string, &cs);
    if (!s.ok()) return Record(Fail(&scratch_, kErrOpen, s.message()));
    const std::string kind = BackendFor(cs);
    std::unique_ptr<Backend> backend;
    if (kind == "sqlite") backend = NewSqliteBackend();
    if (kind == "postgres") backend = NewPostgresBackend();
    if (kind == "odbc") backend = NewOdbcBackend();
    if (!backend) {
      const std::string p = cs.Get("Provider");
      return Record(Fail(&scratch_, kAdoProviderNotFound,
                         p.empty() ? "No Provider in the connection string"
                                   : "Provider cannot be found. It may not be properly installed. ('" + p + "')"));
    }
    s = backend->Connect(cs, user, password, &scratch_);
    if (!s.ok()) {
      backend->Close();
      return Record(s);
    }
    backend_ = std::move(backend);
    dialect_ = backend_->dialect();
    connection_string_ = connection_string;
    if (!user.empty() && !cs.Has("User ID")) connection_string_ += ";User ID=" + user;
    if (!password.empty() && !cs.Has("Password")) connection_string_ += ";Password=" + password;
    catalog_ = cs.GetExact("Initial Catalog");
    if (catalog_.empty() && kind != "odbc") catalog_ = cs.Get("Initial Catalog");
    SelectCache();
    return Status::OK();
  }

  Status Execute(const Statement& statement, int64_t* rows_affected) override {
    ResultSet ignored;
    return Query(statement, &ignored, rows_affected);
  }

  Status Query(const Statement& statement, ResultSet* out, int64_t* rows_affected) override {
    if (rows_affected) *rows_affected = -1;
    if (!backend_)
      return Record(Fail(&scratch_, kAdoObjectClosed, "Operation is not allowed when the object is closed."));
    if (!statement.bind_error().empty()) {
      return Record(Fail(&scratch_, kErrCommand, statement.bind_error(), kNativeSyntax, "42000"));
    }
    if (std::optional<DbError> fault = CheckFault(statement)) {
      return Record(Fail(&scratch_, fault->number, fault->description, fault->native_error, fault->sql_state));
    }
    const std::vector<Variant>& values = statement.values();
    bool has_list = false;
    for (const Variant& v : values) has_list |= v.IsArray();

    CacheEntry* entry = nullptr;
    std::vector<Variant> flat;
    std::string list_key;
    std::vector<int> sizes;
    if (has_list) {
      list_key = std::string(statement.sql());
      list_key += '\0';
      for (const Variant& v : values) {
        const int n = v.IsArray() ? static_cast<int>(v.ToArray().items.size()) : -1;
        sizes.push_back(n);
        list_key += std::to_string(n) + ",";
        if (v.IsArray()) {
          for (const Variant& item : v.ToArray().items) flat.push_back(item);
        } else {
          flat.push_back(v);
        }
      }
      auto it = cache_->find(list_key);
      if (it != cache_->end()) entry = &it->second;
    } else {
      auto it = cache_->find(statement.sql());
      if (it != cache_->end()) entry = &it->second;
    }
    if (!entry) {
      if (!has_list) sizes.assign(values.size(), -1);
      Translation t;
      Status s = Translate(statement.sql(), dialect_, sizes, &t);
      if (!s.ok()) return Record(Fail(&scratch_, kErrCommand, s.message(), kNativeSyntax, "42000"));
      CacheEntry e;
      e.kind = t.kind;
      e.params = t.national.size();
      e.catalog = t.catalog;
      if (t.kind == Translation::Kind::kStatement) {
        s = backend_->Prepare(t.sql, t.national, &e.prepared, &scratch_);
        if (!s.ok()) return Record(s);
      }
      std::string key = has_list ? std::move(list_key) : std::string(statement.sql());
      entry = &cache_->emplace(std::move(key), std::move(e)).first->second;
    }

    out->columns = nullptr;
    out->cells.clear();
    // The same template must come with the same number of values each time.
    const size_t given = has_list ? flat.size() : values.size();
    if (given != entry->params) {
      return Record(Fail(&scratch_, kErrCommand,
                         "Statement has " + std::to_string(entry->params) + " placeholders but " +
                             std::to_string(given) + " values were bound",
                         kNativeSyntax, "07002"));
    }
    switch (entry->kind) {
      case Translation::Kind::kUse: {
        // Already there: no round trip (the login component says USE before
        // every registration).
        if (EqualsNoCase(entry->catalog, catalog_)) return Status::OK();
        std::string catalog = entry->catalog;  // the entry dies with a cache switch
        Status s = backend_->UseCatalog(catalog, &scratch_);
        if (!s.ok()) return Record(s);
        catalog_ = catalog;
        SelectCache();
        return Status::OK();
      }
      case Translation::Kind::kCreateDatabase:
        return Record(backend_->CreateCatalog(entry->catalog, &scratch_));
      case Translation::Kind::kStatement:
        break;
    }
    return Record(backend_->Run(entry->prepared.get(), has_list ? flat : values, out, rows_affected, &scratch_));
  }

  Status BeginTrans() override { return backend_ ? Record(backend_->Begin(&scratch_)) : Closed(); }
  Status CommitTrans() override { return backend_ ? Record(backend_->Commit(&scratch_)) : Closed(); }
  Status RollbackTrans() override { return backend_ ? Record(backend_->Rollback(&scratch_)) : Closed(); }

  ObjectState State() const override { return backend_ ? ObjectState::kOpen : ObjectState::kClosed; }
  Flavor flavor() const override { return dialect_.flavor; }
  std::string CurrentCatalog() const override { return catalog_; }
  std::string ConnectionString() const override { return connection_string_; }
  const std::vector<DbError>& Errors() const override { return errors_; }
  void ClearErrors() override { errors_.clear(); }

  void Close() override {
    caches_.clear();  // prepared statements go before their handles
    cache_ = nullptr;
    if (backend_) backend_->Close();
    backend_.reset();
  }

 private:
  // A failure replaces the error collection; success leaves it alone, as
  // ADO's Errors collection does.
  Status Record(Status s) {
    if (!s.ok()) {
      errors_.swap(scratch_);
      if (errors_.empty()) errors_.push_back(DbError{kErrCommand, s.message(), 0, ""});
    }
    scratch_.clear();
    return s;
  }

  Status Closed() {
    return Record(Fail(&scratch_, kAdoObjectClosed, "Operation is not allowed when the object is closed."));
  }

  void SelectCache() { cache_ = &caches_[backend_->CacheScope()]; }

  std::unique_ptr<Backend> backend_;
  Dialect dialect_;
  std::string connection_string_;
  std::string catalog_;
  std::vector<DbError> errors_;
  std::vector<DbError> scratch_;
  std::unordered_map<std::string, Cache> caches_;  // by the backend's cache scope
  Cache* cache_ = nullptr;
};

}  // namespace

std::shared_ptr<Connection> Connection::Create() { return std::make_shared<ConnectionImpl>(); }

}  // namespace tarn::db
