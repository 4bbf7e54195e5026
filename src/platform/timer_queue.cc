#include "platform/timer_queue.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/env.h"
#include "tarn/pump.h"

namespace tarn {

TimerQueue::~TimerQueue() {
  if (fd_ >= 0) close(fd_);
}

TimerQueue& TimerQueue::ForThread() {
  thread_local TimerQueue queue;
  return queue;
}

uint64_t TimerQueue::Add(int64_t interval_ms, Callback callback) {
  const uint64_t id = next_id_++;
  timers_[id] = Timer{interval_ms, Env::Current().MonotonicMillis() + interval_ms, std::move(callback)};
  Rearm();
  return id;
}

void TimerQueue::Remove(uint64_t id) {
  timers_.erase(id);
  Rearm();
}

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
  Rearm();
  return fired;
}

int64_t TimerQueue::MillisUntilNext() const {
  if (timers_.empty()) return -1;
  int64_t next = INT64_MAX;
  for (const auto& [id, timer] : timers_) next = std::min(next, timer.due_ms);
  return std::max<int64_t>(0, next - Env::Current().MonotonicMillis());
}

int TimerQueue::Descriptor() {
  if (fd_ < 0) {
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    Rearm();
  }
  return fd_;
}

// Arming anew also clears an expiry not yet read, so the descriptor reads
// "due" exactly while a timer is due. The wait is relative, so a clock the
// Env runs ahead (a test, :advance) is honoured at the next rearm.
void TimerQueue::Rearm() {
  if (fd_ < 0) return;
  itimerspec when{};
  const int64_t wait_ms = MillisUntilNext();
  if (wait_ms >= 0) {
    when.it_value.tv_sec = static_cast<time_t>(wait_ms / 1000);
    when.it_value.tv_nsec = static_cast<long>(wait_ms % 1000) * 1000000L;
    if (wait_ms == 0) when.it_value.tv_nsec = 1;  // zero would disarm: due now
  }
  timerfd_settime(fd_, 0, &when, nullptr);
}

int PumpMessages() { return TimerQueue::ForThread().RunDue(); }

int64_t MillisUntilNextTimer() { return TimerQueue::ForThread().MillisUntilNext(); }

int TimerFileDescriptor() { return TimerQueue::ForThread().Descriptor(); }

}  // namespace tarn
