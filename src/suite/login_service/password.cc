#include "suite/login_service/password.h"

#include <sodium.h>

namespace tarn::suite {

Status HashPassword(const std::string& password, std::string* hash) {
  if (sodium_init() < 0) return Status::IOError("libsodium cannot start");
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    return Status::IOError("out of memory while hashing a password");
  }
  *hash = out;
  return Status::OK();
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES || sodium_init() < 0) return false;
  char stored[crypto_pwhash_STRBYTES] = {};
  hash.copy(stored, hash.size());
  return crypto_pwhash_str_verify(stored, password.data(), password.size()) == 0;
}

std::string PasswordMark(const std::string& hash) {
  if (sodium_init() < 0) return std::string();
  unsigned char digest[16];
  static constexpr unsigned char kContext[] = "tarn password mark";
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(hash.data()), hash.size(), kContext,
                     sizeof kContext - 1);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

}  // namespace tarn::suite
