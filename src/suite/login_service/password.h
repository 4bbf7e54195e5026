// Passwords at rest: argon2id hashes in the format libsodium writes, which
// carries its own salt and cost.
#ifndef TARN_SUITE_LOGIN_SERVICE_PASSWORD_H_
#define TARN_SUITE_LOGIN_SERVICE_PASSWORD_H_

#include <string>

#include "tarn/status.h"

namespace tarn::suite {

Status HashPassword(const std::string& password, std::string* hash);
// False also for an empty or malformed hash.
bool VerifyPassword(const std::string& hash, const std::string& password);

// A short digest of a stored hash, carried in tokens: a token whose mark no
// longer matches the user's hash was issued before the password changed.
// Reveals nothing of the password.
std::string PasswordMark(const std::string& hash);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LOGIN_SERVICE_PASSWORD_H_
