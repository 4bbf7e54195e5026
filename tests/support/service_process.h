// `tarn service` as a child process of a test: started on a free loopback
// port, its log kept in a file, stopped with SIGTERM.
#ifndef TARN_TESTS_SUPPORT_SERVICE_PROCESS_H_
#define TARN_TESTS_SUPPORT_SERVICE_PROCESS_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/wait.h"

extern char** environ;

namespace tarn::testing {

class ServiceProcess {
 public:
  ServiceProcess() = default;
  ~ServiceProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (!log_path_.empty()) unlink(log_path_.c_str());
  }
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts `tarn service --listen 127.0.0.1:0 <args>` and waits (at most
  // 20 s) for its "listening on" line. false when it did not come.
  bool Start(const std::vector<std::string>& args) {
    static int counter = 0;
    log_path_ = "/tmp/tarn-svc-log." + std::to_string(getpid()) + "." + std::to_string(counter++);
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv{std::string(TARN_BIN_DIR) + "/tarn", "service", "--listen", "127.0.0.1:0"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      return false;
    }
    std::string line;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 20000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    close(out[0]);
    const size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) return false;
    port_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    return true;
  }

  // SIGTERM, then the exit status (-1 when it did not end in 10 s).
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(10))) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  uint16_t port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const {
    std::ifstream in(log_path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string log_path_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SERVICE_PROCESS_H_
