// What task control costs: registering and releasing a function without
// rules (profile 0) through TaskExec
//  - against the very statement sequence it sends, prepared once and
//    stepped directly with the sqlite3 C API (the cost of the layer);
//  - with 100 and with 100,000 other running tasks in UA_task (the cost of
//    the table's size, held down by its indexes);
//  - on PostgreSQL, beside pg_try_advisory_lock + pg_advisory_unlock on the
//    same server (what a PostgreSQL user would reach for; PostgreSQL only
//    when TARN_TEST_PG_CONNECT names a server).
// The management service answers in-process: its cost is not task
// control's. scripts/bench runs it with
// --benchmark_enable_random_interleaving=true --benchmark_repetitions=5
// --benchmark_min_time=0.2 and compares the medians.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "boundary/handshake.h"
#include "core/login_parts.h"
#include "db/connection_string.h"
#include "db/dialect.h"
#include "db/fault.h"
#include "db/sqlite/date_collation.h"
#include "db/sqlite/unicase.h"
#include "platform/object_registry.h"
#include "suite/parley.h"
#include "suite/reply_codec.h"
#include "suite/sysdb/schema.h"
#include "support/scratch_server.h"
#include "tarn/login.h"

namespace {

using tarn::Variant;
using tarn::db::Statement;
using tarn::testing::ScratchServer;

// The management service, answering "pass" at once.
class PassParley final : public tarn::boundary::Parley {
 public:
  int32_t RPCCall(const std::string&, const std::string&, std::string& reply) override {
    auto sundry = tarn::ObjectRegistry::Global().CreateAs<tarn::boundary::Sundry>(tarn::boundary::kSundryLibrary);
    tarn::suite::WriteReplyBuffer(
        reply, tarn::suite::LockReply("pass",
                                      tarn::boundary::ReplyHandshake(*sundry, tarn::boundary::CurrentProcessTriple())));
    return 0;
  }
  std::string CommDecode(const std::string& s) override { return s; }
  std::string CommEncode(const std::string& s) override { return s; }
};

void Check(const tarn::Status& s) {
  if (!s.ok()) {
    std::fprintf(stderr, "task_bench: %s\n", s.message().c_str());
    std::abort();
  }
}

// A system database with one plain function, and `others` running tasks
// spread over a thousand other account sets, or all in the account set and
// year that registers (`same`).
struct Fixture {
  std::unique_ptr<ScratchServer> server;
  std::unique_ptr<tarn::clsLogin> login;

  static std::map<std::tuple<int, int, bool>, std::unique_ptr<Fixture>>& Made() {
    static std::map<std::tuple<int, int, bool>, std::unique_ptr<Fixture>> made;
    return made;
  }
  static Fixture* Get(ScratchServer::Kind kind, int others, bool same = false) {
    auto& slot = Made()[{static_cast<int>(kind), others, same}];
    if (!slot) {
      std::string skip;
      auto server = ScratchServer::Make(kind, &skip);
      if (!server) return nullptr;
      slot = std::make_unique<Fixture>();
      slot->server = std::move(server);
      slot->Fill(others, same);
    }
    return slot.get();
  }

