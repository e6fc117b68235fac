// brenna-web against hostile requests, without a token: the program as a
// process of its own on an archive this benchmark writes as the monitor
// does, with a kiosk beside it (a live page on /events, and now and then a
// new one, as a kiosk that reloads opens). Three attacks from another
// address (127.0.0.2), one after the other:
//
// 1. 1,000 requests with an 8 KB Range header, one after the other;
// 2. 8 connections sending a request head that does not end, a megabyte
//    at a time, for as long as each is taken (at most the 5 s a request
//    may take);
// 3. connections sending a bare-line-feed head of 40 bytes, 300 at a time,
//    each left open 3 s, again and again.
//
// For each: brenna-web's resident memory (VmRSS, MB) before, at its peak
// during the attack and after it; and the kiosk's figures meanwhile, p50 /
// p99 in ms: a new live page from its request to its first state (and the
// share of new live pages refused), and a result committed to the archive
// to its update reaching the kiosk's live page. Figures only; nothing here
// fails on time. Usage:
//   bench_web_hostile [--samples N] [--web PATH]
// (--web: another brenna-web, an earlier build's, to compare with.)
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "FreePort.h"
#include "TestSocket.h"
#include "WebTestArchive.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGiveUp = std::chrono::seconds(60);

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A process's resident memory, in MB.
double Memory(pid_t pid) { return static_cast<double>(ProcessStatus(pid, "VmRSS")) / 1024.0; }

std::string Percentiles(std::vector<double> v) {
  if (v.empty()) return "     -       -";
  std::sort(v.begin(), v.end());
  auto at = [&](double q) {
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
  };
  char text[64];
  std::snprintf(text, sizeof text, "%8.1f %8.1f", at(0.50), at(0.99));
  return text;
}

// The attacker's connection, from an address of its own: the kiosk is
// another PC.
test_socket::Handle Attacker(int port) {
  const test_socket::Handle s = test_socket::NewSocket();
  if (s != test_socket::kNone && test_socket::BindSource(s, "127.0.0.2") &&
      test_socket::Connect(s, port))
    return s;
  test_socket::Close(s);
  return test_socket::kNone;
}

// A request on a connection of its own (`from` makes it); the answer's
// first bytes (empty when none came within `waitMs`).
std::string Ask(int port, const std::string& request, int waitMs,
                test_socket::Handle (*from)(int) = test_socket::ConnectLoopback) {
  const test_socket::Handle s = from(port);
  if (s == test_socket::kNone) return std::string();
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer;
  for (auto until = Clock::now() + std::chrono::milliseconds(waitMs);
       answer.find("\r\n\r\n") == std::string::npos && !closed && Clock::now() < until;)
    answer += test_socket::Receive(s, 20, &closed);
  test_socket::Close(s);
  return answer;
}

// The kiosk's live page: notes when each operator first reached it.
class LivePage {
 public:
  explicit LivePage(int port) : fd_(test_socket::ConnectLoopback(port)) {
    const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    test_socket::SendAll(fd_, request.data(), request.size());
    thread_ = std::thread([this] {
      std::string tail;
      while (!stop_) {
        bool closed = false;
        tail += test_socket::Receive(fd_, 1, &closed);
        if (closed) break;
        const auto now = Clock::now();
        for (std::size_t at; (at = tail.find("\"K")) != std::string::npos;) {
          const std::size_t end = tail.find('"', at + 1);
          if (end == std::string::npos) break;
          std::lock_guard<std::mutex> hold(lock_);
          seen_.emplace(tail.substr(at + 1, end - at - 1), now);
          tail.erase(0, end + 1);
        }
        if (tail.size() > 4096) tail.erase(0, tail.size() - 64);
      }
    });
  }
  ~LivePage() {
    stop_ = true;
    thread_.join();
    test_socket::Close(fd_);
  }
  bool Seen(const std::string& op, Clock::time_point* when) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = seen_.find(op);
    if (it == seen_.end()) return false;
    *when = it->second;
    return true;
  }

 private:
  test_socket::Handle fd_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::map<std::string, Clock::time_point> seen_;
  std::thread thread_;
};

struct KioskFigures {
  std::vector<double> request, update;
  int refused = 0;  // new live pages not let in (503) or not answered
};

// A new live page, as a kiosk that reloads opens one: true once its first
// state came, false when it was refused or nothing came.
bool NewLivePage(int port) {
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  if (s == test_socket::kNone) return false;
  const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer;
  for (auto until = Clock::now() + std::chrono::seconds(30);
       answer.find("event: state") == std::string::npos && !closed && Clock::now() < until;)
    answer += test_socket::Receive(s, 1, &closed);
  test_socket::Close(s);
  return answer.find("event: state") != std::string::npos;
}

