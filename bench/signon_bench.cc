// The cost of signing on: the completion of a token-built login
// (ConstructLogin then Login) on SQLite, and apart from it the login
// service's deliberately slow password check.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "db/connection.h"
#include "suite/sysdb/demo_data.h"
#include "suite/sysdb/schema.h"
#include "platform/env.h"
#include "suite/defaults.h"
#include "suite/login_service/login_service.h"
#include "suite/login_service/password.h"
#include "suite/key_file.h"
#include "suite/login_service/token.h"
#include "suite/settings.h"
#include "tarn/login.h"

namespace {

// The real operating system, with the registry pointed at a demo database.
class BenchEnv : public tarn::Env {
 public:
  BenchEnv() : base_(tarn::NewSystemEnv()) {}
  tarn::RegistryStore registry;
  std::string ComputerName() override { return "BENCH"; }
  std::optional<uint32_t> SessionId() override { return 1; }
  uint32_t ProcessId() override { return base_->ProcessId(); }
  uint32_t ThreadId() override { return base_->ThreadId(); }
  uintptr_t ProcessHandle() override { return base_->ProcessHandle(); }
  bool Is64Bit() override { return true; }
  tarn::Date Now() override { return base_->Now(); }
  int64_t MonotonicMillis() override { return base_->MonotonicMillis(); }
  double Random() override { return base_->Random(); }
  void Reseed() override { base_->Reseed(); }
  tarn::Status StartProgram(const std::string& p, const std::vector<std::string>& a) override {
    return base_->StartProgram(p, a);
  }
  std::shared_ptr<const tarn::RegistryStore> Registry() override {
    return {std::shared_ptr<void>(), &registry};  // not owned: the test changes it in place
  }
  std::optional<std::string> GetEnvVar(const std::string& n) override { return base_->GetEnvVar(n); }

 private:
  std::unique_ptr<tarn::Env> base_;
};

struct Fixture {
  BenchEnv env;
  tarn::ScopedEnv scope{&env};
  std::string token;

  Fixture() {
    char templ[] = "/tmp/tarn-signon-bench-XXXXXX";
    const std::string dir = mkdtemp(templ);
    const std::string system = "Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem";
    auto conn = tarn::db::Connection::Create();
    if (!conn->Open("Provider=SQLite;Data Source=" + dir, "", "").ok() ||
        !tarn::suite::CreateSystemDatabase(*conn).ok() || !tarn::suite::LoadDemoData(*conn).ok() ||
        !tarn::suite::CreateKeyFile(dir + "/token.key").ok()) {
      std::abort();
    }
    env.registry.SetString(tarn::suite::kSettingsKey, "SystemDatabase", system);
    env.registry.SetString(tarn::suite::kSettingsKey, "TokenKeyFile", dir + "/token.key");
    tarn::suite::Members data{{"UserId", tarn::Variant("ALICE")},
                              {"Password", tarn::Variant("alice")},
                              {"cSubId", tarn::Variant("GL")},
                              {"AccID", tarn::Variant("001")},
                              {"iYear", tarn::Variant("2024")},
                              {"AppServer", tarn::Variant("BENCH")},
                              {"ConnString", tarn::Variant(tarn::suite::AccountConnectionString(system))},
                              {"operDate", tarn::Variant("2024-03-15")},
                              {"WorkStationSerial", tarn::Variant("BENCH-1")},
                              {"EmployeeId", tarn::Variant("")},
                              {"DataSource", tarn::Variant(dir)},
                              {"RightServer", tarn::Variant("")},
                              {"IsCompanyVer", tarn::Variant(false)},
                              {"LanguageID", tarn::Variant("en-us")}};
    token = tarn::suite::LoginService::IssueToken(data);
  }
};

void BM_TokenLoginCompletion(benchmark::State& state) {
  static Fixture fixture;
  for (auto _ : state) {
    tarn::clsLogin login;
    std::string sub = "GL";
    if (!login.ConstructLogin(fixture.token) || !login.Login(sub)) {
      state.SkipWithError(login.ShareString().c_str());
      break;
    }
    state.PauseTiming();
    login.ShutDown();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TokenLoginCompletion)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_PasswordCheck(benchmark::State& state) {
  std::string hash;
  if (!tarn::suite::HashPassword("alice", &hash).ok()) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(tarn::suite::VerifyPassword(hash, "alice"));
}
BENCHMARK(BM_PasswordCheck)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