  void Fill(int others, bool same) {
    static std::once_flag parley_once;
    std::call_once(parley_once, [] {
      tarn::ObjectRegistry::Global().Register(tarn::boundary::kParleyLibrary,
                                              [] { return std::make_shared<PassParley>(); });
    });
    auto conn = tarn::db::Connection::Create();
    Check(conn->Open(server->server(), "", ""));
    Check(tarn::suite::CreateSystemDatabase(*conn));
    Check(conn->Execute(Statement("INSERT INTO UA_Auth (cAuth_Id,cSub_Id,cAuth_Name) VALUES ('F0','GL','Plain')")));
    Check(
        conn->Execute(Statement("INSERT INTO UA_HoldAuth (cAcc_Id,iYear,cUser_Id,cAuth_Id) VALUES "
                                "('T01',2024,'U1','F0')")));
    Check(conn->BeginTrans());
    for (int i = 0; i < others; ++i) {
      Check(conn->Execute(Statement("INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,"
                                    "cTaskId,iLogId,cSub_id,cAppServer) VALUES(?,?,?,?,?,?,?,?,?)")
                              .Bind(same ? std::string("T01") : "O" + std::to_string(i % 1000))
                              .Bind(int32_t{same ? 2024 : 2023 + i % 3})
                              .Bind("USER" + std::to_string(i % 50))
                              .Bind(i % 7 ? "GL0101" : "reg")
                              .Bind("PC" + std::to_string(i % 40))
                              .Bind(std::to_string(40000 + i))
                              .Bind(1000.25 + i * 7.5)
                              .Bind("GL")
                              .Bind("APP")));
    }
    Check(conn->CommitTrans());
    login = std::make_unique<tarn::clsLogin>();
    tarn::core::LoginParts& s = tarn::core::PartsOf(*login);
    s.identity.cAcc_Id = "T01";
    s.identity.cIYear = "2024";
    s.identity.cUserId = "U1";
    s.identity.cSub_Id = "GL";
    s.identity.TaskId = "45000.5";
    s.identity.cServerSerial = "APP";
    s.identity.ValeDbName = server->server();
    s.connections.SystemConnection = tarn::db::Connection::Create();
    Check(s.connections.SystemConnection->Open(server->With("ValeSystem"), "", ""));
  }

  void Pair() {
    if (!login->TaskExec("F0", -1) || !login->TaskExec("F0", 0)) {
      std::fprintf(stderr, "task_bench: %s\n", login->ShareString().c_str());
      std::abort();
    }
  }
};

void BM_TaskExecPair(benchmark::State& state, ScratchServer::Kind kind) {
  Fixture* f = Fixture::Get(kind, static_cast<int>(state.range(0)));
  if (!f) {
    state.SkipWithError("no PostgreSQL server (TARN_TEST_PG_CONNECT)");
    return;
  }
  f->Pair();  // the task log is written by the first registration only
  for (auto _ : state) f->Pair();
}
BENCHMARK_CAPTURE(BM_TaskExecPair, SQLite, ScratchServer::Kind::kSqlite)
    ->Arg(100)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// The company grown in one place: every other running task in the account
// set and year that registers.
void BM_TaskExecPairSameAccount(benchmark::State& state, ScratchServer::Kind kind) {
  Fixture* f = Fixture::Get(kind, static_cast<int>(state.range(0)), true);
  if (!f) {
    state.SkipWithError("no PostgreSQL server (TARN_TEST_PG_CONNECT)");
    return;
  }
  f->Pair();
  for (auto _ : state) f->Pair();
}
BENCHMARK_CAPTURE(BM_TaskExecPairSameAccount, SQLite, ScratchServer::Kind::kSqlite)
    ->Arg(100)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TaskExecPair, PostgreSQL, ScratchServer::Kind::kPostgres)->Arg(100)->Unit(benchmark::kMicrosecond);

