// Everything the component asks of the operating system goes through one
// Env, so that tests can run several "stations", a fake clock and a fixed
// registry in one process.
#ifndef TARN_PLATFORM_ENV_H_
#define TARN_PLATFORM_ENV_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tarn/status.h"
#include "tarn/variant.h"

namespace tarn {

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide environment in force (the real one unless a test set
  // another through ScopedEnv).
  static Env& Current();

  // The computer name as the suite knows it: TARN_COMPUTERNAME, else the
  // first label of the host name in upper case.
  virtual std::string ComputerName() = 0;
  // The logon session number of the process; nullopt when it cannot be had.
  virtual std::optional<uint32_t> SessionId() = 0;
  virtual uint32_t ProcessId() = 0;
  virtual uint32_t ThreadId() = 0;
  // An opaque per-process handle value (stands in for the process heap).
  virtual uintptr_t ProcessHandle() = 0;
  virtual bool Is64Bit() = 0;
  // Local wall-clock time.
  virtual Date Now() = 0;
  // Monotonic milliseconds, for timers.
  virtual int64_t MonotonicMillis() = 0;
  // Uniform in [0, 1).
  virtual double Random() = 0;
  virtual void Reseed() = 0;
  // Starts a program without waiting for it.
  virtual Status StartProgram(const std::string& path, const std::vector<std::string>& args) = 0;
  // HKEY_LOCAL_MACHINE as it is now: a snapshot that stays valid while the
  // caller holds it.
  virtual std::shared_ptr<const RegistryStore> Registry() = 0;
  virtual std::optional<std::string> GetEnvVar(const std::string& name) = 0;
};

// The real operating system. The registry is read from TARN_REGISTRY, else
// /etc/tarn/registry.reg, and read again whenever the file has changed, so
// that every value is read "each time it is asked for".
std::unique_ptr<Env> NewSystemEnv();

// Installs `env` as Env::Current() for its lifetime (tests).
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// Where the registry file is looked for.
std::string RegistryFilePath();

}  // namespace tarn

#endif  // TARN_PLATFORM_ENV_H_
