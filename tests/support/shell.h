// A command through the shell, as a test starts the tool and the examples.
#ifndef TARN_TESTS_SUPPORT_SHELL_H_
#define TARN_TESTS_SUPPORT_SHELL_H_

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tarn::testing {

// Runs `command` with its error output merged; its exit code (-1 when it
// did not exit), and what it printed in `out` when given.
inline int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::string text;
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  if (out) *out = text;
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SHELL_H_
