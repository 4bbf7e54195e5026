// Files that hold a secret (keys, the registry file that names a database
// with its password) are replaced whole: the text goes into a new file at
// a temporary name beside the target, created exclusively and without
// following links, and is renamed over the target once it is on disk. A
// reader sees the old file or the new one, a link planted at the name is
// replaced rather than followed, and no moment exists in which the secret
// sits in a file that others may read.
#ifndef TARN_PLATFORM_SECRET_FILE_H_
#define TARN_PLATFORM_SECRET_FILE_H_

#include <string>
#include <string_view>

#include "tarn/status.h"

namespace tarn {

enum class SecretMode {
  // Always 0600: keys, which nobody but their owner has reason to read.
  kOwnerOnly,
  // 0600 when new. A file that exists keeps its read bits, so that other
  // programs its owner let read it still can, but loses any write bit of
  // group or others: a rewrite never leaves the secret more exposed than
  // its owner chose, nor open to changes from others.
  kKeepReaders,
};

Status WriteSecretFile(const std::string& path, std::string_view text, SecretMode mode);

}  // namespace tarn

#endif  // TARN_PLATFORM_SECRET_FILE_H_
