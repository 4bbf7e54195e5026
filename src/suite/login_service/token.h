// Sign-on tokens. A token carries the user data of a sign-on, the user's
// password among them, so it is sealed with authenticated encryption
// (XSalsa20-Poly1305) under a key kept beside the data, never in the token:
// whoever holds a token can use it until it expires, but can neither read
// nor alter what it carries.
#ifndef TARN_SUITE_LOGIN_SERVICE_TOKEN_H_
#define TARN_SUITE_LOGIN_SERVICE_TOKEN_H_

#include <string>
#include <string_view>

#include "tarn/status.h"

namespace tarn::suite {

// The key comes from a key file (suite/key_file.h).
// "t1." followed by the sealed payload in URL-safe base64.
std::string SealToken(const std::string& key, std::string_view payload);
// False for anything that is not a token sealed with `key`.
bool OpenToken(const std::string& key, std::string_view token, std::string* payload);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LOGIN_SERVICE_TOKEN_H_
