// Heartbeats per second on loopback: 100 clients, each on its own
// connection, greeted, sending one heartbeat line (signed for that
// connection and its place on it) and waiting for the reply, against
// `tarn service` and against a bare TCP echo of the same line, in the same
// run on the same machine. Also the latency percentiles of both and the
// service's resident memory with 1,000 known clients.
//
//   service_bench [--seconds S] [--clients N] [--known N] [--rounds R]
//
// Each round measures echo and service back to back in six short slices
// each (in turns, first one then the other leading), so that both see the
// same machine load; the median ratio of each round's slices, their median
// over the rounds and spread are reported, with the median latencies. Exits 1 when the median ratio is below 0.9, or a
// reply is wrong.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "suite/sysdb/schema.h"
#include "suite/key_file.h"
#include "suite/reply_codec.h"
#include "suite/wire.h"

extern char** environ;

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr int32_t kHandshake = 123456789;
constexpr int kSlices = 6;  // paired measurements per round
std::string service_key;    // every request carries its MAC

// The `seq`th heartbeat of `client` on the connection that greeted with `nonce`.
std::string Heartbeat(int client, const std::string& nonce, uint64_t seq) {
  return tarn::suite::RequestFrame(
      kHandshake, "Connect,BENCH-" + std::to_string(client) + ",GL,0,T-" + std::to_string(client) + ",9801",
      service_key, tarn::suite::FrameChannel{nonce, seq});
}

// The nonce of the greeting that a connection opens with.
std::string ReadGreeting(tcp::socket& s) {
  std::string in, nonce;
  asio::read_until(s, asio::dynamic_buffer(in), '\n');
  tarn::suite::ParseGreeting(std::string_view(in).substr(0, in.find('\n')), &nonce);
  return nonce;
}

// The echo: one thread, a greeting as the service's, then one line in,
// the same line out, per connection.
class EchoServer {
 public:
  EchoServer() : acceptor_(io_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~EchoServer() {
    asio::post(io_, [this] { io_.stop(); });
    thread_.join();
  }
  uint16_t port() const { return acceptor_.local_endpoint().port(); }

 private:
  struct Conn : std::enable_shared_from_this<Conn> {
    explicit Conn(tcp::socket s) : socket(std::move(s)) {}
    void Greet() {
      out = tarn::suite::GreetingLine(tarn::suite::NewChannelNonce());
      auto self = shared_from_this();
      asio::async_write(socket, asio::buffer(out), [self](asio::error_code ec, size_t) {
        if (!ec) self->Read();
      });
    }
    void Read() {
      auto self = shared_from_this();
      asio::async_read_until(socket, asio::dynamic_buffer(in), '\n', [self](asio::error_code ec, size_t n) {
        if (ec) return;
        self->out.assign(self->in, 0, n);
        self->in.erase(0, n);
        asio::async_write(self->socket, asio::buffer(self->out), [self](asio::error_code wec, size_t) {
          if (!wec) self->Read();
        });
      });
    }
    tcp::socket socket;
    std::string in, out;
  };
  void Accept() {
    acceptor_.async_accept([this](asio::error_code ec, tcp::socket s) {
      if (ec) return;
      s.set_option(tcp::no_delay(true));
      std::make_shared<Conn>(std::move(s))->Greet();
      Accept();
    });
  }
  asio::io_context io_{1};
  tcp::acceptor acceptor_;
  std::thread thread_;
};

struct RoundResult {
  double per_second = 0;
  double p50_us = 0, p99_us = 0;
  long errors = 0;
};

// `clients` connections, each: send its line, wait for the reply line,
// repeat, for `seconds`. One client thread drives them all.
RoundResult Drive(uint16_t port, int clients, double seconds, bool check_service_reply) {
  asio::io_context io(1);
  struct Client {
    explicit Client(asio::io_context& io) : socket(io) {}
    tcp::socket socket;
    int id = 0;
    std::string nonce, line, in;
    uint64_t seq = 0;
    Clock::time_point sent;
  };
  std::vector<std::unique_ptr<Client>> all;
  std::vector<uint32_t> latencies;
  latencies.reserve(2'000'000);
  long errors = 0, done = 0;
  const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
  Clock::time_point start, stop;
  bool measuring = false;

  std::function<void(Client*)> send_one = [&](Client* c) {
    c->sent = Clock::now();
    c->line = Heartbeat(c->id, c->nonce, ++c->seq);
    asio::async_write(c->socket, asio::buffer(c->line), [&, c](asio::error_code ec, size_t) {
      if (ec) return;
      asio::async_read_until(c->socket, asio::dynamic_buffer(c->in), '\n', [&, c](asio::error_code rec, size_t n) {
        if (rec) return;
        const Clock::time_point now = Clock::now();
        // Every 16th reply is opened and checked: opening each would
        // charge the service with the client's work on a shared machine.
        if (check_service_reply && c->seq % 16 == 0) {
          const std::string reply = c->in.substr(0, n - 1);
          auto plain = reply.size() > 1 && reply[0] == '+'
                           ? tarn::suite::UnlockReply(std::string_view(reply).substr(1), kHandshake)
                           : std::nullopt;
          if (!plain || plain->find("pass") == std::string::npos) ++errors;
        }
        c->in.erase(0, n);
        if (measuring) {
          latencies.push_back(
              static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now - c->sent).count()));
          ++done;
        }
        if (now < stop) send_one(c);
      });
    });
  };

  for (int i = 0; i < clients; ++i) {
    auto c = std::make_unique<Client>(io);
    c->socket.connect(endpoint);
    c->socket.set_option(tcp::no_delay(true));
    c->id = i;
    c->nonce = ReadGreeting(c->socket);
    all.push_back(std::move(c));
  }
  // A short warm-up, then the measured span.
  const auto warm = std::chrono::milliseconds(300);
  start = Clock::now() + warm;
  stop = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  asio::steady_timer begin(io, start);
  begin.async_wait([&](asio::error_code) { measuring = true; });
  for (auto& c : all) send_one(c.get());
  io.run();

  RoundResult r;
  r.per_second = static_cast<double>(done) / seconds;
  r.errors = errors;
  if (!latencies.empty()) {
    std::sort(latencies.begin(), latencies.end());
    r.p50_us = latencies[latencies.size() / 2];
    r.p99_us = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  }
  return r;
}

