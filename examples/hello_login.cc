// The smallest host of the login library: create a login object, read what
// it holds before sign-on and its error state, release it.
#include <cstdio>

#include "tarn/login.h"

int main() {
  tarn::clsLogin login;
  std::printf("serial   %s\n", login.cSerial().ToString().c_str());
  std::printf("month    %d\n", login.iMonth());
  std::printf("date     %s\n", tarn::FormatDateTime(login.CurDate()).c_str());
  std::printf("error    %d %s\n", login.LogState(), login.GetLastErrorResID() ? "record" : "none");
  login.ShutDown();
  return login.LogState() == 0 ? 0 : 1;
}
