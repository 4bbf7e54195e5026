// The smallest host of the login library: create a login object, read what
// it holds before sign-on, see a refusal through the error state, release.
#include <cstdio>

#include "tarn/login.h"

int main() {
  tarn::clsLogin login;
  std::printf("serial   %s\n", login.cSerial().ToString().c_str());
  std::printf("month    %d\n", login.iMonth());
  std::printf("date     %s\n", tarn::FormatDateTime(login.CurDate()).c_str());
  std::string sub = "GL", empty;
  // Without an account set and a user the login interface is never asked.
  const bool ok = login.Login(sub, empty, empty, empty, empty, empty, empty, empty);
  std::printf("login    %s: %s\n", ok ? "true" : "false", login.ShareString().c_str());
  login.ShutDown();
  return !ok && !login.ShareString().empty() ? 0 : 1;
}
