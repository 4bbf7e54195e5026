// Waiting for what a test means, not for a time: a condition polled until
// it holds or a generous deadline passes.
#ifndef TARN_TESTS_SUPPORT_WAIT_H_
#define TARN_TESTS_SUPPORT_WAIT_H_

#include <chrono>
#include <thread>

namespace tarn::testing {

// Polls `done` every `every` until it returns true (then true) or `within`
// has passed (then false, after one last look). Use it with ASSERT_TRUE or
// EXPECT_TRUE; the deadline only bounds a run that would otherwise hang, so
// make it several times what the condition takes on a loaded machine.
template <class F>
bool WaitUntil(F&& done, std::chrono::milliseconds within,
               std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
  const auto until = std::chrono::steady_clock::now() + within;
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(every);
  }
  return done();
}

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_WAIT_H_
