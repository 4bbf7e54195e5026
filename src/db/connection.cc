// The connection proper: picks a backend by the Provider key, translates each
// template once and keeps its prepared statement, runs it with the bound
// values, and keeps the errors of the last failure. A server that restarts
// does not end it: the session is reopened as the server comes back.
#include "db/connection.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <thread>
#include <unordered_map>

#include "db/backend.h"
#include "db/connection_string.h"
#include "db/fault.h"
#include "db/log.h"
#include "db/session_pool.h"
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
  bool reads = false;  // IsRead of the template, asked once
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

std::unique_ptr<Backend> NewBackend(Route route) {
  switch (route) {
    case Route::kSqlite: return NewSqliteBackend();
    case Route::kPostgres: return NewPostgresBackend();
    case Route::kOdbcDriver:
    case Route::kFreeTds: return NewOdbcBackend(route == Route::kFreeTds);
    case Route::kNone: break;
  }
  return nullptr;
}

// A statement that only reads, so that running it a second time cannot do
// twice what a first run that met a lost connection may have done: one
// SELECT, without INTO. Anything unclear counts as a write.
bool IsRead(std::string_view sql) {
  sql = TrimSpace(sql);
  if (!sql.empty() && sql.back() == ';') sql = TrimSpace(sql.substr(0, sql.size() - 1));
  if (!StartsWithNoCase(sql, "SELECT") || sql.find(';') != std::string_view::npos) return false;
  size_t i = 0;
  while (i < sql.size()) {
    while (i < sql.size() && !std::isalnum(static_cast<unsigned char>(sql[i])) && sql[i] != '_') ++i;
    size_t j = i;
    while (j < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '_')) ++j;
    if (EqualsNoCase(sql.substr(i, j - i), "INTO")) return false;
    i = j;
  }
  return true;
}

// How a connection that lost its server reopens itself: growing pauses
// between attempts, within a budget that keeps any one call from holding
// its thread for long when the server stays away.
constexpr std::chrono::milliseconds kFirstPause{100};
constexpr std::chrono::milliseconds kLongestPause{1000};
constexpr std::chrono::milliseconds kReopenBudget{5000};

// What an embedded connection leaves for the next Open of its string: the
// session and the statements prepared on it.
struct Session : IdleSession {
  Session(std::unique_ptr<Backend> b, std::unordered_map<std::string, Cache> c)
      : backend(std::move(b)), caches(std::move(c)) {}
  ~Session() override {
    caches.clear();  // prepared statements go before their handles
    if (backend) backend->Close();
  }
  bool StillValid() const override { return backend->Reusable(); }

  std::unique_ptr<Backend> backend;
  std::unordered_map<std::string, Cache> caches;
};

}  // namespace

Route RouteOf(const ConnectionString& cs) {
  std::string p = AsciiLower(cs.Get("Provider"));
  if (p.empty()) return cs.HasExact("Driver") || cs.HasExact("DSN") ? Route::kOdbcDriver : Route::kNone;
  if (std::string alias = AliasFor(p); !alias.empty()) {
    if (alias == "odbc") return Route::kOdbcDriver;  // the SQL Server providers too: the DSN says where
    p = alias;
  }
  if (p == "sqlite") return Route::kSqlite;
  if (p == "postgresql" || p == "postgres") return Route::kPostgres;
  if (p == "odbc" || p == "msdasql" || p == "msdasql.1") return Route::kOdbcDriver;
  if (p == "sqloledb" || p == "sqloledb.1" || p.rfind("sqlncli", 0) == 0 || p.rfind("msoledbsql", 0) == 0) {
    return Route::kFreeTds;
  }
  return Route::kNone;
}

