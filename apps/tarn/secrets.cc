#include "secrets.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/text.h"

namespace tarn::app {

bool ReadPassword(const std::string& prompt, std::string* password) {
  const bool terminal = isatty(STDIN_FILENO) != 0;
  termios saved{};
  if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  const bool got = static_cast<bool>(std::getline(std::cin, *password));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
  }
  if (!password->empty() && password->back() == '\r') password->pop_back();
  return got;
}

bool ReadSecretFile(const std::string& path, std::string* text) {
  std::ifstream in(path);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = std::string(TrimSpace(all.str()));
  return !text->empty();
}

}  // namespace tarn::app
