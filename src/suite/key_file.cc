#include "suite/key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sodium.h>
#include <unistd.h>

#include <fstream>

namespace tarn::suite {

Status CreateKeyFile(const std::string& path) {
  if (sodium_init() < 0) return Status::IOError("libsodium cannot start");
  unsigned char key[kKeyBytes];
  randombytes_buf(key, sizeof key);
  char hex[kKeyBytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, key, sizeof key);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return Status::IOError("cannot write " + path);
  (void)fchmod(fd, 0600);  // an older file of the name may have been readable by others; the write decides
  const std::string text = std::string(hex) + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  sodium_memzero(key, sizeof key);
  return written ? Status::OK() : Status::IOError("cannot write " + path);
}

Status LoadKeyFile(const std::string& path, std::string* key) {
  std::ifstream in(path);
  std::string hex;
  if (!(in >> hex)) return Status::NotFound("no key in " + path);
  unsigned char bin[kKeyBytes];
  size_t len = 0;
  if (sodium_init() < 0 ||
      sodium_hex2bin(bin, sizeof bin, hex.data(), hex.size(), nullptr, &len, nullptr) != 0 ||
      len != kKeyBytes) {
    return Status::InvalidArgument("malformed key in " + path);
  }
  key->assign(reinterpret_cast<const char*>(bin), len);
  return Status::OK();
}

}  // namespace tarn::suite
