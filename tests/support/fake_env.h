// A test double of the operating system: fixed names, a registry built in
// the test, a clock that moves only when told.
#ifndef TARN_TESTS_SUPPORT_FAKE_ENV_H_
#define TARN_TESTS_SUPPORT_FAKE_ENV_H_

#include <map>

#include "core/thread_state.h"
#include "platform/env.h"

namespace tarn::testing {

class FakeEnv : public Env {
 public:
  std::string computer_name = "PC01";
  std::optional<uint32_t> session_id = 1;
  bool is_64bit = true;
  Date now = DateFromCivil({2024, 3, 15, 10, 30, 0});
  int64_t monotonic_ms = 1'000'000;
  double random = 0.5;
  double random_step = 0;  // added after each draw (kept within [0, 1))
  RegistryStore registry;
  std::map<std::string, std::string> vars;
  std::vector<std::string> started;

  std::string ComputerName() override { return computer_name; }
  std::optional<uint32_t> SessionId() override { return session_id; }
  uint32_t ProcessId() override { return 4242; }
  uint32_t ThreadId() override { return 77; }
  uintptr_t ProcessHandle() override { return 0x5000; }
  bool Is64Bit() override { return is_64bit; }
  Date Now() override { return now; }
  int64_t MonotonicMillis() override { return monotonic_ms; }
  double Random() override {
    const double r = random;
    random += random_step;
    if (random >= 1) random -= 1;
    return r;
  }
  void Reseed() override {}
  Status StartProgram(const std::string& path, const std::vector<std::string>&) override {
    started.push_back(path);
    return Status::OK();
  }
  std::shared_ptr<const RegistryStore> Registry() override {
    return {std::shared_ptr<void>(), &registry};  // not owned: the test changes it in place
  }
  std::optional<std::string> GetEnvVar(const std::string& name) override {
    auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  }

  void Advance(int64_t ms) {
    monotonic_ms += ms;
    now.serial += static_cast<double>(ms) / 86400000.0;
  }
};

// Installs a FakeEnv for one test and gives the thread fresh start-up values.
class FakeEnvScope {
 public:
  explicit FakeEnvScope(FakeEnv& env) : scope_(&env) { core::ResetThreadForTesting(); }
  ~FakeEnvScope() { core::ResetThreadForTesting(); }

 private:
  ScopedEnv scope_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_FAKE_ENV_H_