namespace {

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
    const Route route = RouteOf(cs);
    // Only embedded sessions are kept: a server's carries state of its own
    // (settings, locks) that the next owner must not inherit.
    pool_key_.clear();
    if (route == Route::kSqlite) {
      pool_key_ = connection_string;
      pool_key_ += '\0' + user + '\0' + password;
    }
    std::unique_ptr<IdleSession> idle = pool_key_.empty() ? nullptr : TakeIdleSession(pool_key_);
    if (idle) {
      auto& session = static_cast<Session&>(*idle);
      backend_ = std::move(session.backend);
      caches_ = std::move(session.caches);
      ForgetFastSlots();
    } else {
      std::unique_ptr<Backend> backend = NewBackend(route);
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
    }
    dialect_ = backend_->dialect();
    connection_string_ = connection_string;
    // Quoted, so that a ';' in them reads back as theirs, not as items.
    if (!user.empty() && !cs.Has("User ID")) connection_string_ += ";User ID=" + QuoteValue(user);
    if (!password.empty() && !cs.Has("Password")) connection_string_ += ";Password=" + QuoteValue(password);
    catalog_ = cs.GetExact("Initial Catalog");
    // A driver's own keys are its own: "Database" there is no catalog.
    if (catalog_.empty() && route != Route::kOdbcDriver) catalog_ = cs.Get("Initial Catalog");
    opened_catalog_ = catalog_;
    parsed_ = std::move(cs);
    route_ = route;
    user_ = user;
    password_ = password;
    where_ = parsed_.Get("Data Source");
    if (!where_.empty() && parsed_.HasExact("Port")) where_ += ":" + parsed_.GetExact("Port");  // ODBC drivers'
    if (where_.empty()) where_ = parsed_.Masked();
    SelectCache();
    return Status::OK();
  }

  Status Execute(const Statement& statement, int64_t* rows_affected) override {
    ResultSet ignored;
    return Query(statement, &ignored, rows_affected);
  }

  Status Query(const Statement& statement, ResultSet* out, int64_t* rows_affected) override {
    if (rows_affected) *rows_affected = -1;
    if (!backend_) return Closed();
    if (!statement.bind_error().empty()) {
      return Record(Fail(&scratch_, kErrCommand, statement.bind_error(), kNativeSyntax, "42000"));
    }
    if (std::optional<DbError> fault = CheckFault(statement)) {
      return Record(Fail(&scratch_, fault->number, fault->description, fault->native_error, fault->sql_state));
    }
    Status s = Ready();
    if (!s.ok()) return Record(s);
    bool repeatable = true;
    s = RunOnce(statement, out, rows_affected, &repeatable);
    if (s.ok() || !backend_->Lost()) return Record(s);
    // Lost while the statement ran. Outside a transaction, one that cannot
    // have taken effect runs again on a reopened session; anything else
    // reports the loss, and the next call reopens.
    const bool again = !in_trans_ && repeatable;
    Lose(s.message());
    if (!again) return Record(s);
    s = Reopen();
    if (s.ok()) s = RunOnce(statement, out, rows_affected, &repeatable);
    if (!s.ok() && !lost_ && backend_->Lost()) Lose(s.message());
    return Record(s);
  }

  bool SendsTogether() const override { return backend_ && backend_->Pipelines(); }

  std::vector<Status> QueryEach(const std::vector<Statement>& statements, std::vector<ResultSet>* out,
                                bool as_one) override {
    if (!SendsTogether() || statements.size() < 2) return Connection::QueryEach(statements, out, as_one);
    const size_t n = statements.size();
    out->assign(n, ResultSet{});
    std::vector<Status> statuses(n);
    std::vector<DbErrors> errors(n);
    // Each statement is asked of the fault hook once, as Query asks it;
    // what cannot travel in the pipeline (a USE, a failed translation) is
    // answered here.
    std::vector<size_t> sent;
    std::vector<PreparedStatement*> prepared;
    std::vector<std::vector<Variant>> flats(n);
    std::vector<std::span<const Variant>> values;
    std::vector<bool> shares;
    bool last_read = false;  // whether the last statement sent only reads
    bool all_read = true;
    Status ready = Ready();
    for (size_t i = 0; i < n; ++i) {
      const Statement& st = statements[i];
      scratch_.clear();
      if (!ready.ok()) {
        statuses[i] = ready;
      } else if (as_one && i > 0 && (sent.empty() || sent.back() != i - 1)) {  // the one before failed
        statuses[i] = NotRun(&scratch_);
      } else if (!st.bind_error().empty()) {
        statuses[i] = Fail(&scratch_, kErrCommand, st.bind_error(), kNativeSyntax, "42000");
      } else if (std::optional<DbError> fault = CheckFault(st)) {
        statuses[i] = Fail(&scratch_, fault->number, fault->description, fault->native_error, fault->sql_state);
      } else {
        CacheEntry* entry = nullptr;
        bool has_list = false;
        statuses[i] = Resolve(st, &entry, &flats[i], &has_list);
        if (statuses[i].ok() && entry->kind != Translation::Kind::kStatement) {
          statuses[i] = Fail(&scratch_, kErrCommand, "USE and CREATE DATABASE run on their own", 0, "42000");
        }
        if (statuses[i].ok()) {
          // Reads that follow a read travel with it as one unit.
          shares.push_back(!sent.empty() && sent.back() + 1 == i && (as_one || (entry->reads && last_read)));
          sent.push_back(i);
          prepared.push_back(entry->prepared.get());
          last_read = entry->reads;
          values.push_back(has_list ? std::span<const Variant>(flats[i]) : st.values());
          all_read &= entry->reads;
        }
      }
      errors[i] = scratch_;
    }
    scratch_.clear();
    if (!sent.empty()) {
      std::vector<ResultSet> results(sent.size());
      std::vector<Status> ran(sent.size());
      std::vector<DbErrors> ran_errors(sent.size());
      backend_->RunMany(prepared, values, shares, &results, &ran, &ran_errors);
      if (backend_->Lost()) {
        // As for one statement: reads run again on a reopened session
        // outside a transaction; anything else reports the loss.
        std::string why;
        for (const Status& r : ran) {
          if (!r.ok()) {
            why = r.message();
            break;
          }
        }
        Lose(why.empty() ? "the session is gone" : why);
        if (!in_trans_ && all_read && Reopen().ok()) {
          scratch_.clear();
          return Connection::QueryEach(statements, out, as_one);
        }
      }
      for (size_t k = 0; k < sent.size(); ++k) {
        (*out)[sent[k]] = std::move(results[k]);
        statuses[sent[k]] = ran[k];
        errors[sent[k]] = std::move(ran_errors[k]);
      }
    }
    for (size_t i = 0; i < n; ++i) {
      if (statuses[i].ok()) continue;
      scratch_ = std::move(errors[i]);
      (void)Record(statuses[i]);
      break;
    }
    return statuses;
  }

  Status BeginTrans() override {
    if (!backend_) return Closed();
    trans_lost_ = false;
    Status s = Ready();
    if (s.ok()) s = backend_->Begin(&scratch_);
    if (!s.ok() && !lost_ && backend_->Lost()) {
      // Nothing had begun: begin again on a reopened session.
      Lose(s.message());
      s = Reopen();
      if (s.ok()) s = backend_->Begin(&scratch_);
      if (!s.ok() && !lost_ && backend_->Lost()) Lose(s.message());
    }
    in_trans_ = s.ok();
    return Record(s);
  }

  Status CommitTrans() override {
    if (!backend_) return Closed();
    if (trans_lost_) {
      trans_lost_ = false;
      return Record(TransactionLost());
    }
    Status s = Ready();
    if (s.ok()) {
      s = backend_->Commit(&scratch_);
      in_trans_ = false;
      // Whether a commit that met the loss took effect cannot be known;
      // it is reported, never repeated.
      if (!s.ok() && backend_->Lost()) Lose(s.message());
    }
    trans_lost_ = false;  // answered: the transaction is settled either way
    return Record(s);
  }

  // A session that is gone took its unfinished transaction with it: the
  // server rolled it back, so the rollback succeeds without asking.
  Status RollbackTrans() override {
    if (!backend_) return Closed();
    DbErrors why;
    if (!lost_ && !trans_lost_ && in_trans_ && !backend_->Alive(&why)) {
      in_trans_ = false;
      Lose(why.empty() ? "the session is gone" : why.front().description);
    }
    if (lost_ || trans_lost_) {
      in_trans_ = trans_lost_ = false;
      scratch_.clear();
      return Status::OK();
    }
    Status s = backend_->Rollback(&scratch_);
    in_trans_ = false;
    if (!s.ok() && backend_->Lost()) {
      Lose(s.message());
      scratch_.clear();
      return Status::OK();
    }
    return Record(s);
  }

  ObjectState State() const override { return backend_ ? ObjectState::kOpen : ObjectState::kClosed; }
  Flavor flavor() const override { return dialect_.flavor; }
  std::string CurrentCatalog() const override { return catalog_; }
  std::string ConnectionString() const override { return connection_string_; }
  const std::vector<DbError>& Errors() const override { return errors_; }
  void ClearErrors() override { errors_.clear(); }
  int64_t Reopens() const override { return reopens_; }

  // A clean embedded session, in the catalog it opened with, waits in the
  // pool for the next Open of the same string.
  void Close() override {
    cache_ = nullptr;
    if (backend_ && !pool_key_.empty() && !in_trans_ && !lost_ && !trans_lost_ &&
        EqualsNoCase(catalog_, opened_catalog_)) {
      KeepIdleSession(pool_key_, std::make_unique<Session>(std::move(backend_), std::move(caches_)));
    }
    caches_.clear();  // prepared statements go before their handles
    ForgetFastSlots();
    if (backend_) backend_->Close();
    backend_.reset();
    lost_ = in_trans_ = trans_lost_ = false;
  }

 private:
  // The cached form of a statement, translated and prepared now if new,
  // and its values with any in-list spread out (`flat`, used when
  // `*has_list`).
  Status Resolve(const Statement& statement, CacheEntry** out, std::vector<Variant>* flat, bool* has_list) {
    const std::span<const Variant> values = statement.values();
    *has_list = false;
    for (const Variant& v : values) *has_list |= v.IsArray();

    CacheEntry* entry = nullptr;
    std::string list_key;
    std::vector<int> sizes;
    if (*has_list) {
      list_key = std::string(statement.sql());
      list_key += '\0';
      for (const Variant& v : values) {
        const int n = v.IsArray() ? static_cast<int>(v.ToArray().items.size()) : -1;
        sizes.push_back(n);
        list_key += std::to_string(n) + ",";
        if (v.IsArray()) {
          for (const Variant& item : v.ToArray().items) flat->push_back(item);
        } else {
          flat->push_back(v);
        }
      }
      auto it = cache_->find(list_key);
      if (it != cache_->end()) entry = &it->second;
    } else {
      entry = FastFind(statement.sql());
    }
    if (!entry) {
      if (!*has_list) sizes.assign(values.size(), -1);
      Translation t;
      Status s = Translate(statement.sql(), dialect_, sizes, &t);
      if (!s.ok()) return Fail(&scratch_, kErrCommand, s.message(), kNativeSyntax, "42000");
      CacheEntry e;
      e.kind = t.kind;
      e.params = t.national.size();
      e.catalog = t.catalog;
      e.reads = IsRead(statement.sql());
      if (t.kind == Translation::Kind::kStatement) {
        s = backend_->Prepare(t, &e.prepared, &scratch_);
        if (!s.ok()) return s;
      }
      std::string key = *has_list ? std::move(list_key) : std::string(statement.sql());
      auto it = cache_->emplace(std::move(key), std::move(e)).first;
      entry = &it->second;
      if (!*has_list) Remember(statement.sql(), &*it);
    }
    // The same template must come with the same number of values each time.
    const size_t given = *has_list ? flat->size() : values.size();
    if (given != entry->params) {
      return Fail(&scratch_, kErrCommand,
                  "Statement has " + std::to_string(entry->params) + " placeholders but " + std::to_string(given) +
                      " values were bound",
                  kNativeSyntax, "07002");
    }
    *out = entry;
    return Status::OK();
  }

  // The statement once, on the session as it stands: its prepared form
  // from the cache (prepared now if new), then the run. `repeatable` turns
  // false once something that may write has reached the server.
  Status RunOnce(const Statement& statement, ResultSet* out, int64_t* rows_affected, bool* repeatable) {
    out->cells.clear();
    CacheEntry* entry = nullptr;
    std::vector<Variant> flat;
    bool has_list = false;
    Status s = Resolve(statement, &entry, &flat, &has_list);
    // The backend sets the columns of what it runs; nothing else has any.
    if (!s.ok() || entry->kind != Translation::Kind::kStatement) out->columns = nullptr;
    if (!s.ok()) return s;
    switch (entry->kind) {
      case Translation::Kind::kUse: {
        // Already there: no round trip (the login component says USE before
        // every registration).
        if (EqualsNoCase(entry->catalog, catalog_)) return Status::OK();
        std::string catalog = entry->catalog;  // the entry dies with a cache switch
        s = backend_->UseCatalog(catalog, &scratch_);
        if (!s.ok()) return s;
        catalog_ = catalog;
        SelectCache();
        return Status::OK();
      }
      case Translation::Kind::kCreateDatabase:
        *repeatable = false;
        return backend_->CreateCatalog(entry->catalog, &scratch_);
      case Translation::Kind::kStatement: break;
    }
    *repeatable = entry->reads;
    return backend_->Run(entry->prepared.get(), has_list ? std::span<const Variant>(flat) : statement.values(), out,
                         rows_affected, &scratch_);
  }

  // Before a statement: a session known or found to be lost is reopened
  // first. Inside a transaction the loss has ended the transaction, and
  // the statement fails with the reason.
  Status Ready() {
    if (trans_lost_) return TransactionLost();
    if (!lost_) {
      DbErrors why;
      if (backend_->Alive(&why)) return Status::OK();
      if (why.empty()) why.push_back(DbError{kErrCommand, "The connection to the server was lost", 0, "08006"});
      const bool in_trans = in_trans_;
      Lose(why.front().description);
      if (in_trans) {
        scratch_.insert(scratch_.end(), why.begin(), why.end());
        return Status::Database(why.front().description);
      }
    }
    return Reopen();
  }

  void Lose(const std::string& reason) {
    lost_ = true;
    lost_reason_ = reason;
    if (in_trans_) {
      in_trans_ = false;
      trans_lost_ = true;
      Log("lost the connection to " + where_ + " inside a transaction, which is over: " + reason);
    } else {
      Log("lost the connection to " + where_ + ": " + reason);
    }
  }

  Status TransactionLost() {
    return Fail(&scratch_, kErrCommand,
                "The transaction ended when the connection to the server was lost: " + lost_reason_, 0, "08007");
  }

  // The same connection string, the catalog last selected, and a fresh
  // statement cache: prepared statements die with their session.
  Status Reopen() {
    caches_.clear();
    ForgetFastSlots();
    cache_ = nullptr;
    backend_->Close();
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + kReopenBudget;
    auto pause = kFirstPause;
    DbErrors last;
    Status s;
    int attempt = 0;
    for (;;) {
      ++attempt;
      last.clear();
      std::unique_ptr<Backend> fresh = NewBackend(route_);
      const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - std::chrono::steady_clock::now());
      fresh->LimitConnectTime(static_cast<int>(std::max<int64_t>(1, left.count())));
      s = fresh->Connect(parsed_, user_, password_, &last);
      if (s.ok() && !catalog_.empty() && !EqualsNoCase(catalog_, opened_catalog_)) {
        s = fresh->UseCatalog(catalog_, &last);
      }
      if (s.ok()) {
        backend_ = std::move(fresh);
        SelectCache();
        lost_ = false;
        ++reopens_;
        scratch_.clear();  // the loss is the log's; what runs now has its own outcome
        Log("reopened the connection to " + where_ + " (attempt " + std::to_string(attempt) + ", " +
            std::to_string(MillisSince(start)) + " ms)");
        return Status::OK();
      }
      fresh->Close();
      if (std::chrono::steady_clock::now() + pause >= deadline) break;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, kLongestPause);
    }
    Log("could not reopen the connection to " + where_ + " (" + std::to_string(attempt) + " attempts, " +
        std::to_string(MillisSince(start)) + " ms): " + s.message());
    scratch_.insert(scratch_.begin(), last.begin(), last.end());
    return s;
  }

  static int64_t MillisSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  }

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

  Status NotRun(DbErrors* errors) {
    return Fail(errors, kErrCommand, "not run: the statement before it failed", 0, "HY000");
  }

  Status Closed() {
    return Record(Fail(&scratch_, kAdoObjectClosed, "Operation is not allowed when the object is closed."));
  }

  void SelectCache() { cache_ = &caches_[backend_->CacheScope()]; }

  // Templates are string literals, each at its own address: a few slots by
  // address find an entry without hashing its text. The text is compared
  // all the same, since a statement's text may live anywhere.
  struct FastSlot {
    const Cache* cache = nullptr;
    const char* sql = nullptr;
    const Cache::value_type* item = nullptr;
  };
  static constexpr size_t kFastSlots = 64;

  static size_t SlotOf(const char* sql) { return (reinterpret_cast<uintptr_t>(sql) >> 3) % kFastSlots; }

  CacheEntry* FastFind(std::string_view sql) {
    FastSlot& slot = fast_[SlotOf(sql.data())];
    if (slot.cache == cache_ && slot.sql == sql.data() && slot.item->first == sql) {
      return const_cast<CacheEntry*>(&slot.item->second);
    }
    auto it = cache_->find(sql);
    if (it == cache_->end()) return nullptr;
    Remember(sql, &*it);
    return &it->second;
  }

  void Remember(std::string_view sql, const Cache::value_type* item) {
    fast_[SlotOf(sql.data())] = FastSlot{cache_, sql.data(), item};
  }

  // Whenever the caches go: a new one may take an old one's address.
  void ForgetFastSlots() { fast_.fill(FastSlot{}); }

  std::unique_ptr<Backend> backend_;
  Dialect dialect_;
  std::string connection_string_;
  std::string catalog_;
  std::vector<DbError> errors_;
  std::vector<DbError> scratch_;
  std::unordered_map<std::string, Cache> caches_;  // by the backend's cache scope
  Cache* cache_ = nullptr;
  std::array<FastSlot, kFastSlots> fast_{};

  // What a reopen needs: the string as parsed, the backend it chose, the
  // user and password Open was given, the catalog Open selected.
  db::ConnectionString parsed_;
  Route route_ = Route::kNone;
  std::string user_, password_, opened_catalog_;
  std::string where_;     // the server, for the log (never the password)
  std::string pool_key_;  // "" when the session is not to be kept
  bool in_trans_ = false;
  bool lost_ = false;        // the session is gone; the next call reopens it
  bool trans_lost_ = false;  // a transaction met the loss and has not been answered
  std::string lost_reason_;
  int64_t reopens_ = 0;
};

}  // namespace

std::shared_ptr<Connection> Connection::Create() { return std::make_shared<ConnectionImpl>(); }

std::vector<Status> Connection::QueryEach(const std::vector<Statement>& statements, std::vector<ResultSet>* out,
                                          bool as_one) {
  out->assign(statements.size(), ResultSet{});
  std::vector<Status> statuses;
  for (size_t i = 0; i < statements.size(); ++i) {
    if (as_one && i > 0 && !statuses.back().ok()) {
      statuses.push_back(Status::Database("not run: the statement before it failed"));
      continue;
    }
    statuses.push_back(Query(statements[i], &(*out)[i]));
  }
  return statuses;
}

}  // namespace tarn::db
