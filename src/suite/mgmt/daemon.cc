#include "suite/mgmt/daemon.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <chrono>
#include <csignal>
#include <ctime>
#include <memory>
#include <unordered_set>

#include <asio.hpp>

#include "db/connection.h"
#include "db/log.h"
#include "platform/env.h"
#include "suite/mgmt/serve_line.h"
#include "suite/mgmt/service_logic.h"
#include "suite/key_file.h"
#include "suite/mgmt/durable_task_store.h"
#include "suite/mgmt/lease_sweeper.h"
#include "suite/mgmt/task_store.h"
#include "suite/wire.h"

namespace tarn::suite {
namespace {

using asio::ip::tcp;

class Log {
 public:
  explicit Log(std::FILE* f) : f_(f) {}
  void operator()(const std::string& line) const {
    char stamp[32];
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::fprintf(f_, "%s tarn service: %s\n", stamp, line.c_str());
    std::fflush(f_);
  }

 private:
  std::FILE* f_;
};

class Server;

// One client connection. Greets with the connection's nonce, answers every
// complete line, and reads on only when its answers are written: a client
// that does not read its replies stops being read, so nothing piles up.
// Only requests signed for this connection, in order, keep it open past
// the idle timeout; a run of refused lines closes it.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Server& server);
  ~Session();
  void Start();
  // Answers `line` and closes: a client over the limit.
  void Refuse(const std::string& line);
  void Close();

 private:
  void Read();
  void OnRead(const asio::error_code& ec, size_t n);
  void Consume(const char* data, size_t n);
  void Answer(std::string_view line);
  void Refused(suite::FrameFault fault);
  void WaitIdle(std::chrono::steady_clock::duration d);

  tcp::socket socket_;
  Server& server_;
  asio::steady_timer idle_;
  std::array<char, 4096> in_;
  std::string pending_;
  std::string out_;
  bool discarding_ = false;  // inside an over-long line
  std::string nonce_;        // of the greeting: what every frame is bound to
  uint64_t next_seq_ = 1;
  int refused_in_a_row_ = 0;
  bool closing_ = false;  // once what is written, and nothing more read
  // Moved by every accepted request; the idle timer looks at it when it
  // fires rather than being re-armed per request.
  std::chrono::steady_clock::time_point last_activity_;
};

// Refused lines in a row that close a connection: a client with the key
// sends none, and junk must not hold a slot until the idle timeout.
constexpr int kMaxRefusedInARow = 3;

class Server {
 public:
  Server(asio::io_context& io, const DaemonOptions& o, suite::ServiceLogic& logic, const Log& log)
      : options_(o), logic_(logic), log_(log), acceptor_(io), accept_retry_(io), signals_(io, SIGINT, SIGTERM) {}

  bool Listen(std::string* error) {
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(options_.listen_host, ec);
    if (ec) {
      *error = "cannot listen on '" + options_.listen_host + "': not an IP address";
      return false;
    }
    tcp::endpoint endpoint(address, options_.port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      *error = "cannot listen on " + options_.listen_host + ":" + std::to_string(options_.port) + ": " + ec.message();
      return false;
    }
    return true;
  }

  uint16_t port() const { return acceptor_.local_endpoint().port(); }

  void Start() {
    Accept();
    signals_.async_wait([this](const asio::error_code& ec, int signo) {
      if (ec) return;
      log_(std::string("stopping on ") + (signo == SIGTERM ? "SIGTERM" : "SIGINT"));
      Stop();
    });
  }

  suite::ServiceLogic& logic() { return logic_; }
  const DaemonOptions& options() const { return options_; }
  const Log& log() const { return log_; }
  void Add(Session* s) { sessions_.insert(s); }
  void Remove(Session* s) { sessions_.erase(s); }

  enum Refusal { kMalformed, kUnsigned, kOutOfOrder, kClosed, kRefusalKinds };

  // Logs a refusal, at most one line per kind per interval with the count
  // of those left out: a flood of junk must not fill the disk.
  void LogRefusal(Refusal kind, const std::string& from) {
    static const std::string kWhat[kRefusalKinds] = {
        "refused a malformed line",
        "refused a request that is not signed with the service key for its connection (forged, or replayed from "
        "another)",
        "refused a request out of order on its connection (replayed)",
        "closed a connection after " + std::to_string(kMaxRefusedInARow) + " refused lines in a row",
    };
    RefusalLog& r = refusals_[kind];
    const auto now = std::chrono::steady_clock::now();
    if (r.logged && now - r.last < kRefusalLogInterval) {
      ++r.left_out;
      return;
    }
    std::string line = kWhat[kind] + " from " + from;
    if (r.left_out > 0) line += " (and " + std::to_string(r.left_out) + " more since the last such line)";
    log_(line);
    r = RefusalLog{now, 0, true};
  }

 private:
  static constexpr std::chrono::seconds kRefusalLogInterval{10};
  struct RefusalLog {
    std::chrono::steady_clock::time_point last;
    uint64_t left_out = 0;
    bool logged = false;
  };

