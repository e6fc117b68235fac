// A real station beside crowds: the installed monitor on the offscreen
// platform, each crowd of tests/e2e/Crowds.h in turn (floods of real
// results from 64 addresses and from one, tiny and never-ending transfers
// on 300 held connections, a connect-and-close storm, 17 stations behind
// one address, peers that reset), and then a flood from 1, 4 and 32
// addresses meeting a full spool that is freed. Per crowd a station of an
// address of its own sends one small result per run, waiting for its
// receipts as the station tool does (giving up after 5 s without
// progress). It prints, per crowd, the share of runs confirmed and the
// time from the station's connect to its last receipt and the close (p50,
// p99, max), and for the stations behind one address their own share.
//
// Figures only: nothing here fails on time. It ends with status 1 only
// when the set-up fails. The full spool needs a small file system of its
// own (root); without it that part says so and is skipped.
//
// Usage: bench_crowds [--runs N]   (10 runs per crowd unless given)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Crowds.h"
#include "MonitorProcess.h"
#include "SmallFileSystem.h"
#include "Station.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(k, v.size() - 1)];
}

// `runs` rounds of a station of 127.0.0.2, one small result each, half a
// second apart; prints one row.
bool RunStation(MonitorProcess& m, const std::string& label, const std::string& prefix, int runs,
                const std::string& extra) {
  std::vector<std::string> frames;
  std::vector<std::string> descriptions;
  for (int k = 1; k <= runs; ++k) descriptions.push_back(SmallResult(3, std::to_string(k)));
  std::string error;
  if (!m.Frames(prefix, descriptions, &frames, &error)) {
    std::fprintf(stderr, "bench_crowds: %s\n", error.c_str());
    return false;
  }
  std::vector<double> confirmed;
  std::vector<double> all;
  for (const std::string& frame : frames) {
    const Clock::time_point start = Clock::now();
    const StreamOutcome out = SendAsStation(m.port(), frame, "127.0.0.2");
    const double ms = Ms(Clock::now() - start);
    all.push_back(ms);
    if (out.closedByPeer && out.error.empty() && out.receipt == 1) confirmed.push_back(ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  const size_t within2s = static_cast<size_t>(
      std::count_if(confirmed.begin(), confirmed.end(), [](double ms) { return ms <= 2000; }));
  std::printf("| %s | %zu of %zu (%zu within 2 s) | %.0f / %.0f / %.0f ms |%s\n", label.c_str(),
              confirmed.size(), all.size(), within2s, Percentile(confirmed, 0.5),
              Percentile(confirmed, 0.99),
              confirmed.empty() ? 0.0 : *std::max_element(confirmed.begin(), confirmed.end()),
              extra.c_str());
  std::fflush(stdout);
  return true;
}

bool RunCrowds(int runs) {
  MonitorProcess m;
  std::string error;
  if (!m.Start(&error)) {
    std::fprintf(stderr, "bench_crowds: %s\n", error.c_str());
    return false;
  }
  std::printf("A real station beside each crowd (%d runs each):\n\n", runs);
  std::printf(
      "| crowd | confirmed | receipt p50 / p99 / max (confirmed runs) | stations "
      "behind one address |\n|---|---:|---:|---:|\n");
  for (const CrowdKind kind : AllCrowds()) {
    Crowd crowd;
    if (!crowd.Start(kind, m, &error)) {
      std::fprintf(stderr, "bench_crowds: %s\n", error.c_str());
      return false;
    }
    // Time for the crowd to fill the places and the queue.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::string prefix = "bench-" + std::to_string(static_cast<int>(kind));
    if (!RunStation(m, CrowdName(kind), prefix, runs, " |")) return false;
    if (crowd.StationsSent() > 0) {
      std::printf("|   of which the 17 behind one address | %ld of %ld confirmed | | |\n",
                  crowd.StationsConfirmed(), crowd.StationsSent());
    }
  }
  return true;
}

bool RunFullSpool(int runs, int addresses) {
  MonitorProcess m;
  std::error_code ec;
  std::filesystem::create_directories(m.tree().spool(), ec);
  SmallFileSystem small(m.tree().spool(), 256 * 1024);
  if (!small.ok()) {
    std::printf("| full spool freed, flood from %d | skipped: %s | | |\n", addresses,
                small.error().c_str());
    return true;
  }
  std::string error;
  if (!m.Start(&error)) {
    std::fprintf(stderr, "bench_crowds: %s\n", error.c_str());
    return false;
  }
  std::vector<std::string> floodFrames;
  std::vector<std::string> descriptions;
  for (int k = 1; k <= 4; ++k) descriptions.push_back(SmallResult(25, std::to_string(k)));
  if (!m.Frames("flood", descriptions, &floodFrames, &error)) return false;
  const std::string filler = m.tree().spool() + "/filler";
  SmallFileSystem::Fill(filler);
  HostileMix mix;
  mix.floods = 1000;
  mix.floodStreams = floodFrames;
  mix.floodCycle = std::chrono::milliseconds(2500);
  mix.sources = addresses;
  HostilePeers flood(m.port(), mix);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  std::filesystem::remove(filler, ec);
  const bool ok = RunStation(m, "full spool freed, flood from " + std::to_string(addresses),
                             "fresh", runs, " |");
  m.Stop();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  if (!RunCrowds(runs)) return 1;
  std::printf("\nA fresh station after a full spool is freed under a flood:\n\n");
  std::printf(
      "| flood | confirmed | receipt p50 / p99 / max (confirmed runs) | |\n"
      "|---|---:|---:|---|\n");
  for (const int addresses : {1, 4, 32})
    if (!RunFullSpool(runs, addresses)) return 1;
  return 0;
}
