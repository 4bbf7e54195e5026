// A sweeper's memory of the tasks it has seen: since when, on its own
// monotonic clock, each task's confirmation count has stood still. A lease
// runs out when the count stood still for the whole lease as this sweeper
// saw it, so no clock of another machine, and no jump of the wall clock,
// can end a live task early or keep a dead one. A task first seen now, as
// every task is by a sweeper that just started, has a full lease ahead.
#ifndef TARN_SUITE_MGMT_LEASE_WATCH_H_
#define TARN_SUITE_MGMT_LEASE_WATCH_H_

#include <cstdint>
#include <string>
#include <unordered_map>

namespace tarn::suite {

// Where a new task's count starts: at random, so that a task forgotten and
// admitted again under the same id, between two looks of some sweeper,
// never shows that sweeper a count it saw before and looks still.
int64_t FreshCount();

class LeaseWatch {
 public:
  // Starts a look at every task: those not seen again before EndRound are
  // forgotten, so the memory holds only what exists.
  void BeginRound() { ++round_; }
  // How long (ms) the task's count has stood at `beats`; 0 when it is new
  // to this watch or moved since the last look.
  int64_t Still(const std::string& identity, const std::string& task, int64_t beats, int64_t now_ms);
  void EndRound();
  // Forgets a task the sweeper removed: if it comes back, it is new.
  void Drop(const std::string& identity, const std::string& task);

  size_t size() const { return seen_.size(); }

 private:
  static std::string Key(const std::string& identity, const std::string& task);

  struct Seen {
    int64_t beats;
    int64_t since_ms;
    uint64_t round;
  };
  std::unordered_map<std::string, Seen> seen_;
  uint64_t round_ = 0;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_LEASE_WATCH_H_