  void Accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
      if (ec) {
        // Out of descriptors, say: try again a little later rather than
        // spinning on the same error.
        log_("accept failed: " + ec.message());
        accept_retry_.expires_after(std::chrono::milliseconds(100));
        accept_retry_.async_wait([this](const asio::error_code& wec) {
          if (!wec) Accept();
        });
        return;
      }
      auto session = std::make_shared<Session>(std::move(socket), *this);
      if (sessions_.size() > options_.max_clients) {
        session->Refuse("-busy: too many clients (at most " + std::to_string(options_.max_clients) + ")");
      } else {
        session->Start();
      }
      Accept();
    });
  }

  // Ends every handler, so that run() returns.
  void Stop() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    accept_retry_.cancel();
    signals_.cancel(ignored);
    std::vector<Session*> open(sessions_.begin(), sessions_.end());
    for (Session* s : open) s->Close();
  }

  const DaemonOptions& options_;
  suite::ServiceLogic& logic_;
  const Log& log_;
  tcp::acceptor acceptor_;
  asio::steady_timer accept_retry_;
  asio::signal_set signals_;
  std::unordered_set<Session*> sessions_;
  std::array<RefusalLog, kRefusalKinds> refusals_{};
};

Session::Session(tcp::socket socket, Server& server)
    : socket_(std::move(socket)), server_(server), idle_(socket_.get_executor()) {
  server_.Add(this);
}

Session::~Session() { server_.Remove(this); }

void Session::Start() {
  asio::error_code ignored;
  socket_.set_option(tcp::no_delay(true), ignored);
  last_activity_ = std::chrono::steady_clock::now();
  nonce_ = suite::NewChannelNonce();
  if (nonce_.empty()) {  // no randomness: no frame could be told from a replay
    Refuse("-service error: no nonce for the connection");
    return;
  }
  WaitIdle(std::chrono::seconds(server_.options().idle_timeout_seconds));
  out_ = suite::GreetingLine(nonce_);
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(out_), [self](const asio::error_code& ec, size_t) {
    self->out_.clear();
    if (ec) {
      self->Close();
      return;
    }
    self->Read();
  });
}

void Session::Refuse(const std::string& line) {
  out_ = line + "\n";
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(out_), [self](const asio::error_code&, size_t) { self->Close(); });
}

void Session::Close() {
  asio::error_code ignored;
  idle_.cancel();
  socket_.shutdown(tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
}

void Session::WaitIdle(std::chrono::steady_clock::duration d) {
  idle_.expires_after(d);
  std::weak_ptr<Session> weak = weak_from_this();
  idle_.async_wait([weak](const asio::error_code& ec) {
    if (ec) return;
    auto self = weak.lock();
    if (!self) return;
    const auto limit = std::chrono::seconds(self->server_.options().idle_timeout_seconds);
    const auto idle_for = std::chrono::steady_clock::now() - self->last_activity_;
    if (idle_for >= limit) {
      self->Close();
    } else {
      self->WaitIdle(limit - idle_for);
    }
  });
}

void Session::Read() {
  auto self = shared_from_this();
  socket_.async_read_some(asio::buffer(in_), [self](const asio::error_code& ec, size_t n) { self->OnRead(ec, n); });
}

void Session::OnRead(const asio::error_code& ec, size_t n) {
  if (ec) {
    Close();
    return;
  }
  Consume(in_.data(), n);
  if (out_.empty()) {
    Read();
    return;
  }
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(out_), [self](const asio::error_code& wec, size_t) {
    self->out_.clear();
    if (wec || self->closing_) {
      self->Close();
      return;
    }
    self->Read();
  });
}

void Session::Consume(const char* data, size_t n) {
  std::string_view chunk(data, n);
  while (!chunk.empty() && !closing_) {
    const size_t nl = chunk.find('\n');
    const std::string_view piece = chunk.substr(0, nl);
    chunk = nl == std::string_view::npos ? std::string_view() : chunk.substr(nl + 1);
    if (discarding_) {
      if (nl != std::string_view::npos) discarding_ = false;
      continue;
    }
    // A whole line straight from the buffer needs no copy (the usual case).
    if (nl != std::string_view::npos && pending_.empty()) {
      Answer(piece);
      continue;
    }
    pending_.append(piece);
    if (pending_.size() > suite::kMaxLineBytes + 1) {  // room for a CR
      pending_.clear();
      out_ += "-line longer than " + std::to_string(suite::kMaxLineBytes) + " bytes\n";
      discarding_ = nl == std::string_view::npos;
      Refused(suite::FrameFault::kMalformed);
      continue;
    }
    if (nl != std::string_view::npos) {
      const std::string line = std::move(pending_);
      pending_.clear();
      Answer(line);
    }
  }
}

void Session::Answer(std::string_view line) {
  suite::FrameFault fault = suite::FrameFault::kNone;
  suite::ServeLine(server_.logic(), line, suite::FrameChannel{nonce_, next_seq_}, &fault, &out_);
  out_.push_back('\n');
  if (fault != suite::FrameFault::kNone) {
    Refused(fault);
    return;
  }
  // Only an accepted request counts as activity: blank lines, junk and
  // replays do not hold a slot, nor does a client that trickles bytes
  // without ever ending a line.
  ++next_seq_;
  refused_in_a_row_ = 0;
  last_activity_ = std::chrono::steady_clock::now();
}

