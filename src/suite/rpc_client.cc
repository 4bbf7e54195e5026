#include "suite/rpc_client.h"

#include <asio.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "suite/wire.h"

namespace tarn::suite {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
constexpr size_t kMaxReplyLine = 4096;

// One I/O thread for every exchange of the process. It is joined when the
// library unloads (or the process exits), so no code of ours runs after
// it is gone; a name lookup still under way then is waited for there.
class IoThread {
 public:
  static asio::io_context& Context() {
    static IoThread instance;
    return instance.io_;
  }
  ~IoThread() {
    work_.reset();
    io_.stop();
    if (thread_.joinable()) thread_.join();
  }

 private:
  IoThread() : work_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::thread thread_;
};

// The state of one exchange, kept alive by the handlers that still refer
// to it: a caller that gave up at its deadline has already left.
class Exchange : public std::enable_shared_from_this<Exchange> {
 public:
  Exchange(asio::io_context& io, std::string where, int32_t handshake, std::string request, std::string key)
      : resolver_(io),
        socket_(io),
        timer_(io),
        where_(std::move(where)),
        handshake_(handshake),
        request_(std::move(request)),
        key_(std::move(key)) {}

  // Taken before the exchange starts, on the caller's thread.
  std::future<std::pair<Status, std::string>> Outcome() { return result_.get_future(); }

  // On the I/O thread, which owns the exchange's objects from then on.
  void Start(const std::string& host, uint16_t port, Clock::time_point deadline) {
    auto self = shared_from_this();
    timer_.expires_at(deadline);
    timer_.async_wait([self](const asio::error_code& ec) {
      if (ec != asio::error::operation_aborted) self->Finish(Status::Unavailable(self->phase_ + " timed out"));
    });
    phase_ = "looking up host '" + host + "'";
    resolver_.async_resolve(
        host, std::to_string(port), tcp::resolver::numeric_service,
        [self, host](const asio::error_code& ec, const tcp::resolver::results_type& results) {
          if (ec) return self->Finish(Status::Unavailable("unknown host '" + host + "': " + ec.message()));
          self->Connect(results);
        });
  }

 private:
  void Connect(const tcp::resolver::results_type& results) {
    phase_ = "connecting to " + where_;
    auto self = shared_from_this();
    asio::async_connect(socket_, results, [self](const asio::error_code& ec, const tcp::endpoint&) {
      if (ec) return self->Finish(Status::Unavailable("cannot connect to " + self->where_ + ": " + ec.message()));
      self->phase_ = "waiting for " + self->where_;
      self->ReadLine([self](std::string greeting) { self->OnGreeting(std::move(greeting)); });
    });
  }

  void OnGreeting(std::string greeting) {
    if (!greeting.empty() && greeting.front() == '-') return Finish(Status::OK(), std::move(greeting));  // busy
    std::string nonce;
    if (!ParseGreeting(greeting, &nonce))
      return Finish(Status::IOError(where_ + " did not greet as a management service"));
    // The frame can only be signed once the connection's nonce is known.
    frame_ = RequestFrame(handshake_, request_, key_, FrameChannel{nonce, 1});
    phase_ = "sending to " + where_;
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(frame_), [self](const asio::error_code& ec, size_t) {
      if (ec) return self->Finish(Status::IOError("sending to " + self->where_ + " failed: " + ec.message()));
      self->phase_ = "waiting for " + self->where_;
      self->ReadLine([self](std::string reply) { self->Finish(Status::OK(), std::move(reply)); });
    });
  }

  // One line (without its newline, or its carriage return); what came
  // after it stays in `in_`.
  template <class Next>
  void ReadLine(Next next) {
    auto self = shared_from_this();
    asio::async_read_until(
        socket_, asio::dynamic_buffer(in_, kMaxReplyLine + 1), '\n',
        [self, next](const asio::error_code& ec, size_t n) {
          if (ec == asio::error::not_found) {
            return self->Finish(Status::IOError("reply from " + self->where_ + " is longer than a line"));
          }
          if (ec == asio::error::eof) {
            return self->Finish(Status::IOError(self->where_ + " closed the connection without a reply"));
          }
          if (ec) return self->Finish(Status::IOError("reading from " + self->where_ + " failed: " + ec.message()));
          std::string line = self->in_.substr(0, n - 1);
          self->in_.erase(0, n);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          next(std::move(line));
        });
  }

  // The first outcome wins; everything still pending is cancelled.
  void Finish(Status s, std::string line = std::string()) {
    if (finished_) return;
    finished_ = true;
    asio::error_code ignored;
    timer_.cancel();
    resolver_.cancel();
    socket_.close(ignored);
    result_.set_value({std::move(s), std::move(line)});
  }

  tcp::resolver resolver_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  const std::string where_;
  const int32_t handshake_;
  const std::string request_, key_;
  std::string phase_, frame_, in_;
  bool finished_ = false;  // touched on the I/O thread only
  std::promise<std::pair<Status, std::string>> result_;
};

}  // namespace

Status TcpExchange(const std::string& host, uint16_t port, int32_t handshake, std::string_view request,
                   std::string_view key, int timeout_ms, std::string* reply_line) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  asio::io_context& io = IoThread::Context();
  auto exchange = std::make_shared<Exchange>(io, host + ":" + std::to_string(port), handshake, std::string(request),
                                             std::string(key));
  std::future<std::pair<Status, std::string>> done = exchange->Outcome();
  asio::post(io, [exchange, host, port, deadline] { exchange->Start(host, port, deadline); });
  // The exchange's timer answers at the deadline; a name lookup that does
  // not return keeps only its handler waiting, not the caller.
  if (done.wait_until(deadline + std::chrono::milliseconds(100)) != std::future_status::ready) {
    return Status::Unavailable("looking up host '" + host + "' timed out");
  }
  auto [status, line] = done.get();
  if (status.ok()) *reply_line = std::move(line);
  return status;
}

}  // namespace tarn::suite
