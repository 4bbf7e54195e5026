// tarn demo: a module's life, told as a session transcript.
#include <cstdio>

#include "commands.h"
#include "session_host.h"

namespace tarn::app {

int RunDemo(const Args&) {
  static const char* const kScript[] = {
      "# Station 1 creates its login object and reads what it holds before sign-on.",
      "cSerial",
      "cServerSerial",
      "iMonth",
      "IsAdmin",
      "CurDate",
      "let cServer \"APPSRV\"",
      "let cServer \"\"",
      "cServer",
      "GetLastErrorResID",
      "# A second login object on the same thread shares the error state.",
      ":new",
      "cSerial",
      "Login \"GL\"",
      "LogState",
      ":use 0",
      "LogState",
      "ShutDown",
      ":quit",
  };
  SessionHost host;
  for (const char* line : kScript) {
    if (line[0] == '#') {
      std::printf("\n%s\n", line);
      continue;
    }
    std::printf("> %s\n", line);
    if (auto answer = host.Execute(line)) std::printf("%s\n", answer->c_str());
  }
  return 0;
}

}  // namespace tarn::app
