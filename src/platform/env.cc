#include "platform/env.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>

extern char** environ;

namespace tarn {
namespace {

class SystemEnv final : public Env {
 public:
  std::string ComputerName() override {
    if (auto name = GetEnvVar("TARN_COMPUTERNAME"); name && !name->empty()) return *name;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return std::string();
    std::string name(host);
    name = name.substr(0, name.find('.'));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  }

  std::optional<uint32_t> SessionId() override {
    // The audit login session is what a logon session is here; the kernel
    // reports 4294967295 for processes outside any login.
    std::ifstream in("/proc/self/sessionid");
    unsigned long long id = 0;
    if (!(in >> id) || id >= 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(id);
  }

  uint32_t ProcessId() override { return static_cast<uint32_t>(getpid()); }
  uint32_t ThreadId() override { return static_cast<uint32_t>(syscall(SYS_gettid)); }
  uintptr_t ProcessHandle() override { return reinterpret_cast<uintptr_t>(&environ); }
  bool Is64Bit() override { return sizeof(void*) == 8; }

  Date Now() override {
    auto now = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    CivilTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    Date date = DateFromCivil(t);
    // The milliseconds too: leases and log ids count them. (After 1899 the
    // fraction grows with the time of day.)
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    date.serial += static_cast<double>(ms) / 86400000.0;
    return date;
  }

  int64_t MonotonicMillis() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  double Random() override {
    std::lock_guard lock(rng_mu_);
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
  }

  void Reseed() override {
    std::lock_guard lock(rng_mu_);
    rng_.seed(entropy_() ^ static_cast<uint64_t>(MonotonicMillis()));
  }

  Status StartProgram(const std::string& path, const std::vector<std::string>& args) override {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) return Status::IOError("cannot start " + path);
    return Status::OK();
  }

  std::shared_ptr<const RegistryStore> Registry() override {
    const std::string path = RegistryFilePath();
    const FileStamp stamp = StampOf(path);
    std::lock_guard lock(registry_mu_);
    if (!registry_ || stamp != registry_stamp_ || path != registry_path_) {
      registry_ = std::make_shared<const RegistryStore>(RegistryStore::LoadFile(path));
      registry_stamp_ = stamp;
      registry_path_ = path;
    }
    return registry_;
  }

  std::optional<std::string> GetEnvVar(const std::string& name) override {
    const char* v = std::getenv(name.c_str());
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  }

 private:
  std::mutex rng_mu_;
  // Opened once: a registration reseeds, and opening the source each time
  // cost more than the rest of its work outside the database.
  std::random_device entropy_;
  std::mt19937_64 rng_{entropy_()};
  // What tells a changed file: a rewrite moves the time or the size, a
  // replacement the inode.
  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtime_ns = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
  };
  static FileStamp StampOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return FileStamp();
    return FileStamp{true, st.st_dev, st.st_ino, st.st_size,
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  }

  std::mutex registry_mu_;
  std::shared_ptr<const RegistryStore> registry_;
  FileStamp registry_stamp_;
  std::string registry_path_;
};

std::atomic<Env*> current_env{nullptr};

Env& SystemEnvInstance() {
  static Env* env = NewSystemEnv().release();  // lives for the process
  return *env;
}

}  // namespace

std::unique_ptr<Env> NewSystemEnv() { return std::make_unique<SystemEnv>(); }

Env& Env::Current() {
  Env* env = current_env.load();
  return env != nullptr ? *env : SystemEnvInstance();
}

ScopedEnv::ScopedEnv(Env* env) : previous_(current_env.exchange(env)) {}
ScopedEnv::~ScopedEnv() { current_env.store(previous_); }

std::string RegistryFilePath() {
  const char* path = std::getenv("TARN_REGISTRY");
  return path != nullptr && *path != '\0' ? path : "/etc/tarn/registry.reg";
}

}  // namespace tarn
