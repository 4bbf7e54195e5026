// The data layer's cost on SQLite, the embedded default:
//  - one indexed single-row SELECT through the layer (template lookup,
//    binding, copying the row into a recordset, reading the field) against
//    the same statement prepared once and stepped with the sqlite3 C API;
//  - the same SELECT with 100 and with 100,000 rows in UA_task.
// scripts/bench runs it with --benchmark_enable_random_interleaving=true
// --benchmark_repetitions=9 --benchmark_min_time=0.1 and compares the medians.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "db/connection.h"
#include "db/recordset.h"
#include "suite/sysdb/schema.h"

namespace {

constexpr char kSelect[] = "SELECT top 1  iLogId FROM UA_task with(nolock) WHERE iLogId=?";
constexpr char kRawSelect[] = "SELECT iLogId FROM UA_task WHERE iLogId=? LIMIT 1";

double LogId(int i) { return 1000.25 + i * 7.5; }

// A data directory with the system database and `rows` tasks, made once per
// size and removed at exit.
class Fixture {
 public:
  static const std::string& Dir(int rows) {
    static std::map<int, Fixture> made;
    auto it = made.find(rows);
    if (it == made.end()) it = made.emplace(rows, Fixture(rows)).first;
    return it->second.dir_;
  }
  Fixture(Fixture&& o) noexcept : dir_(std::move(o.dir_)) { o.dir_.clear(); }
  ~Fixture() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

 private:
  explicit Fixture(int rows) {
    char tmpl[] = "/tmp/tarn-bench.XXXXXX";
    dir_ = mkdtemp(tmpl);
    auto conn = tarn::db::Connection::Create();
    if (!conn->Open("Provider=SQLite;Data Source=" + dir_, "", "").ok() ||
        !tarn::suite::CreateSystemDatabase(*conn).ok() || !conn->BeginTrans().ok()) {
      std::abort();
    }
    for (int i = 0; i < rows; ++i) {
      tarn::db::Statement st(
          "INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,cSub_id,"
          "cAppServer) VALUES(?,?,?,?,?,?,?,?,?)");
      st.Bind(i % 2 ? "001" : "002").Bind(int32_t{2024}).Bind("USER" + std::to_string(i % 50)).Bind("GL0101");
      st.Bind("PC" + std::to_string(i % 40)).Bind(std::to_string(45000 + i)).Bind(LogId(i)).Bind("GL").Bind("APP");
      if (!conn->Execute(st).ok()) std::abort();
    }
    if (!conn->CommitTrans().ok()) std::abort();
    // Start every run from a checkpointed file, whichever runs first.
    if (!conn->Execute(tarn::db::Statement("PRAGMA wal_checkpoint(TRUNCATE)")).ok()) std::abort();
  }
  std::string dir_;
};

tarn::db::ConnectionPtr Open(int rows) {
  auto conn = tarn::db::Connection::Create();
  if (!conn->Open("Provider=SQLite;Data Source=" + Fixture::Dir(rows) + ";Initial Catalog=ValeSystem", "", "").ok()) {
    std::abort();
  }
  return conn;
}

// What the sign-on does for one lookup: open its recordset on the
// template, test for end of file, read the field, close.
void LayerSelect(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  auto conn = Open(rows);
  auto rs = tarn::db::Recordset::Create();
  int i = 0;
  for (auto _ : state) {
    tarn::db::Statement st(kSelect);
    st.Bind(LogId(i++ % rows));
    if (!rs->Open(st, conn).ok() || rs->Eof()) std::abort();
    benchmark::DoNotOptimize(rs->Value("iLogId").ToDouble());
    rs->Close();
  }
}

void RawSelect(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((Fixture::Dir(rows) + "/valesystem.db").c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    std::abort();
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, kRawSelect, -1, &st, nullptr) != SQLITE_OK) std::abort();
  int i = 0;
  for (auto _ : state) {
    sqlite3_bind_double(st, 1, LogId(i++ % rows));
    if (sqlite3_step(st) != SQLITE_ROW) std::abort();
    benchmark::DoNotOptimize(sqlite3_column_double(st, 0));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

}  // namespace

BENCHMARK(LayerSelect)->Arg(100)->Arg(100000);
BENCHMARK(RawSelect)->Arg(100)->Arg(100000);

int main(int argc, char** argv) {
  // Both data sets exist, and are on disk, before anything is timed: the
  // write-back of the large one would otherwise slow whichever case runs
  // first.
  Fixture::Dir(100);
  Fixture::Dir(100000);
  sync();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
