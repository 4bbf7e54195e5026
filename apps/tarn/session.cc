// tarn session: one login-object host on standard input and output.
#include <cstdio>
#include <iostream>
#include <string>

#include "commands.h"
#include "platform/env.h"
#include "session_host.h"

namespace tarn::app {
namespace {

// Reads one line, keeping at most `limit` + 1 bytes of it so that a huge
// line costs no memory; false at end of input.
bool ReadLine(std::FILE* in, std::string* line, size_t limit) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line->size() <= limit) line->push_back(static_cast<char>(c));
  }
  return any;
}

}  // namespace

void ReportRegistryWarnings() {
  const RegistryStore& registry = Env::Current().Registry();
  for (const auto& w : registry.warnings()) {
    std::fprintf(stderr, "tarn: registry %s: line %d skipped: %s\n", registry.source().c_str(), w.line,
                 w.message.c_str());
  }
}

int RunSession(const Args& args) {
  Edition edition = Edition::kFull;
  for (const std::string& a : args) {
    if (a == "--extended") {
      edition = Edition::kExtended;
    } else {
      std::fprintf(stderr, "usage: tarn session [--extended]\n");
      return 2;
    }
  }
  ReportRegistryWarnings();
  SessionHost host(edition);
  std::string line;
  while (!host.quit() && ReadLine(stdin, &line, SessionHost::kMaxLine)) {
    if (auto answer = host.Execute(line)) {
      std::fwrite(answer->data(), 1, answer->size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  }
  return 0;
}

}  // namespace tarn::app
