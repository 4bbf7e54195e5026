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

// Writes a new random key; the file is created readable by its owner only.
Status CreateKeyFile(const std::string& path);
// The key's bytes; NotFound or InvalidArgument when the file holds none.
Status LoadKeyFile(const std::string& path, std::string* key);

}  // namespace tarn::suite

#endif  // TARN_SUITE_KEY_FILE_H_
