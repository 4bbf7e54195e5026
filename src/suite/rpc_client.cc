#include "suite/rpc_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "suite/wire.h"

namespace tarn::suite {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMaxReplyLine = 4096;

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

struct AddrInfoDeleter {
  void operator()(addrinfo* a) const {
    if (a) freeaddrinfo(a);
  }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// getaddrinfo has no timeout of its own: a lookup that outlives the
// deadline is left to finish on its own thread, which owns its results.
struct Lookup {
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  int rc = 0;
  AddrInfoPtr result;
};

Status Resolve(const std::string& host, uint16_t port, Clock::time_point deadline, AddrInfoPtr* out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  const std::string service = std::to_string(port);
  // Numeric addresses need no lookup.
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &res) == 0) {
    out->reset(res);
    return Status::OK();
  }
  hints.ai_flags = AI_NUMERICSERV;
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, service, hints] {
      addrinfo* r = nullptr;
      const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &r);
      std::lock_guard<std::mutex> lock(lookup->mu);
      lookup->rc = rc;
      lookup->result.reset(r);
      lookup->done = true;
      lookup->cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return Status::Unavailable("cannot look up host '" + host + "': no thread for the lookup");
  }
  std::unique_lock<std::mutex> lock(lookup->mu);
  if (!lookup->cv.wait_until(lock, deadline, [&] { return lookup->done; })) {
    return Status::Unavailable("looking up host '" + host + "' timed out");
  }
  if (lookup->rc != 0 || !lookup->result) {
    return Status::Unavailable("unknown host '" + host + "': " + gai_strerror(lookup->rc));
  }
  *out = std::move(lookup->result);
  return Status::OK();
}

class Socket {
 public:
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Waits for `events` on fd until the deadline; false on timeout or error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int rc = poll(&p, 1, MillisLeft(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

Status Connect(const addrinfo* list, Clock::time_point deadline, Socket* sock, const std::string& where) {
  std::string last = "no address";
  for (const addrinfo* a = list; a; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      last = std::strerror(errno);
      continue;
    }
    sock->Reset(fd);
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) return Status::OK();
    if (errno != EINPROGRESS) {
      last = std::strerror(errno);
      continue;
    }
    if (!WaitFor(fd, POLLOUT, deadline)) return Status::Unavailable("connecting to " + where + " timed out");
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) return Status::OK();
    last = std::strerror(err ? err : errno);
  }
  return Status::Unavailable("cannot connect to " + where + ": " + last);
}

// One line (without its newline) from `sock` into `line`; what came after
// it stays in `in`.
Status ReadLine(const Socket& sock, Clock::time_point deadline, const std::string& where, std::string* in,
                std::string* line) {
  char buf[1024];
  for (;;) {
    const size_t nl = in->find('\n');
    if (nl != std::string::npos) {
      line->assign(*in, 0, nl);
      in->erase(0, nl + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return Status::OK();
    }
    if (in->size() > kMaxReplyLine) return Status::IOError("reply from " + where + " is longer than a line");
    if (!WaitFor(sock.fd(), POLLIN, deadline)) return Status::Unavailable("waiting for " + where + " timed out");
    const ssize_t n = recv(sock.fd(), buf, sizeof buf, 0);
    if (n > 0) {
      in->append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      return Status::IOError(where + " closed the connection without a reply");
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return Status::IOError("reading from " + where + " failed: " + std::strerror(errno));
    }
  }
}

}  // namespace

Status TcpExchange(const std::string& host, uint16_t port, int32_t handshake, std::string_view request,
                   std::string_view key, int timeout_ms, std::string* reply_line) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const std::string where = host + ":" + std::to_string(port);
  AddrInfoPtr addrs;
  Status s = Resolve(host, port, deadline, &addrs);
  if (!s.ok()) return s;
  Socket sock;
  s = Connect(addrs.get(), deadline, &sock, where);
  if (!s.ok()) return s;

  // The frame can only be signed once the connection's nonce is known.
  std::string in, greeting, nonce;
  s = ReadLine(sock, deadline, where, &in, &greeting);
  if (!s.ok()) return s;
  if (!greeting.empty() && greeting.front() == '-') {  // busy: refused before any request
    *reply_line = std::move(greeting);
    return Status::OK();
  }
  if (!ParseGreeting(greeting, &nonce)) return Status::IOError(where + " did not greet as a management service");
  const std::string frame = RequestFrame(handshake, request, key, FrameChannel{nonce, 1});

  size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t n = send(sock.fd(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(sock.fd(), POLLOUT, deadline)) return Status::Unavailable("sending to " + where + " timed out");
    } else {
      return Status::IOError("sending to " + where + " failed: " + std::strerror(errno));
    }
  }
  return ReadLine(sock, deadline, where, &in, reply_line);
}

}  // namespace tarn::suite
