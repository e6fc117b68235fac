// brenna-web beside the installed monitor (Qt's offscreen platform), fed
// by the station tool on a quiet line: one small brake result at a time,
// each sent at a random moment once the one before has had its half second
// on screen.
//
// 1. Publication to the browser: from the result file's publication in
//    the spool directory (inotify) to its operator appearing in the brake
//    group's display of a headless chromium showing the live panel (a
//    MutationObserver in the page notes the moment), p50 / p90 / p99 / max,
//    with the browser as the only live page.
// 2. The same with 50 live pages: the browser and 49 plain readers of
//    /events, whose own figures (the moment the update arrives) are printed
//    too.
// 3. brenna-web's CPU share and memory with those 50 live pages idle for a
//    while (and before, with none).
// 4. A site's overview of three lines (three monitors, three brenna-webs,
//    and brenna-web --site reading them): from a result's publication on
//    one line to its operator in that line's card of the overview in the
//    browser; and the overview's CPU and memory.
//
// Times on both sides are the system's wall clock (the browser's
// performance.timeOrigin + now()), so both ends are one machine's clock.
// Figures only; nothing here fails on time. Usage:
//   bench_web [--results N] [--idle SECONDS] [--site-results N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "MonitorProcess.h"
#include "Station.h"

namespace {

using Steady = std::chrono::steady_clock;
using System = std::chrono::system_clock;
constexpr auto kGiveUp = std::chrono::seconds(60);
constexpr int kLivePages = 50;

int Argument(int argc, char** argv, const char* name, int def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return def;
}

double EpochMs(System::time_point t) {
  return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

// A steady-clock moment (as SpoolWatch gives them) on the wall clock.
double EpochMs(Steady::time_point t) {
  const auto system = System::now();
  const auto steady = Steady::now();
  return EpochMs(system) - std::chrono::duration<double, std::milli>(steady - t).count();
}

std::string Operator(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "W%04d", i % 10000);
  return text;
}

struct Percentiles {
  double p50 = 0, p90 = 0, p99 = 0, max = 0;
  std::size_t n = 0;
};

Percentiles Of(std::vector<double> v) {
  Percentiles p;
  p.n = v.size();
  if (v.empty()) return p;
  std::sort(v.begin(), v.end());
  auto at = [&](double q) {
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
  };
  p.p50 = at(0.50);
  p.p90 = at(0.90);
  p.p99 = at(0.99);
  p.max = v.back();
  return p;
}

void Print(const char* label, const Percentiles& p) {
  std::printf("%-46s %6zu %8.1f %8.1f %8.1f %8.1f\n", label, p.n, p.p50, p.p90, p.p99, p.max);
  std::fflush(stdout);
}

// Plain readers of /events: one thread polls them all and notes when each
// first saw each operator in the brake group's display.
class LiveReaders {
 public:
  LiveReaders(int port, int count) {
    const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (int i = 0; i < count; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(static_cast<uint16_t>(port));
      if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
          send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
              static_cast<ssize_t>(request.size())) {
        if (fd >= 0) close(fd);
        break;
      }
      m_fds.push_back(fd);
    }
    m_seen.resize(m_fds.size());
    m_tail.resize(m_fds.size());
    m_thread = std::thread([this] { Run(); });
  }
  ~LiveReaders() {
    m_stop = true;
    m_thread.join();
    for (int fd : m_fds) close(fd);
  }
  std::size_t size() const { return m_fds.size(); }
  // When reader k first saw operator `op` (epoch ms), 0 when not yet.
  double Seen(std::size_t k, const std::string& op) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_seen[k].find(op);
    return it == m_seen[k].end() ? 0 : it->second;
  }
  bool AllSaw(const std::string& op) {
    for (std::size_t k = 0; k < m_fds.size(); ++k)
      if (Seen(k, op) == 0) return false;
    return true;
  }

 private:
  void Run() {
    std::vector<pollfd> polls;
    for (int fd : m_fds) polls.push_back({fd, POLLIN, 0});
    char buf[65536];
    while (!m_stop) {
      if (poll(polls.data(), polls.size(), 100) <= 0) continue;
      const double now = EpochMs(System::now());
      for (std::size_t k = 0; k < polls.size(); ++k) {
        if (!(polls[k].revents & POLLIN)) continue;
        const ssize_t n = recv(polls[k].fd, buf, sizeof buf, 0);
        if (n <= 0) {
          polls[k].fd = -1;
          continue;
        }
        std::string& t = m_tail[k];
        t.append(buf, static_cast<std::size_t>(n));
        const std::string mark = "[1119,\"W";
        for (std::size_t at = t.find(mark);
             at != std::string::npos && at + mark.size() + 4 <= t.size();
             at = t.find(mark, at + 1)) {
          const std::string op = "W" + t.substr(at + mark.size(), 4);
          std::lock_guard<std::mutex> hold(m_lock);
          m_seen[k].emplace(op, now);
        }
        if (t.size() > 64) t.erase(0, t.size() - 64);
      }
    }
  }

  std::vector<int> m_fds;
  std::vector<std::map<std::string, double>> m_seen;
  std::vector<std::string> m_tail;
  std::mutex m_lock;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string f;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stoull(f);
    if (i == 15) stime = std::stoull(f);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int Threads(pid_t pid) { return static_cast<int>(ProcessStatus(pid, "Threads")); }

