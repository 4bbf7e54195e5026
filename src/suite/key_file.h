// The installation's secret keys (the one that seals sign-on tokens, the
// one that authenticates requests to the management service): 32 random
// bytes, written as hexadecimal into a file that only its owner can read.
#ifndef TARN_SUITE_KEY_FILE_H_
#define TARN_SUITE_KEY_FILE_H_

#include <cstddef>
#include <string>

#include "tarn/status.h"

namespace tarn::suite {

inline constexpr size_t kKeyBytes = 32;
// Far more than a key needs: what is larger is no key file.
inline constexpr size_t kMaxKeyFileBytes = 4096;

// Writes a new random key, replacing any file (or link) of the name; the
// file is readable by its owner only from the moment it exists.
Status CreateKeyFile(const std::string& path);
// The key's bytes. Refused, with a message that names the path and the
// reason: a file that is missing or holds no key (NotFound), a symbolic
// link, anything but a regular file, a file that group or others may read
// or write, one that belongs to another user than us or root, one larger
// than kMaxKeyFileBytes, or a malformed key (InvalidArgument).
Status LoadKeyFile(const std::string& path, std::string* key);

}  // namespace tarn::suite

#endif  // TARN_SUITE_KEY_FILE_H_