// One request and its reply on a fresh blocking connection.
std::string Ask(asio::io_context& io, uint16_t port, const std::string& request) {
  tcp::socket s(io);
  s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  const std::string nonce = ReadGreeting(s);
  asio::write(s, asio::buffer(
                     tarn::suite::RequestFrame(kHandshake, request, service_key, tarn::suite::FrameChannel{nonce, 1})));
  std::string in;
  asio::read_until(s, asio::dynamic_buffer(in), '\n');
  return in.substr(0, in.find('\n'));
}

long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = -1;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      break;
    }
    std::getline(in, key);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 3;
  int clients = 100, known = 1000, rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--seconds")
      seconds = std::atof(argv[i + 1]);
    else if (a == "--clients")
      clients = std::atoi(argv[i + 1]);
    else if (a == "--known")
      known = std::atoi(argv[i + 1]);
    else if (a == "--rounds")
      rounds = std::atoi(argv[i + 1]);
  }
  known = std::max(known, clients);
  signal(SIGPIPE, SIG_IGN);

  // A system database of its own.
  char tmpl[] = "/tmp/tarn-service-bench.XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string dir = tmpl;
  {
    auto conn = tarn::db::Connection::Create();
    if (!conn->Open("Provider=SQLite;Data Source=" + dir, "", "").ok() ||
        !tarn::suite::CreateSystemDatabase(*conn).ok()) {
      std::fprintf(stderr, "cannot create the system database in %s\n", dir.c_str());
      return 2;
    }
    conn->Close();
  }
  const std::string key_file = dir + "/service.key";
  if (!tarn::suite::CreateKeyFile(key_file).ok() || !tarn::suite::LoadKeyFile(key_file, &service_key).ok()) {
    std::fprintf(stderr, "cannot make a service key in %s\n", dir.c_str());
    return 2;
  }

  // The service, on a free port.
  int out[2];
  if (pipe(out) != 0) return 2;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args{std::string(TARN_BIN_DIR) + "/tarn",
                                "service",
                                "--listen",
                                "127.0.0.1:0",
                                "--connect",
                                "Provider=SQLite;Data Source=" + dir + ";Initial Catalog=ValeSystem",
                                "--max-clients",
                                "4096",
                                "--lease-seconds",
                                "3600",
                                "--key-file",
                                key_file};
  std::vector<char*> cargv;
  for (std::string& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", cargv[0]);
    return 2;
  }
  close(out[1]);
  std::string line;
  char ch = 0;
  pollfd p{out[0], POLLIN, 0};
  while (poll(&p, 1, 20000) > 0 && read(out[0], &ch, 1) == 1 && ch != '\n') line.push_back(ch);
  close(out[0]);
  if (line.rfind("listening on ", 0) != 0) {
    std::fprintf(stderr, "the service did not start\n");
    kill(pid, SIGKILL);
    return 2;
  }
  const uint16_t service_port = static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));

  int rc = 0;
  {
    asio::io_context io;
    const long rss_empty = RssKiB(pid);
    for (int i = 0; i < known; ++i) {
      Ask(io, service_port, "Connect,BENCH-" + std::to_string(i) + ",GL,-1,T-" + std::to_string(i) + ",9801");
    }
    const long rss_known = RssKiB(pid);

    EchoServer echo;
    std::vector<RoundResult> echoes, services;
    std::vector<double> ratios;
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    auto field = [](const std::vector<RoundResult>& rs, double RoundResult::*f) {
      std::vector<double> values;
      for (const RoundResult& r : rs) values.push_back(r.*f);
      return values;
    };
    // The median of a side's slices, field by field.
    auto middle = [&](const std::vector<RoundResult>& slices) {
      RoundResult m;
      m.per_second = median(field(slices, &RoundResult::per_second));
      m.p50_us = median(field(slices, &RoundResult::p50_us));
      m.p99_us = median(field(slices, &RoundResult::p99_us));
      for (const RoundResult& r : slices) m.errors += r.errors;
      return m;
    };
    for (int r = 0; r < rounds; ++r) {
      // A round is kSlices short pairs taken in alternating order, so that
      // a slow moment of the machine falls on both sides alike; it keeps
      // the medians of the slices and of their ratios.
      std::vector<RoundResult> echo_slices, service_slices;
      std::vector<double> slice_ratios;
      for (int i = 0; i < kSlices; ++i) {
        RoundResult es, ss;
        if ((r * kSlices + i) % 2 == 0) {
          es = Drive(echo.port(), clients, seconds / kSlices, false);
          ss = Drive(service_port, clients, seconds / kSlices, true);
        } else {
          ss = Drive(service_port, clients, seconds / kSlices, true);
          es = Drive(echo.port(), clients, seconds / kSlices, false);
        }
        echo_slices.push_back(es);
        service_slices.push_back(ss);
        slice_ratios.push_back(es.per_second > 0 ? ss.per_second / es.per_second : 0);
      }
      const RoundResult e = middle(echo_slices), s = middle(service_slices);
      const double ratio = median(slice_ratios);
      std::printf(
          "round %d: echo %.0f/s (p50 %.0f us, p99 %.0f us), service %.0f/s (p50 %.0f us, p99 %.0f us), "
          "ratio %.3f%s\n",
          r + 1, e.per_second, e.p50_us, e.p99_us, s.per_second, s.p50_us, s.p99_us, ratio,
          s.errors ? " REPLY ERRORS" : "");
      echoes.push_back(e);
      services.push_back(s);
      ratios.push_back(ratio);
      if (s.errors) rc = 1;
    }
    const double ratio = median(ratios);
    std::printf("clients %d, %.1f s per round and side in %d slices, %d paired rounds\n", clients, seconds, kSlices,
                rounds);
    std::printf("echo     %9.0f heartbeats/s  p50 %6.0f us  p99 %6.0f us  (medians)\n",
                median(field(echoes, &RoundResult::per_second)), median(field(echoes, &RoundResult::p50_us)),
                median(field(echoes, &RoundResult::p99_us)));
    std::printf("service  %9.0f heartbeats/s  p50 %6.0f us  p99 %6.0f us  (medians)\n",
                median(field(services, &RoundResult::per_second)), median(field(services, &RoundResult::p50_us)),
                median(field(services, &RoundResult::p99_us)));
    std::printf("service/echo throughput %.3f median of the rounds' ratios, %.3f to %.3f (at least 0.90 wanted)\n",
                ratio, *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("service resident memory: %ld KiB at start, %ld KiB with %d known clients\n", rss_empty, rss_known,
                known);
    if (ratio < 0.9) rc = 1;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(dir);
  return rc;
}