void PrintUse(const char* label, pid_t pid, int seconds) {
  const double before = CpuSeconds(pid);
  const auto start = Steady::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Steady::now() - start).count();
  const double cpu = CpuSeconds(pid) - before;
  std::printf(
      "%-46s CPU %5.2f %% of one core over %.0f s; resident %ld kB (peak %ld kB); %d threads\n",
      label, 100.0 * cpu / wall, wall, ProcessStatus(pid, "VmRSS"), ProcessStatus(pid, "VmHWM"),
      Threads(pid));
  std::fflush(stdout);
}

// Sends one result of operator `op` to `m`, waits until the page in
// `browser` noted it (window.__seen) and `alsoSeen` holds; *seen and
// *published when that was and when the result was published (epoch ms).
bool SendAndSee(MonitorProcess& m, HeadlessBrowser& browser, const std::string& name,
                const std::string& op, const std::function<bool()>& alsoSeen, double* seen,
                double* published) {
  std::string out, error, value;
  if (m.SendResults({name}, {"7700 0 25\n7701 0 " + op + "\n5075 1 5\n"}, &out) != 0) {
    std::fprintf(stderr, "bench_web: brenna-send: %s\n", out.c_str());
    return false;
  }
  const auto deadline = Steady::now() + kGiveUp;
  for (;;) {
    if (!browser.Evaluate("window.__seen[" + ("'" + op + "'") + "] || 0", &value, &error)) {
      std::fprintf(stderr, "bench_web: %s\n", error.c_str());
      return false;
    }
    if (value != "0" && alsoSeen()) break;
    if (Steady::now() > deadline) {
      std::fprintf(stderr, "bench_web: %s never reached every page\n", op.c_str());
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto times = m.watch().Snapshot();
  const auto it = times.find(name);
  if (it == times.end() || !it->second.isPublished) {
    std::fprintf(stderr, "bench_web: no publication seen for %s\n", name.c_str());
    return false;
  }
  *seen = std::stod(value);
  *published = EpochMs(it->second.published);
  return true;
}

// Sends `count` results one at a time and notes publication -> browser
// (and -> each plain reader).
bool QuietLine(MonitorProcess& m, HeadlessBrowser& browser, LiveReaders* readers, int first,
               int count, std::vector<double>* toBrowser, std::vector<double>* toReaders) {
  std::mt19937 random(20261207u + static_cast<unsigned>(first));
  std::uniform_int_distribution<int> gap(600, 1000);
  for (int i = first; i < first + count; ++i) {
    const std::string op = Operator(i);
    double seen = 0, published = 0;
    if (!SendAndSee(
            m, browser, "web-" + op, op, [&] { return !readers || readers->AllSaw(op); }, &seen,
            &published))
      return false;
    toBrowser->push_back(seen - published);
    if (readers)
      for (std::size_t k = 0; k < readers->size(); ++k)
        toReaders->push_back(readers->Seen(k, op) - published);
    std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
  }
  return true;
}

// Notes, in the page, when each operator appears in the brake group's
// operator display.
const char kObserve[] = R"JS(
(() => {
  window.__seen = {};
  const vd = document.getElementById('d1119');
  new MutationObserver(() => {
    const t = vd.textContent;
    if (!(t in window.__seen)) window.__seen[t] = performance.timeOrigin + performance.now();
  }).observe(vd, {childList: true, subtree: true, characterData: true});
  return true;
})()
)JS";

// Notes, in the overview, when each operator appears in a line's brake
// group.
const char kObserveSite[] = R"JS(
(() => {
  window.__seen = {};
  for (const cell of document.querySelectorAll('[id$="-g6-op"]')) {
    new MutationObserver(() => {
      const t = cell.textContent;
      if (!(t in window.__seen)) window.__seen[t] = performance.timeOrigin + performance.now();
    }).observe(cell, {childList: true, subtree: true, characterData: true});
  }
  return true;
})()
)JS";