// The kiosk while `attacking` holds (and at least `samples` times): a new
// live page, then a result to its update on the kiosk's page.
KioskFigures Kiosk(int port, WebTestArchive& archive, LivePage& page,
                   const std::function<bool()>& attacking, int samples, int* serial) {
  KioskFigures f;
  for (int i = 0; i < samples || (attacking() && i < 20 * samples); ++i) {
    const auto asked = Clock::now();
    if (NewLivePage(port))
      f.request.push_back(Ms(Clock::now() - asked));
    else
      ++f.refused;
    char op[16];
    std::snprintf(op, sizeof op, "K%05d", ++*serial);
    const auto sent = Clock::now();
    archive.Add(BrakeResult(op, op, "1"));
    Clock::time_point seen;
    for (auto until = sent + kGiveUp; !page.Seen(op, &seen) && Clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (page.Seen(op, &seen)) f.update.push_back(Ms(seen - sent));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return f;
}

// Runs `attack` on a thread of its own while the kiosk samples (until it
// ends, or, `endless`, is told to stop once the kiosk has its samples), and
// prints the row.
void Phase(const char* name, pid_t pid, int port, WebTestArchive& archive, LivePage& page,
           int samples, int* serial, bool endless,
           const std::function<void(std::atomic<bool>&)>& attack) {
  const double before = Memory(pid);
  std::atomic<bool> running{true}, stop{false};
  double peak = before;
  std::thread peaks([&] {
    while (running) {
      peak = std::max(peak, Memory(pid));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::thread attacker([&] {
    attack(stop);
    running = false;
  });
  const KioskFigures f = Kiosk(
      port, archive, page, [&] { return !endless && running; }, samples, serial);
  stop = true;
  attacker.join();
  running = false;
  peaks.join();
  std::this_thread::sleep_for(std::chrono::seconds(3));  // connections let go
  const double asked = static_cast<double>(f.request.size()) + f.refused;
  std::printf("%-36s %7.1f %7.1f %7.1f   %s %7.0f%%   %s\n", name, before, peak, Memory(pid),
              Percentiles(f.request).c_str(), asked > 0 ? 100.0 * f.refused / asked : 0.0,
              Percentiles(f.update).c_str());
  std::fflush(stdout);
}

const char* Argument(int argc, char** argv, const char* name, const char* def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return def;
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = std::atoi(Argument(argc, argv, "--samples", "40"));
  const std::string program = Argument(argc, argv, "--web", BRENNA_WEB_PATH);
  WebTestArchive archive;
  const int port = FreePort();
  std::ofstream(archive.dir.file("brenna-web.ini")) << "[brenna-web]\n";
  ChildProcess web;
  ChildProcess::Options options;
  options.env = {"HOME=" + archive.dir.path().string(),
                 "XDG_CONFIG_HOME=" + archive.dir.file("config"),
                 "XDG_STATE_HOME=" + archive.dir.file("state")};
  options.logPath = archive.dir.file("brenna-web.log");
  std::string error;
  if (!web.Start({program, "--config", archive.dir.file("brenna-web.ini"), "--archive",
                  archive.path(), "--listen", "127.0.0.1:" + std::to_string(port)},
                 options, &error)) {
    std::fprintf(stderr, "bench_web_hostile: %s\n", error.c_str());
    return 1;
  }
  for (auto until = Clock::now() + kGiveUp;
       Ask(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 500).empty() &&
       Clock::now() < until;)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  LivePage page(port);
  int serial = 0;

  std::printf("brenna-web (pid %d) with a kiosk beside it; memory in MB, kiosk in ms\n",
              static_cast<int>(web.pid()));
  std::printf("%-36s %7s %7s %7s   %8s %8s %8s   %8s %8s\n", "", "before", "peak", "after",
              "page p50", "page p99", "refused", "upd p50", "upd p99");
  Phase("quiet", web.pid(), port, archive, page, samples, &serial, false,
        [](std::atomic<bool>&) {});

  std::string ranges = "bytes=0-1";
  while (ranges.size() < 8000) ranges += ",0-1";
  const std::string range =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges + "\r\nConnection: close\r\n\r\n";
  Phase("1,000 Range requests of 8 KB", web.pid(), port, archive, page, samples, &serial, false,
        [&](std::atomic<bool>&) {
          for (int i = 0; i < 1000; ++i) Ask(port, range, 10000, Attacker);
        });

  // Heads that do not end, a megabyte at a time for as long as the
  // connection is taken.
  const std::string start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
  const std::string megabyte(1 << 20, 'a');
  Phase("8 connections of endless 1 MB heads", web.pid(), port, archive, page, samples, &serial,
        false, [&](std::atomic<bool>&) {
          std::vector<std::thread> eight;
          for (int i = 0; i < 8; ++i)
            eight.emplace_back([&] {
              const test_socket::Handle s = Attacker(port);
              bool sent = test_socket::SendAll(s, start.data(), start.size());
              for (auto until = Clock::now() + std::chrono::seconds(5);
                   sent && Clock::now() < until;)
                sent = test_socket::SendAll(s, megabyte.data(), megabyte.size());
              test_socket::Close(s);
            });
          for (std::thread& t : eight) t.join();
        });

  Phase("300 bare-LF connections at a time", web.pid(), port, archive, page, samples, &serial, true,
        [&](std::atomic<bool>& stop) {
          const std::string lf = "GET / HTTP/1.1\r\nHost: 127.0.0.1\nX: 01\n\n";
          while (!stop) {
            std::vector<test_socket::Handle> open;
            for (int i = 0; i < 300 && !stop; ++i) {
              open.push_back(Attacker(port));
              test_socket::SendAll(open.back(), lf.data(), lf.size());
            }
            for (auto until = Clock::now() + std::chrono::seconds(3);
                 !stop && Clock::now() < until;)
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
            for (test_socket::Handle s : open) test_socket::Close(s);
          }
        });
  web.Stop();
  return 0;
}
