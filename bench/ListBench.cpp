// Today's list in the browser follows the line: brenna-web beside the
// installed monitor (Qt's offscreen platform), a headless chromium showing
// /results with 400 of today's results already on the page, and the
// station tool sending one small brake result at a time, each at a random
// moment once the one before has had its half second on screen. Measured:
// from the result file's publication in the spool directory (inotify) to
// its row in the page's list (a MutationObserver notes the moment),
// p50 / p90 / p99 / max.
//
// Times on both sides are the system's wall clock, so both ends are one
// machine's clock. Figures only; nothing here fails on time. Usage:
//   bench_list [--results N] [--rows N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveDay.h"
#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "MonitorProcess.h"
#include "Station.h"

namespace {

using Steady = std::chrono::steady_clock;
constexpr auto kGiveUp = std::chrono::seconds(60);

int Argument(int argc, char** argv, const char* name, int def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return def;
}

// A steady-clock moment (as SpoolWatch gives them) on the wall clock, in ms.
double WallMs(Steady::time_point t) {
  const auto wall = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double, std::milli>(wall).count() -
         std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

// Notes, in the page, when each transfer name first appears in the list.
const char kObserveRows[] = R"JS(
(() => {
  window.__rows = {};
  const note = () => {
    for (const td of document.querySelectorAll('#list table.results td.name'))
      if (!(td.textContent in window.__rows))
        window.__rows[td.textContent] = performance.timeOrigin + performance.now();
  };
  note();
  new MutationObserver(note).observe(document.body, {childList: true, subtree: true});
  return true;
})()
)JS";

// Sends one result named `name`; publication -> row in the page, in ms,
// or a negative number when it never came.
double SendAndSee(MonitorProcess& m, HeadlessBrowser& browser, const std::string& name) {
  std::string out, error, value;
  if (m.SendResults({name}, {"7700 0 25\n7701 0 0815\n5075 1 5\n"}, &out) != 0) {
    std::fprintf(stderr, "bench_list: brenna-send: %s\n", out.c_str());
    return -1;
  }
  const std::string seen = "window.__rows['" + name + "'] || 0";
  if (!browser.WaitFor(seen + " > 0", kGiveUp, &error) || !browser.Evaluate(seen, &value, &error)) {
    std::fprintf(stderr, "bench_list: %s never reached the list: %s\n", name.c_str(),
                 error.c_str());
    return -1;
  }
  const auto times = m.watch().Snapshot();
  const auto it = times.find(name);
  if (it == times.end() || !it->second.isPublished) return -1;
  return std::stod(value) - WallMs(it->second.published);
}

void Print(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  auto rank = [&](double q) {
    return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))];
  };
  std::printf(
      "publication -> row in today's list (ms)   n %zu  p50 %.1f  p90 %.1f  p99 %.1f  max %.1f\n",
      ms.size(), rank(0.5), rank(0.9), rank(0.99), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int results = Argument(argc, argv, "--results", 60);
  const int rows = Argument(argc, argv, "--rows", 400);
  MonitorProcess m;
  // Today's first rows, in the archive before the monitor starts (a run
  // of their own, ended).
  const std::string folder = m.tree().work() + "/home/.local/state/brennacenter";
  std::filesystem::create_directories(folder);
  const std::string today = archive::ToLocal(archive::NowUtcMs()).day;
  std::vector<DayResult> earlier = MakeDay(today, rows);
  const std::int64_t start = archive::NowUtcMs() - 3600 * 1000;
  for (std::size_t i = 0; i < earlier.size(); ++i)
    earlier[i].result.shownUtcMs = start + static_cast<std::int64_t>(i) * 1000;
  std::string error;
  if (!WriteDay(folder + "/archive.sqlite", earlier) || !m.Start(&error)) {
    std::fprintf(stderr, "bench_list: the archive or the monitor: %s\n", error.c_str());
    return 1;
  }
  const int port = FreePort();
  ChildProcess web;
  ChildProcess::Options options;
  options.env = m.Environment();
  options.logPath = m.tree().work() + "/brenna-web.log";
  HeadlessBrowser browser;
  std::string value;
  if (!StartListening(&web, {BRENNA_WEB_PATH, "--listen", "127.0.0.1:" + std::to_string(port)},
                      options, port, kGiveUp, &error) ||
      !browser.Start(m.Environment(), m.tree().work() + "/chromium.log", 1280, 900, &error) ||
      !browser.Navigate("http://127.0.0.1:" + std::to_string(port) + "/results", &error) ||
      !browser.WaitFor("document.body.dataset.following === 'yes'", kGiveUp, &error) ||
      !browser.Evaluate(kObserveRows, &value, &error) ||
      !browser.Evaluate("document.querySelectorAll('#list tbody tr').length", &value, &error)) {
    std::fprintf(stderr, "bench_list: brenna-web or the browser: %s\n", error.c_str());
    return 1;
  }
  std::printf("today's list with %s rows on the page\n", value.c_str());
  std::mt19937 random(20261208u);
  std::uniform_int_distribution<int> gap(600, 1000);
  std::vector<double> ms;
  for (int i = 1; i <= results; ++i) {
    const double took = SendAndSee(m, browser, "list-" + std::to_string(i));
    if (took < 0) return 1;
    ms.push_back(took);
    std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
  }
  Print(ms);
  browser.Stop();
  web.Stop();
  m.Stop();
  return 0;
}