// Three lines and their overview; `count` results, one line after the
// other, each once the one before has reached the overview.
bool SiteOverview(int count, int idle) {
  constexpr int kLines = 3;
  MonitorProcess lines[kLines];
  ChildProcess webs[kLines];
  std::string error, site = "[site]\n";
  for (int i = 0; i < kLines; ++i) {
    const int port = FreePort();
    ChildProcess::Options options;
    options.env = lines[i].Environment();
    options.logPath = lines[i].tree().work() + "/brenna-web.log";
    if (!lines[i].Start(&error) ||
        !StartListening(&webs[i],
                        {BRENNA_WEB_PATH, "--listen", "127.0.0.1:" + std::to_string(port)}, options,
                        port, kGiveUp, &error)) {
      std::fprintf(stderr, "bench_web: line %d: %s\n", i + 1, error.c_str());
      return false;
    }
    site += "Line" + std::to_string(i + 1) + "=127.0.0.1:" + std::to_string(port) + "\n";
  }
  const std::string settings = lines[0].tree().work() + "/site.ini";
  std::ofstream(settings) << site;
  const int port = FreePort();
  ChildProcess overview;
  ChildProcess::Options options;
  options.env = lines[0].Environment();
  options.logPath = lines[0].tree().work() + "/site.log";
  HeadlessBrowser browser;
  std::string value;
  if (!StartListening(&overview,
                      {BRENNA_WEB_PATH, "--site", "--config", settings, "--listen",
                       "127.0.0.1:" + std::to_string(port)},
                      options, port, kGiveUp, &error) ||
      !browser.Start(lines[0].Environment(), lines[0].tree().work() + "/chromium.log", 1280, 900,
                     &error) ||
      !browser.Navigate("http://127.0.0.1:" + std::to_string(port) + "/", &error) ||
      !browser.WaitFor("document.getElementById('L2-state').textContent === '监控程序运行中'",
                       kGiveUp, &error) ||
      !browser.Evaluate(kObserveSite, &value, &error)) {
    std::fprintf(stderr, "bench_web: the overview: %s\n", error.c_str());
    return false;
  }
  std::vector<double> toOverview;
  std::mt19937 random(20261208u);
  std::uniform_int_distribution<int> gap(300, 700);
  for (int i = 1; i <= count; ++i) {
    const std::string op = "S" + Operator(i).substr(1);
    double seen = 0, published = 0;
    if (!SendAndSee(
            lines[i % kLines], browser, "site-" + op, op, [] { return true; }, &seen, &published))
      return false;
    toOverview.push_back(seen - published);
    std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
  }
  Print("3 lines: a line's result -> the overview", Of(toOverview));
  std::printf("\n");
  PrintUse("brenna-web --site, 3 lines, 1 page, idle", overview.pid(), idle);
  browser.Stop();
  overview.Stop();
  for (ChildProcess& w : webs) w.Stop();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int results = Argument(argc, argv, "--results", 60);
  const int idle = Argument(argc, argv, "--idle", 20);
  const int siteResults = Argument(argc, argv, "--site-results", 60);

  MonitorProcess m;
  std::string error;
  if (!m.Start(&error)) {
    std::fprintf(stderr, "bench_web: %s\n", error.c_str());
    return 1;
  }
  const int port = FreePort();
  ChildProcess web;
  ChildProcess::Options options;
  options.env = m.Environment();
  options.logPath = m.tree().work() + "/brenna-web.log";
  if (!StartListening(&web, {BRENNA_WEB_PATH, "--listen", "127.0.0.1:" + std::to_string(port)},
                      options, port, kGiveUp, &error)) {
    std::fprintf(stderr, "bench_web: brenna-web: %s\n", error.c_str());
    return 1;
  }
  HeadlessBrowser browser;
  std::string value;
  if (!browser.Start(m.Environment(), m.tree().work() + "/chromium.log", 1280, 900, &error) ||
      !browser.Navigate("http://127.0.0.1:" + std::to_string(port) + "/", &error) ||
      !browser.WaitFor("document.getElementById('d1119').textContent === '设备空闲'", kGiveUp,
                       &error) ||
      !browser.Evaluate(kObserve, &value, &error)) {
    std::fprintf(stderr, "bench_web: the browser: %s\n", error.c_str());
    return 1;
  }

  PrintUse("brenna-web, one live page, idle", web.pid(), idle / 2);
  std::printf(
      "\npublication -> value in the page (ms)              n      p50      p90      p99      "
      "max\n");
  std::vector<double> one, fifty, readers;
  if (!QuietLine(m, browser, nullptr, 1, results, &one, nullptr)) return 1;
  Print("1 live page: the browser", Of(one));
  {
    LiveReaders plain(port, kLivePages - 1);
    if (static_cast<int>(plain.size()) != kLivePages - 1) {
      std::fprintf(stderr, "bench_web: only %zu readers connected\n", plain.size());
      return 1;
    }
    if (!QuietLine(m, browser, &plain, 1 + results, results, &fifty, &readers)) return 1;
    Print("50 live pages: the browser", Of(fifty));
    Print("50 live pages: 49 plain readers of /events", Of(readers));
    std::printf("\n");
    PrintUse("brenna-web, 50 live pages, idle", web.pid(), idle);
  }
  browser.Stop();
  web.Stop();
  m.Stop();
  std::printf(
      "\npublication -> value in the overview (ms)          n      p50      p90      p99      "
      "max\n");
  return SiteOverview(siteResults, idle / 2) ? 0 : 1;
}
