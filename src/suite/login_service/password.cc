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

}  // namespace tarn::suite