void Session::Refused(suite::FrameFault fault) {
  asio::error_code ec;
  const tcp::endpoint peer = socket_.remote_endpoint(ec);
  const std::string from = ec ? std::string("a closed connection") : peer.address().to_string();
  server_.LogRefusal(fault == suite::FrameFault::kUnsigned     ? Server::kUnsigned
                     : fault == suite::FrameFault::kOutOfOrder ? Server::kOutOfOrder
                                                               : Server::kMalformed,
                     from);
  if (++refused_in_a_row_ >= kMaxRefusedInARow) {
    closing_ = true;
    server_.LogRefusal(Server::kClosed, from);
  }
}

// The thread that does the database work: writes the tasks behind, takes
// in what other processes changed in the table, and sweeps the leases a
// few times per lease on the monotonic clock, retrying what a busy or lost
// database refused at the next round.
class Keeper {
 public:
  Keeper(DurableTaskStore& store, db::Connection& conn, const DaemonOptions& options, const Log& log)
      : store_(store), options_(options), log_(log), sweeper_(store, &conn, log) {}

  void Start() {
    thread_ = std::thread([this] { Run(); });
  }

  // Ends the thread after a last write of what changed.
  void Stop() {
    {
      std::lock_guard lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    Status s = store_.Flush();
    if (!s.ok()) log_("could not write the task table before stopping: " + s.message());
  }

  // One round: before the daemon listens, so that rows no task of the
  // table knows are adopted before their stations beat; then periodically.
  // A lost server costs rounds, not tasks: the connection reopens itself
  // (saying so in the log), and what waits in memory is written once the
  // database is back.
  void Round() {
    if (!Note(store_.Flush(), "write the task table") || !Note(store_.Refresh(), "read the task table")) return;
    sweeper_.Sweep(MonotonicMillis(), options_.lease_seconds * 1000);
    Note(store_.Flush(), "write the task table");  // what the sweep forgot or adopted
  }

 private:
  static int64_t MonotonicMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  bool Note(const Status& s, const char* what) {
    if (!s.ok()) log_(std::string("could not ") + what + " (tried again shortly): " + s.message());
    return s.ok();
  }

  void Run() {
    // A task goes at most a quarter lease late.
    const auto period = std::chrono::milliseconds(std::clamp<int64_t>(options_.lease_seconds * 1000 / 4, 100, 5000));
    std::unique_lock lock(mu_);
    while (!stop_) {
      wake_.wait_for(lock, period, [this] { return stop_; });
      if (stop_) break;
      lock.unlock();
      Round();
      lock.lock();
    }
  }

  DurableTaskStore& store_;
  const DaemonOptions& options_;
  const Log& log_;
  LeaseSweeper sweeper_;
  std::mutex mu_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

int RunServiceDaemon(const DaemonOptions& options, std::FILE* out, std::FILE* log_file) {
  const Log log(log_file);
  // The connection writes here when it loses the server and reopens.
  db::SetDbLog(log);
  struct ResetDbLog {
    ~ResetDbLog() { db::SetDbLog(nullptr); }
  } reset_db_log;
  if (options.service_key.size() != kKeyBytes) {
    log("no service key: requests could not be authenticated (tarn db init writes one)");
    return 1;
  }
  auto conn = db::Connection::Create();
  Status s = conn->Open(options.connect, "", "");
  if (s.ok() && conn->CurrentCatalog().empty()) s = conn->Execute(db::Statement("USE ValeSystem"));
  db::ResultSet probe;
  if (s.ok()) s = conn->Query(db::Statement("SELECT COUNT(*) FROM UA_task"), &probe);
  std::unique_ptr<DurableTaskStore> store;
  if (s.ok()) s = DurableTaskStore::Open(*conn, &store);
  if (!s.ok()) {
    log("cannot use the system database: " + s.message());
    return 1;
  }

  ServiceOptions service_options;
  service_options.seats = options.seats;
  service_options.host_identity = Env::Current().ComputerName() + ",tarn service";
  service_options.service_key = options.service_key;
  ServiceLogic logic(service_options, *store, log);
  Keeper keeper(*store, *conn, options, log);
  keeper.Round();

  asio::io_context io(1);
  Server server(io, options, logic, log);
  std::string error;
  if (!server.Listen(&error)) {
    log(error);
    return 1;
  }
  keeper.Start();
  server.Start();
  const std::string where = options.listen_host + ":" + std::to_string(server.port());
  std::fprintf(out, "listening on %s\n", where.c_str());
  std::fflush(out);
  log("listening on " + where + " (lease " + std::to_string(options.lease_seconds) + " s, at most " +
      std::to_string(options.max_clients) + " clients)");
  io.run();
  keeper.Stop();
  conn->Close();
  log("stopped");
  return 0;
}

}  // namespace tarn::suite
