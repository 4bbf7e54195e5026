// `tarn session` as a child process that a test talks to line by line, as
// a module's station would: one command in, one JSON answer out.
#ifndef TARN_TESTS_SUPPORT_SESSION_PROCESS_H_
#define TARN_TESTS_SUPPORT_SESSION_PROCESS_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace tarn::testing {

class SessionProcess {
 public:
  // `env` entries ("NAME=value") are added to this process's environment.
  SessionProcess(const std::vector<std::string>& env, const std::vector<std::string>& args = {}) {
    int in[2], out[2];
    // Close-on-exec, so that later children do not hold this one's input open.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> argv{std::string(TARN_BIN_DIR) + "/tarn", "session"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) envs.push_back(*e);
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> cenv;
    for (std::string& e : envs) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    if (posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~SessionProcess() {
    if (to_ >= 0) close(to_);
    if (pid_ > 0) {
      Wait();
    }
    if (from_ >= 0) close(from_);
  }
  SessionProcess(const SessionProcess&) = delete;
  SessionProcess& operator=(const SessionProcess&) = delete;

  bool running() const { return pid_ > 0; }

  // One command; its answer, or null when the process gave none in time.
  nlohmann::json Ask(const std::string& line, int timeout_ms = 20000) {
    const std::string text = line + "\n";
    if (write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return nullptr;
    std::string answer;
    for (;;) {
      const size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        answer = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return nlohmann::json::parse(answer, nullptr, false);
      }
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, timeout_ms) <= 0) return nullptr;
      char buf[4096];
      const ssize_t n = read(from_, buf, sizeof buf);
      if (n <= 0) return nullptr;
      buffer_.append(buf, static_cast<size_t>(n));
    }
  }

  // Ends it as a power loss would: no release runs.
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    Wait();
  }

  // Closes its input (a module that ends) and waits; the exit code.
  int Finish() {
    if (to_ >= 0) close(to_);
    to_ = -1;
    return Wait();
  }

 private:
  int Wait() {
    int status = 0;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string buffer_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SESSION_PROCESS_H_
