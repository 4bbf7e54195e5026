// The host's pump: timers run on the thread that made them, when it pumps,
// and the thread's descriptor polls readable exactly while one is due.
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "platform/timer_queue.h"
#include "support/fake_env.h"
#include "tarn/pump.h"

namespace tarn {
namespace {

bool Readable(int fd, int wait_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, wait_ms) == 1 && (p.revents & POLLIN);
}

TEST(PumpTest, TheDescriptorWakesTheHostWhenATimerIsDue) {
  int ticks = 0;
  const uint64_t id = TimerQueue::ForThread().Add(300, [&] { ++ticks; });
  const int fd = TimerFileDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(TimerFileDescriptor(), fd);  // one per thread
  EXPECT_FALSE(Readable(fd, 0));
  EXPECT_GT(MillisUntilNextTimer(), 0);
  ASSERT_TRUE(Readable(fd, 10000));
  EXPECT_EQ(MillisUntilNextTimer(), 0);
  EXPECT_EQ(PumpMessages(), 1);
  EXPECT_EQ(ticks, 1);
  // Pumped: quiet again until the next interval.
  EXPECT_FALSE(Readable(fd, 0));
  TimerQueue::ForThread().Remove(id);
  EXPECT_EQ(MillisUntilNextTimer(), -1);
  EXPECT_EQ(PumpMessages(), 0);
}

TEST(PumpTest, TimersFollowTheEnvClockAndStayOnTheirThread) {
  testing::FakeEnv env;
  testing::FakeEnvScope scope(env);
  int ticks = 0;
  const uint64_t id = TimerQueue::ForThread().Add(60000, [&] { ++ticks; });
  EXPECT_EQ(MillisUntilNextTimer(), 60000);
  int other_thread_ran = -1;
  std::thread([&] { other_thread_ran = PumpMessages(); }).join();
  env.Advance(60000);
  EXPECT_EQ(MillisUntilNextTimer(), 0);
  std::thread([&] { other_thread_ran = PumpMessages(); }).join();
  EXPECT_EQ(other_thread_ran, 0);
  EXPECT_EQ(ticks, 0);
  // Three intervals behind: one tick, then one interval to the next.
  env.Advance(120000);
  EXPECT_EQ(PumpMessages(), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(MillisUntilNextTimer(), 60000);
  TimerQueue::ForThread().Remove(id);
}

}  // namespace
}  // namespace tarn
