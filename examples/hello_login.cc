// The smallest host of the login library: it links one edition of the
// library and includes only its public headers. It creates a login object,
// signs on when told whom to sign on, and then runs its message loop until
// the first heartbeat has gone to the management service.
//
//   hello_login                                    no sign-on: shows a refusal
//   echo PASSWORD | hello_login SUB ACC YEAR USER DATE
//
// Exits 0 when everything it tried worked.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "tarn/login.h"
#include "tarn/pump.h"

namespace {

// Waits in the host's loop, as a module's message loop would, until a timer
// of this thread has run or `limit` has passed.
int RunLoopUntilATimerFires(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd{tarn::TimerFileDescriptor(), POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int64_t next = tarn::MillisUntilNextTimer();
    if (next < 0) return 0;  // no timer at all
    poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), next + 1000)));
    if (const int fired = tarn::PumpMessages(); fired > 0) return fired;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tarn::clsLogin login;
  std::printf("edition  %s\n", login.edition() == tarn::Edition::kFull ? "full" : "extended");
  std::printf("serial   %s\n", login.cSerial().ToString().c_str());
  std::printf("install  %s\n", login.GetIstallPath().c_str());

  if (argc != 6) {
    std::string sub = "GL", empty;
    // Without an account set and a user the login interface is never asked.
    const bool ok = login.Login(sub, empty, empty, empty, empty, empty, empty, empty);
    std::printf("login    %s: %s\n", ok ? "true" : "false", login.ShareString().c_str());
    return !ok && !login.ShareString().empty() ? 0 : 1;
  }

  tarn::LoginParams params;
  params.sub_id = argv[1];
  params.acc_id = argv[2];
  params.year_id = argv[3];
  params.user_id = argv[4];
  params.date = argv[5];
  std::getline(std::cin, params.password);  // never on the command line
  const bool ok = login.Login(params);
  std::printf("login    %s %s\n", ok ? "true" : "false", login.ShareString().c_str());
  if (!ok) return 1;
  std::printf("account  %s %s, period %d, user %s, task %s\n", login.cAcc_Id().c_str(), login.cAccName().c_str(),
              login.iMonth(), login.cUserName().c_str(), login.TaskId().c_str());
  std::printf("waiting for the first heartbeat to the management service (60 s after the sign-on)\n");
  std::fflush(stdout);

  const int fired = RunLoopUntilATimerFires(std::chrono::seconds(90));
  std::printf("heartbeat %d, LogState %d\n", fired, login.LogState());
  login.ShutDown();
  return fired > 0 && login.LogState() == 0 ? 0 : 1;
}
