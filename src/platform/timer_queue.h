// The thread's timers. A timer fires on the thread that created it, when
// that thread pumps the queue (RunDue), as a window timer fires from a
// message loop: callbacks never run concurrently with the thread's calls.
// The host's view of it is tarn/pump.h.
#ifndef TARN_PLATFORM_TIMER_QUEUE_H_
#define TARN_PLATFORM_TIMER_QUEUE_H_

#include <cstdint>
#include <functional>
#include <map>

namespace tarn {

class TimerQueue {
 public:
  using Callback = std::function<void()>;

  TimerQueue() = default;
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // This thread's queue.
  static TimerQueue& ForThread();

  // A repeating timer; the first tick comes one interval from now.
  uint64_t Add(int64_t interval_ms, Callback callback);
  void Remove(uint64_t id);
  bool Contains(uint64_t id) const { return timers_.count(id) != 0; }
  size_t size() const { return timers_.size(); }

  // Runs the callbacks that are due by Env::Current().MonotonicMillis();
  // a timer that fell several intervals behind fires once. Returns how many
  // callbacks ran.
  int RunDue();
  // Milliseconds until the next timer is due (0 when one is due), -1 when
  // there is none: what a host waits for in its loop.
  int64_t MillisUntilNext() const;

  // A timerfd armed for the next due timer, made on first use; -1 when the
  // system gives none.
  int Descriptor();

 private:
  struct Timer {
    int64_t interval_ms;
    int64_t due_ms;
    Callback callback;
  };
  // Sets the descriptor (when there is one) to the next due timer.
  void Rearm();

  std::map<uint64_t, Timer> timers_;
  uint64_t next_id_ = 1;
  int fd_ = -1;
};

}  // namespace tarn

#endif  // TARN_PLATFORM_TIMER_QUEUE_H_
