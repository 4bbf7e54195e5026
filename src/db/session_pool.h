// Open sessions of the embedded database, kept for reuse within the
// process. Opening one reads the whole schema and prepares every template
// again; a sign-on opens several. A connection that closes cleanly leaves
// its session here, and the next Open with the same connection string
// takes it back, prepared statements and all. Safe across threads; what is
// left is closed when the process ends (or the library is unloaded).
#ifndef TARN_DB_SESSION_POOL_H_
#define TARN_DB_SESSION_POOL_H_

#include <memory>
#include <string>

namespace tarn::db {

class IdleSession {
 public:
  virtual ~IdleSession() = default;
  // Whether the session still reaches what it opened (its files were not
  // removed or replaced meanwhile).
  virtual bool StillValid() const = 0;
};

// An idle session opened with `key` that is still valid, or null.
std::unique_ptr<IdleSession> TakeIdleSession(const std::string& key);

// Keeps `session` for the next TakeIdleSession(key). It is closed instead
// when enough sessions wait for that key already, or the process is ending.
void KeepIdleSession(const std::string& key, std::unique_ptr<IdleSession> session);

}  // namespace tarn::db

#endif  // TARN_DB_SESSION_POOL_H_
