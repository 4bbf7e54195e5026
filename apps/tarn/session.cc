// tarn session: one login-object host on standard input and output.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "db/fault.h"
#include "platform/env.h"
#include "session_host.h"
#include "suite/defaults.h"
#include "tarn/pump.h"

namespace tarn::app {
namespace {

// Standard input as lines, while the thread's timers run: between lines the
// reader waits on both the input and the timer descriptor, so that a
// session nobody types into still sends its heartbeat every minute.
class LineReader {
 public:
  explicit LineReader(size_t limit) : limit_(limit) {}

  // One line, at most `limit` + 1 bytes of it kept so that a huge line
  // costs no memory; false at end of input.
  bool Next(std::string* line) {
    line->clear();
    bool any = false;
    for (;;) {
      while (pos_ < end_) {
        const char c = buffer_[pos_++];
        any = true;
        if (c == '\n') return true;
        if (line->size() <= limit_) line->push_back(c);
      }
      if (eof_) return any;
      Fill();
    }
  }

 private:
  void Fill() {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {TimerFileDescriptor(), POLLIN, 0}};
    const nfds_t n = fds[1].fd >= 0 ? 2 : 1;
    if (poll(fds, n, -1) < 0) {
      if (errno != EINTR) eof_ = true;
      return;
    }
    if (n == 2 && (fds[1].revents & POLLIN)) PumpMessages();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t got = read(STDIN_FILENO, buffer_, sizeof buffer_);
      if (got < 0 && errno == EINTR) return;
      if (got <= 0) {
        eof_ = true;
        return;
      }
      pos_ = 0;
      end_ = static_cast<size_t>(got);
    }
  }

  size_t limit_;
  char buffer_[4096];
  size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
};

// TARN_DRILL_KILL_AT_WRITE=N: the process kills itself just before its Nth
// write to a database, as a station that loses power would: what crash
// drills use to show that no write order leaves a row nothing releases.
// TARN_DRILL_WRITES_FD=N: one byte to descriptor N as each write starts, so
// that a drill can kill the process from outside while a write of its
// choosing is under way. Only in builds with TARN_TEST_HOOKS.
void InstallKillDrill() {
#ifdef TARN_TEST_HOOKS
  const auto number = [](const char* name) {
    const char* text = std::getenv(name);
    return text == nullptr ? 0L : std::strtol(text, nullptr, 10);
  };
  const long at = number("TARN_DRILL_KILL_AT_WRITE");
  const long tell = number("TARN_DRILL_WRITES_FD");
  if (at <= 0 && tell <= 0) return;
  auto writes = std::make_shared<std::atomic<long>>(0);
  db::SetFaultHook([writes, at, tell](const db::Statement& st) -> std::optional<db::DbError> {
    if (!db::IsWrite(st.sql())) return std::nullopt;
    if (++*writes == at) raise(SIGKILL);
    // Best effort: the drill counts what it is told and stops listening
    // once it has killed.
    if (tell > 0) {
      [[maybe_unused]] const ssize_t told = write(static_cast<int>(tell), "w", 1);
    }
    return std::nullopt;
  });
#endif
}

}  // namespace

void ReportRegistryWarnings() {
  const std::shared_ptr<const RegistryStore> registry = Env::Current().Registry();
  for (const auto& w : registry->warnings()) {
    std::fprintf(stderr, "tarn: registry %s: line %d skipped: %s\n", registry->source().c_str(), w.line,
                 w.message.c_str());
  }
}

namespace {

int RunSession(Edition edition) {
  ReportRegistryWarnings();
  InstallKillDrill();
  suite::RegisterStandIns(edition);
  SessionHost host(edition);
  LineReader reader(SessionHost::kMaxLine);
  std::string line;
  while (!host.quit() && reader.Next(&line)) {
    if (auto answer = host.Execute(line)) {
      std::fwrite(answer->data(), 1, answer->size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  }
  return 0;
}

}  // namespace

void AddSessionCommand(CLI::App& app, int* code) {
  static bool extended_flag = false;  // the one command line of the process
  CLI::App* cmd = app.add_subcommand(
      "session", "a login object host: one command per line on standard input, one JSON object per answer");
  cmd->add_flag("--extended", extended_flag, "host the extended edition");
  cmd->callback([code] { *code = RunSession(extended_flag ? Edition::kExtended : Edition::kFull); });
}

}  // namespace tarn::app