// The statements of one steady-state pair, as TaskExec sends them, stepped
// on their own prepared sqlite3 statements.
void BM_RawSqlitePair(benchmark::State& state) {
  Fixture* f = Fixture::Get(ScratchServer::Kind::kSqlite, 100);
  f->Pair();
  std::vector<Statement> sent;
  {
    tarn::db::ScopedFaultHook capture([&](const Statement& st) -> std::optional<tarn::db::DbError> {
      sent.push_back(st);
      return std::nullopt;
    });
    f->Pair();
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((f->server->dir() + "/valesystem.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    std::abort();
  }
  sqlite3_db_config(db, SQLITE_DBCONFIG_MAINDBNAME, "ValeSystem");
  tarn::db::sqlite::RegisterUnicase(db);
  tarn::db::sqlite::RegisterDateCollation(db);
  sqlite3_busy_timeout(db, 5000);
  // As the data layer opens its files.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA temp_store=MEMORY", nullptr, nullptr,
               nullptr);
  struct Prepared {
    sqlite3_stmt* stmt;
    std::vector<Variant> values;
  };
  // Each registration draws a new log id: so does each round here, or the
  // usage-log update would find every earlier round's entry.
  double captured_log_id = 0;
  for (const Statement& st : sent) {
    if (st.sql().find("INSERT INTO UA_task") != std::string_view::npos) captured_log_id = st.values()[6].ToDouble();
  }
  std::vector<Prepared> steps;
  // TaskExec writes each call as one transaction on SQLite; so do the raw
  // statements: a registration, then a release.
  auto transaction_step = [&](const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) std::abort();
    steps.push_back({stmt, {}});
  };
  transaction_step("BEGIN IMMEDIATE");
  for (const Statement& st : sent) {
    if (st.sql().find("SELECT top 1 ilogid FROM UA_task   WHERE ctaskid=?") != std::string_view::npos) {
      transaction_step("COMMIT");
      transaction_step("BEGIN IMMEDIATE");
    }
    std::vector<int> sizes;
    std::vector<Variant> flat;
    for (const Variant& v : st.values()) {
      sizes.push_back(v.IsArray() ? static_cast<int>(v.ToArray().items.size()) : -1);
      if (v.IsArray()) {
        for (const Variant& item : v.ToArray().items) flat.push_back(item);
      } else {
        flat.push_back(v);
      }
    }
    tarn::db::Translation t;
    Check(tarn::db::Translate(st.sql(), tarn::db::Dialect{tarn::db::Flavor::kSqlite, false}, sizes, &t));
    if (t.kind != tarn::db::Translation::Kind::kStatement) continue;  // USE ValeSystem: the file is open
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db, t.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "task_bench: %s: %s\n", t.sql.c_str(), sqlite3_errmsg(db));
      std::abort();
    }
    steps.push_back({stmt, flat});
  }
  transaction_step("COMMIT");
  double log_id = captured_log_id;
  for (auto _ : state) {
    log_id += 1;
    for (Prepared& p : steps) {
      for (size_t i = 0; i < p.values.size(); ++i) {
        const Variant& v = p.values[i].type() == Variant::Type::kDouble && p.values[i].ToDouble() == captured_log_id
                               ? Variant(log_id)
                               : p.values[i];
        const int at = static_cast<int>(i) + 1;
        switch (v.type()) {
          case Variant::Type::kInt16:
          case Variant::Type::kInt32: sqlite3_bind_int(p.stmt, at, v.ToInt32()); break;
          case Variant::Type::kDouble: sqlite3_bind_double(p.stmt, at, v.ToDouble()); break;
          case Variant::Type::kNull: sqlite3_bind_null(p.stmt, at); break;
          default: {
            const std::string text =
                v.type() == Variant::Type::kDate ? tarn::FormatDayOrDateTime(v.ToDate()) : v.ToString();
            sqlite3_bind_text(p.stmt, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
          }
        }
      }
      while (sqlite3_step(p.stmt) == SQLITE_ROW) {
      }
      sqlite3_reset(p.stmt);
    }
  }
  state.counters["statements"] = static_cast<double>(steps.size() - 4);
  for (Prepared& p : steps) sqlite3_finalize(p.stmt);
  sqlite3_close(db);
}
BENCHMARK(BM_RawSqlitePair)->Unit(benchmark::kMicrosecond);

void BM_PgAdvisoryLockPair(benchmark::State& state) {
  Fixture* f = Fixture::Get(ScratchServer::Kind::kPostgres, 100);
  if (!f) {
    state.SkipWithError("no PostgreSQL server (TARN_TEST_PG_CONNECT)");
    return;
  }
  tarn::db::ConnectionString cs;
  Check(tarn::db::ConnectionString::Parse(f->server->libpq(), &cs));
  std::string host = cs.Get("Data Source"), database = "postgres", port;
  if (const size_t slash = host.find('/'); slash != std::string::npos) {
    database = host.substr(slash + 1);
    host.resize(slash);
  }
  if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  const std::string user = cs.Get("User ID"), password = cs.Get("Password");
  const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
  const char* vals[] = {host.c_str(), port.c_str(), database.c_str(), user.c_str(), password.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, vals, 0);
  if (PQstatus(c) != CONNECTION_OK) std::abort();
  for (auto _ : state) {
    PQclear(PQexec(c, "SELECT pg_try_advisory_lock(42)"));
    PQclear(PQexec(c, "SELECT pg_advisory_unlock(42)"));
  }
  PQfinish(c);
}
BENCHMARK(BM_PgAdvisoryLockPair)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The scratch databases go while libpq can still reach their server: at
  // exit its TLS layer may be gone already.
  Fixture::Made().clear();
  return 0;
}
