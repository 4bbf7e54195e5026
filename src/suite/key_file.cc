#include "suite/key_file.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <cstdio>
#include <cstring>

#include "platform/secret_file.h"
#include "platform/text.h"

namespace tarn::suite {
namespace {

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// A key's file must be one that nobody but its owner could have read or
// replaced; otherwise whoever could forges tokens or requests. Opened
// without following links and without blocking, so that a link to a device
// or a FIFO at the name is refused rather than read for ever or waited on.
Status OpenKeyFile(const std::string& path, int* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) return Status::InvalidArgument(path + " is a symbolic link: name the key's file itself");
    if (errno == ENOENT) return Status::NotFound("no key in " + path + ": the file does not exist");
    return Status::IOError("cannot open " + path + ": " + std::generic_category().message(errno));
  }
  struct stat st {};
  std::string problem;
  if (::fstat(fd, &st) != 0) {
    problem = std::string("cannot examine it: ") + std::generic_category().message(errno);
  } else if (!S_ISREG(st.st_mode)) {
    problem = "is not a regular file";
  } else if ((st.st_mode & 077) != 0) {
    problem = std::string((st.st_mode & 044) ? "is readable" : "is writable") + " by others (mode " +
              Octal(st.st_mode) + "): chmod 600 it";
  } else if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    problem = "belongs to another user (uid " + std::to_string(st.st_uid) + "): the key must be ours";
  } else if (st.st_size > static_cast<off_t>(kMaxKeyFileBytes)) {
    problem = "is larger than " + std::to_string(kMaxKeyFileBytes) + " bytes";
  }
  if (!problem.empty()) {
    ::close(fd);
    return Status::InvalidArgument(path + " " + problem);
  }
  *out = fd;
  return Status::OK();
}

}  // namespace

Status CreateKeyFile(const std::string& path) {
  if (sodium_init() < 0) return Status::IOError("libsodium cannot start");
  unsigned char key[kKeyBytes];
  randombytes_buf(key, sizeof key);
  char hex[kKeyBytes * 2 + 2];
  sodium_bin2hex(hex, sizeof hex - 1, key, sizeof key);
  sodium_memzero(key, sizeof key);
  hex[kKeyBytes * 2] = '\n';
  hex[kKeyBytes * 2 + 1] = '\0';
  Status s = WriteSecretFile(path, std::string_view(hex, kKeyBytes * 2 + 1), SecretMode::kOwnerOnly);
  sodium_memzero(hex, sizeof hex);
  return s;
}

Status LoadKeyFile(const std::string& path, std::string* key) {
  if (path.empty()) return Status::NotFound("no key file is named");
  int fd = -1;
  if (Status s = OpenKeyFile(path, &fd); !s.ok()) return s;
  // One byte past the bound tells a file that grew since fstat.
  char buf[kMaxKeyFileBytes + 1];
  size_t size = 0;
  while (size < sizeof buf) {
    const ssize_t n = ::read(fd, buf + size, sizeof buf - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string reason = std::generic_category().message(errno);
      ::close(fd);
      return Status::IOError("cannot read " + path + ": " + reason);
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  ::close(fd);
  if (size > kMaxKeyFileBytes) {
    sodium_memzero(buf, sizeof buf);
    return Status::InvalidArgument(path + " is larger than " + std::to_string(kMaxKeyFileBytes) + " bytes");
  }
  const std::string_view hex = TrimSpace(std::string_view(buf, size));
  unsigned char bin[kKeyBytes];
  size_t len = 0;
  Status s;
  if (hex.empty()) {
    s = Status::NotFound("no key in " + path);
  } else if (sodium_init() < 0 ||
             sodium_hex2bin(bin, sizeof bin, hex.data(), hex.size(), nullptr, &len, nullptr) != 0 || len != kKeyBytes) {
    s = Status::InvalidArgument("malformed key in " + path + ": expected " + std::to_string(kKeyBytes * 2) +
                                " hexadecimal digits");
  } else {
    key->assign(reinterpret_cast<const char*>(bin), len);
  }
  sodium_memzero(bin, sizeof bin);
  sodium_memzero(buf, sizeof buf);
  return s;
}

}  // namespace tarn::suite
