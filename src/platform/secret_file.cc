#include "platform/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <system_error>
#include <cerrno>
#include <cstring>

namespace tarn {
namespace {

std::string Reason(const std::string& what, const std::string& path) {
  return "cannot " + what + " " + path + ": " + std::generic_category().message(errno);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Without it the rename may not survive a crash, leaving the old file or none.
void SyncDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

Status WriteSecretFile(const std::string& path, std::string_view text, SecretMode mode) {
  mode_t want = 0600;
  struct stat st {};
  if (mode == SecretMode::kKeepReaders && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    want = (st.st_mode & 0644) | 0600;  // its owner must still be able to rewrite it
  }
  // A temporary name of our own: O_EXCL refuses one left by a crash or
  // planted by someone else, and the next name is tried.
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Status::IOError(Reason("create a file beside", path));
  // The umask may have taken bits that the mode asks for; it can never add any.
  bool ok = ::fchmod(fd, want) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) {
    Status s = Status::IOError(Reason("write", temp));
    ::close(fd);
    ::unlink(temp.c_str());
    return s;
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    Status s = Status::IOError(Reason("replace", path));
    ::unlink(temp.c_str());
    return s;
  }
  SyncDirectory(path);
  return Status::OK();
}

}  // namespace tarn
