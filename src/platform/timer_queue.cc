#include "platform/timer_queue.h"

#include <algorithm>
#include <vector>

#include "platform/env.h"

namespace tarn {

TimerQueue& TimerQueue::ForThread() {
  thread_local TimerQueue queue;
  return queue;
}

uint64_t TimerQueue::Add(int64_t interval_ms, Callback callback) {
  const uint64_t id = next_id_++;
  timers_[id] = Timer{interval_ms, Env::Current().MonotonicMillis() + interval_ms, std::move(callback)};
  return id;
}

void TimerQueue::Remove(uint64_t id) { timers_.erase(id); }

int TimerQueue::RunDue() {
  const int64_t now = Env::Current().MonotonicMillis();
  std::vector<uint64_t> due;
  for (const auto& [id, timer] : timers_) {
    if (timer.due_ms <= now) due.push_back(id);
  }
  int fired = 0;
  for (uint64_t id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // removed by an earlier callback
    it->second.due_ms = now + it->second.interval_ms;
    Callback callback = it->second.callback;  // the callback may remove its own timer
    callback();
    ++fired;
  }
  return fired;
}

int64_t TimerQueue::MillisUntilNext() const {
  if (timers_.empty()) return -1;
  int64_t next = INT64_MAX;
  for (const auto& [id, timer] : timers_) next = std::min(next, timer.due_ms);
  return std::max<int64_t>(0, next - Env::Current().MonotonicMillis());
}

}  // namespace tarn
