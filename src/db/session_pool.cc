#include "db/session_pool.h"

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tarn::db {
namespace {

// Sessions kept per connection string, and in all: a process signs on a
// few times at once at most, and each session holds file descriptors.
constexpr size_t kIdlePerKey = 4;
constexpr size_t kIdleInAll = 32;

// Set once the pool has closed its sessions at exit; a connection closed
// later (by another static's destructor) closes its own session. Trivially
// destructible, so it can still be read then.
std::atomic<bool> pool_closed{false};

class Pool {
 public:
  ~Pool() {
    pool_closed = true;
    std::unordered_map<std::string, std::vector<std::unique_ptr<IdleSession>>> idle;
    {
      std::lock_guard lock(mu_);
      idle.swap(idle_);
      count_ = 0;
    }
  }

  std::unique_ptr<IdleSession> Take(const std::string& key) {
    std::vector<std::unique_ptr<IdleSession>> stale;  // closed outside the lock
    std::unique_ptr<IdleSession> found;
    {
      std::lock_guard lock(mu_);
      auto it = idle_.find(key);
      if (it == idle_.end()) return nullptr;
      std::vector<std::unique_ptr<IdleSession>>& list = it->second;
      while (!list.empty() && !found) {
        std::unique_ptr<IdleSession> s = std::move(list.back());
        list.pop_back();
        --count_;
        if (s->StillValid()) {
          found = std::move(s);
        } else {
          stale.push_back(std::move(s));
        }
      }
      if (list.empty()) idle_.erase(it);
    }
    return found;
  }

  // A session that finds the pool full is closed as `session` goes, after
  // the lock.
  void Keep(const std::string& key, std::unique_ptr<IdleSession> session) {
    std::lock_guard lock(mu_);
    if (count_ >= kIdleInAll) return;
    std::vector<std::unique_ptr<IdleSession>>& list = idle_[key];
    if (list.size() >= kIdlePerKey) return;
    list.push_back(std::move(session));
    ++count_;
  }

 private:
  std::mutex mu_;
  std::unordered_map<std::string, std::vector<std::unique_ptr<IdleSession>>> idle_;
  size_t count_ = 0;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

std::unique_ptr<IdleSession> TakeIdleSession(const std::string& key) {
  if (pool_closed) return nullptr;
  return ThePool().Take(key);
}

void KeepIdleSession(const std::string& key, std::unique_ptr<IdleSession> session) {
  if (pool_closed) return;
  ThePool().Keep(key, std::move(session));
}

}  // namespace tarn::db
