// An Env that passes everything to another one but runs its clocks ahead
// by a settable amount: how a script lets a minute pass at once.
#ifndef TARN_PLATFORM_OFFSET_ENV_H_
#define TARN_PLATFORM_OFFSET_ENV_H_

#include "platform/env.h"

namespace tarn {

class OffsetEnv final : public Env {
 public:
  explicit OffsetEnv(Env& base) : base_(base) {}

  void Advance(int64_t millis) { offset_ms_ += millis; }

  std::string ComputerName() override { return base_.ComputerName(); }
  std::optional<uint32_t> SessionId() override { return base_.SessionId(); }
  uint32_t ProcessId() override { return base_.ProcessId(); }
  uint32_t ThreadId() override { return base_.ThreadId(); }
  uintptr_t ProcessHandle() override { return base_.ProcessHandle(); }
  bool Is64Bit() override { return base_.Is64Bit(); }
  Date Now() override { return Date{base_.Now().serial + static_cast<double>(offset_ms_) / 86400000.0}; }
  int64_t MonotonicMillis() override { return base_.MonotonicMillis() + offset_ms_; }
  double Random() override { return base_.Random(); }
  void Reseed() override { base_.Reseed(); }
  Status StartProgram(const std::string& path, const std::vector<std::string>& args) override {
    return base_.StartProgram(path, args);
  }
  std::shared_ptr<const RegistryStore> Registry() override { return base_.Registry(); }
  std::optional<std::string> GetEnvVar(const std::string& name) override { return base_.GetEnvVar(name); }

 private:
  Env& base_;
  int64_t offset_ms_ = 0;
};

}  // namespace tarn

#endif  // TARN_PLATFORM_OFFSET_ENV_H_
