// A loopback port that takes connections into its backlog and never
// answers: a service that accepted and hangs. Closed with the object.
#ifndef TARN_TESTS_SUPPORT_SILENT_PORT_H_
#define TARN_TESTS_SUPPORT_SILENT_PORT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace tarn::testing {

class SilentPort {
 public:
  SilentPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 16) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      return;
    }
    address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  }
  ~SilentPort() {
    if (fd_ >= 0) close(fd_);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  // "127.0.0.1:<port>"; empty when no port could be had.
  const std::string& address() const { return address_; }

 private:
  int fd_ = -1;
  std::string address_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SILENT_PORT_H_
