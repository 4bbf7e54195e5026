#include "suite/login_service/token.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace tarn::suite {
namespace {

constexpr std::string_view kPrefix = "t1.";
constexpr int kBase64 = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

}  // namespace

Status CreateTokenKey(const std::string& path) {
  if (sodium_init() < 0) return Status::IOError("libsodium cannot start");
  unsigned char key[kTokenKeyBytes];
  randombytes_buf(key, sizeof key);
  char hex[kTokenKeyBytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, key, sizeof key);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return Status::IOError("cannot write " + path);
  const std::string text = std::string(hex) + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  sodium_memzero(key, sizeof key);
  return written ? Status::OK() : Status::IOError("cannot write " + path);
}

Status LoadTokenKey(const std::string& path, std::string* key) {
  std::ifstream in(path);
  std::string hex;
  if (!(in >> hex)) return Status::NotFound("no token key in " + path);
  unsigned char bin[kTokenKeyBytes];
  size_t len = 0;
  if (sodium_init() < 0 ||
      sodium_hex2bin(bin, sizeof bin, hex.data(), hex.size(), nullptr, &len, nullptr) != 0 ||
      len != kTokenKeyBytes) {
    return Status::InvalidArgument("malformed token key in " + path);
  }
  key->assign(reinterpret_cast<const char*>(bin), len);
  return Status::OK();
}

std::string SealToken(const std::string& key, std::string_view payload) {
  if (key.size() != kTokenKeyBytes || sodium_init() < 0) return std::string();
  std::vector<unsigned char> sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + payload.size());
  unsigned char* nonce = sealed.data();
  randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
  crypto_secretbox_easy(sealed.data() + crypto_secretbox_NONCEBYTES,
                        reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), nonce,
                        reinterpret_cast<const unsigned char*>(key.data()));
  std::string text(sodium_base64_ENCODED_LEN(sealed.size(), kBase64), '\0');
  sodium_bin2base64(text.data(), text.size(), sealed.data(), sealed.size(), kBase64);
  text.resize(text.find('\0'));
  return std::string(kPrefix) + text;
}

bool OpenToken(const std::string& key, std::string_view token, std::string* payload) {
  if (key.size() != kTokenKeyBytes || token.substr(0, kPrefix.size()) != kPrefix || sodium_init() < 0) {
    return false;
  }
  token.remove_prefix(kPrefix.size());
  std::vector<unsigned char> sealed(token.size());
  size_t len = 0;
  if (sodium_base642bin(sealed.data(), sealed.size(), token.data(), token.size(), nullptr, &len, nullptr,
                        kBase64) != 0 ||
      len < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES) {
    return false;
  }
  const size_t box = len - crypto_secretbox_NONCEBYTES;
  std::string plain(box - crypto_secretbox_MACBYTES, '\0');
  if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plain.data()),
                                 sealed.data() + crypto_secretbox_NONCEBYTES, box, sealed.data(),
                                 reinterpret_cast<const unsigned char*>(key.data())) != 0) {
    return false;
  }
  *payload = std::move(plain);
  return true;
}

}  // namespace tarn::suite
