// End-to-end throughput of the installed monitor: a private install tree, the
// monitor on Qt's offscreen platform, stations sending over loopback.
//
// For each batch it prints, from the first byte sent:
//   read       until the monitor had read every frame (it closes the
//              connection then): frames accepted per second;
//   published  until the last result file appeared in the spool directory
//              (reassembled, decompressed, renamed into place);
//   shown      until the last result left the spool directory (the
//              one-second scan reads each result, removing it as it reads,
//              shows it and pauses 500 ms), and the rate between the first
//              and the last one shown.
// The spool directory is watched with inotify, so results that are shown
// and removed within one scan are still timed.
//
// Then the stations run: K stations at once, each on its own connection
// sending F multi-chunk results one after another. It prints the frames
// ingested per second against the receiving task's cap (one frame per pass,
// a 5 ms pause after each: at most 200 frames/s), results published and
// shown, chunks lost, and per result the latency from its last chunk handed
// to TCP to its values drawn. "Drawn" is the moment the window closes its
// read of "<name>.DOING": the decoder reads the file and sets every display
// in the same call, straight after (the file is removed as it is read).
// The title count goes up half a second later.
//
// Last, the monitor's CPU share and resident memory while idle, before and
// after the load, from /proc/<pid>/stat and /proc/<pid>/status.
//
// Figures only: nothing here fails on time. The program ends with status 1
// only when the set-up fails or data is lost (a result never published or
// never shown, a chunk not taken).
//
// Then a real station under attack, six kinds in turn: 300 hostile
// connections that keep coming back hold every slot (trickling, silent,
// garbage); 400 that send one whole frame and then trickle; 300 that flood
// whole frames faster than the receiving task takes them, staying
// connected after each batch, and the same ending each batch properly; 300
// that send a whole keep-alive frame every 0.9 s; and 1,000 peers from four
// addresses offering real one-frame results at 400 a second, each on a new
// connection every 2.5 s (the station then sends from an address of its
// own, 127.0.0.2).
// Per round one result is sent; it prints how long until the monitor's
// receipt and until the result was published (p50, p99, max), and the
// monitor's resident memory before, during and after the attack.
//
// Then a quiet line: Q small results, one at a time, each sent at a random
// moment once the one before has had its half second on screen; per result
// the time from its publication (renamed into place) to its values drawn,
// p50 / p90 / p99 / max. And the backlog: B results sent at once, drained at what rate
// (each result stays at least half a second on screen: at most 2/s), with
// the shortest time any of them stayed on screen.
//
// Last, in a build configured with the windows build beside it
// (BRENNA_WINDOWS_BUILD_DIR), the same quiet line through the Windows
// monitor (BrennaCenter.exe under wine64, installed as a PC has it).
//
// Usage: bench_end_to_end [--results N] [--large M] [--stations K] [--files F]
//                         [--attack R] [--attacks-only [A]] [--quiet Q] [--backlog B]
//                         [--quiet-only]   (the quiet lines of both monitors alone)
// (--attacks-only A runs attack A alone, 1 to 6.)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "MonitorProcess.h"
#include "PallixWire.h"
#include "Station.h"
#if defined(BRENNA_WINDOWS_BUILD_DIR)
#include "DisplayServer.h"
#include "WindowsInstall.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
// Only so that a broken monitor cannot hang the run; never a verdict on
// speed.
constexpr auto kGiveUp = std::chrono::seconds(300);

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double PerSecond(double count, Clock::duration d) {
  const double s = std::chrono::duration<double>(d).count();
  return s > 0 ? count / s : 0;
}

// The descriptions of `count` results, numbered from 1.
std::vector<std::string> Results(int count, const std::function<std::string(int)>& describe) {
  std::vector<std::string> out;
  for (int i = 1; i <= count; ++i) out.push_back(describe(i));
  return out;
}

// A brake result: device code, operator and a handful of forces.
std::string SmallResultNo(int i) { return SmallResult(25, std::to_string(1000 + i)); }

// Sends the batches (one connection each, at once), waits until every
// transfer has been shown, and prints one line of figures.
bool RunBatch(MonitorProcess& m, const char* label, const std::string& prefix,
              const std::vector<std::vector<std::string>>& connections, int results) {
  size_t frameCount = 0;
  std::vector<std::string> streams;
  for (const auto& frames : connections) {
    std::string s;
    for (const std::string& f : frames) s += f;
    frameCount += frames.size();
    streams.push_back(std::move(s));
  }

  const Clock::time_point start = Clock::now();
  std::vector<Clock::time_point> readAt(streams.size());
  std::vector<StreamOutcome> outcomes(streams.size());
  std::vector<std::thread> senders;
  for (size_t i = 0; i < streams.size(); ++i) {
    senders.emplace_back([&, i] {
      outcomes[i] = SendStream(m.tree().port(), streams[i], kGiveUp);
      readAt[i] = Clock::now();
    });
  }
  for (std::thread& t : senders) t.join();
  Clock::time_point allRead = start;
  for (size_t i = 0; i < streams.size(); ++i) {
    if (!outcomes[i].closedByPeer) {
      std::fprintf(stderr, "%s: connection %zu: %s\n", label, i, outcomes[i].error.c_str());
      return false;
    }
    allRead = std::max(allRead, readAt[i]);
  }

  // Every transfer of this batch published and shown.
  std::map<std::string, SpoolWatch::Times> times;
  for (;;) {
    times.clear();
    int shown = 0;
    for (const auto& [name, t] : m.watch().Snapshot()) {
      // The station tool numbers the names only when it sends several files.
      if (name != prefix && name.rfind(prefix + "-", 0) != 0) continue;
      times[name] = t;
      shown += t.isShown ? 1 : 0;
    }
    if (shown == results) break;
    if (!m.monitor().Running() || Clock::now() - start > kGiveUp) {
      std::fprintf(stderr, "%s: %d of %d results shown (%s)\n", label, shown, results,
                   m.monitor().Describe().c_str());
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Clock::time_point lastPublished = start, firstShown = Clock::time_point::max(), lastShown = start;
  for (const auto& [name, t] : times) {
    if (t.isPublished) lastPublished = std::max(lastPublished, t.published);
    firstShown = std::min(firstShown, t.shown);
    lastShown = std::max(lastShown, t.shown);
  }
  const double readMs = Ms(allRead - start);
  const double publishedMs = Ms(lastPublished - start);
  std::printf("%-38s %7d %6zu %8.1f %8.0f %10.1f %8.0f %9.1f %8.2f\n", label, results, frameCount,
              readMs, PerSecond(static_cast<double>(frameCount), allRead - start), publishedMs,
              PerSecond(static_cast<double>(frameCount), lastPublished - start),
              Ms(lastShown - start),
              results > 1 ? PerSecond(results - 1, lastShown - firstShown) : 0.0);
  std::fflush(stdout);
  return true;
}

// One station's connection: frames go out result by result, each handed
// to TCP completely before the next; then it waits for the monitor to close.
class StationLink {
 public:
  explicit StationLink(int port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(m_fd);
      m_fd = -1;
    }
  }
  ~StationLink() {
    if (m_fd >= 0) close(m_fd);
  }
  StationLink(const StationLink&) = delete;
  StationLink& operator=(const StationLink&) = delete;
  bool ok() const { return m_fd >= 0; }

  bool Send(const std::string& bytes) {
    for (size_t off = 0; off < bytes.size();) {
      const ssize_t n = send(m_fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
      if (n <= 0) return false;
      off += static_cast<size_t>(n);
    }
    return true;
  }
  // Half-closes and waits until the monitor has read everything and closed.
  bool Finish(Clock::time_point deadline) {
    shutdown(m_fd, SHUT_WR);
    char sink[256];
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd p{m_fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      const ssize_t n = recv(m_fd, sink, sizeof sink, 0);
      if (n == 0) return true;
      if (n < 0 && errno != EINTR) return false;
    }
  }

 private:
  int m_fd = -1;
};

// utime + stime of a process in clock ticks, from /proc/<pid>/stat.
long long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const size_t close = line.rfind(')');  // the command name may hold blanks
  if (close == std::string::npos) return -1;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  // Fields 3..13 come first; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 13 && rest >> field; ++i) {
  }
  rest >> utime >> stime;
  return rest ? utime + stime : -1;
}

// CPU share and resident memory over `window` with no traffic.
void PrintIdle(const char* when, MonitorProcess& m, std::chrono::milliseconds window) {
  const pid_t pid = m.monitor().pid();
  const long long before = CpuTicks(pid);
  const Clock::time_point t0 = Clock::now();
  std::this_thread::sleep_for(window);
  const long long after = CpuTicks(pid);
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = before >= 0 && after >= 0
                         ? 100.0 * static_cast<double>(after - before) /
                               static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds
                         : -1;
  std::printf("idle %-13s CPU %5.2f %% over %.1f s   VmRSS %6ld kB   VmHWM %6ld kB\n", when, cpu,
              seconds, m.MemoryKb("VmRSS"), m.MemoryKb("VmHWM"));
  std::fflush(stdout);
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  // Nearest rank.
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

// K stations at once, each sending its results one after another on its
// own connection. False when data was lost (or set-up failed).
bool RunStations(MonitorProcess& m, int stations, int files, int items) {
  struct Station {
    std::string prefix;
    std::vector<std::string> frames;             // every result's frames, in order
    std::map<std::string, std::string> streams;  // per result
    std::vector<std::string> order;
    std::map<std::string, int> chunks;
  };
  std::vector<Station> all(static_cast<size_t>(stations));
  size_t frameCount = 0;
  for (int k = 0; k < stations; ++k) {
    Station& st = all[static_cast<size_t>(k)];
    st.prefix = "station" + std::to_string(k + 1);
    std::string error;
    const auto describe = [&](int i) {
      return LargeResult(static_cast<unsigned>(k * 1000 + i), items);
    };
    if (!m.Frames(st.prefix, Results(files, describe), &st.frames, &error)) {
      std::fprintf(stderr, "stations: %s\n", error.c_str());
      return false;
    }
    for (const std::string& f : st.frames) {
      const std::string name = TransferName(f);
      if (st.streams.find(name) == st.streams.end()) st.order.push_back(name);
      st.streams[name] += f;
      ++st.chunks[name];
    }
    frameCount += st.frames.size();
  }

  std::mutex sentMutex;
  std::map<std::string, Clock::time_point> lastSent;
  std::vector<Clock::time_point> closedAt(all.size());
  std::vector<bool> delivered(all.size(), false);
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (size_t k = 0; k < all.size(); ++k) {
    threads.emplace_back([&, k] {
      StationLink link(m.tree().port());
      bool ok = link.ok();
      for (const std::string& name : all[k].order) {
        ok = ok && link.Send(all[k].streams[name]);
        if (!ok) break;
        std::lock_guard<std::mutex> lock(sentMutex);
        lastSent[name] = Clock::now();
      }
      delivered[k] = ok && link.Finish(start + kGiveUp);
      closedAt[k] = Clock::now();
    });
  }
  for (std::thread& t : threads) t.join();
  Clock::time_point allRead = start;
  int chunksLost = 0;
  for (size_t k = 0; k < all.size(); ++k) {
    allRead = std::max(allRead, closedAt[k]);
    if (!delivered[k]) {
      std::fprintf(stderr, "stations: %s: the monitor did not take every frame\n",
                   all[k].prefix.c_str());
    }
  }

  // Wait until every result has been shown and removed, or give up.
  const int results = stations * files;
  std::map<std::string, SpoolWatch::Times> times;
  for (;;) {
    times = m.watch().Snapshot();
    int shown = 0;
    for (const Station& st : all)
      for (const std::string& name : st.order) shown += times[name].isShown ? 1 : 0;
    if (shown == results || !m.monitor().Running() || Clock::now() - start > kGiveUp) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  int published = 0, shown = 0;
  Clock::time_point lastPublished = start;
  std::vector<double> latencies;
  for (const Station& st : all) {
    for (const std::string& name : st.order) {
      const SpoolWatch::Times& t = times[name];
      if (t.isPublished) {
        ++published;
        lastPublished = std::max(lastPublished, t.published);
      } else {
        chunksLost += st.chunks.at(name);
      }
      if (t.isShown) ++shown;
      if (t.isRead && lastSent.count(name)) latencies.push_back(Ms(t.read - lastSent[name]));
    }
  }
  // The last chunk of the last result to complete was the last frame the
  // receiving task took (the transport may still hold frames when it closes
  // a connection, so "all read" comes earlier).
  const double ingest = PerSecond(static_cast<double>(frameCount), lastPublished - start);
  int fewest = 1 << 30, most = 0;
  for (const Station& st : all)
    for (const auto& [name, n] : st.chunks) {
      fewest = std::min(fewest, n);
      most = std::max(most, n);
    }
  std::printf("\n%d stations at once, %d results each (%zu frames, %d to %d chunks a result)\n",
              stations, files, frameCount, fewest, most);
  std::printf(
      "  frames ingested   %8.1f /s  (%.0f %% of the cap of 200 /s: one frame per pass, "
      "5 ms pause)\n",
      ingest, ingest / 2.0);
  std::printf("  all read          %8.1f ms  (the monitor closed every connection)\n",
              Ms(allRead - start));
  std::printf("  results published %5d of %d   (the last at %.1f ms)\n", published, results,
              Ms(lastPublished - start));
  std::printf("  results shown     %5d of %d\n", shown, results);
  std::printf("  chunks lost       %5d\n", chunksLost);
  std::printf("  latency, last chunk sent to values drawn: p50 %.0f ms, p99 %.0f ms, max %.0f ms\n",
              Percentile(latencies, 50), Percentile(latencies, 99), Percentile(latencies, 100));
  std::fflush(stdout);
  bool allDelivered = true;
  for (bool d : delivered) allDelivered = allDelivered && d;
  return allDelivered && chunksLost == 0 && published == results && shown == results;
}

// One kind of attack: its peers, a few words for the report, and the
// address the real station sends from (empty: 127.0.0.1, as the peers).
struct Attack {
  const char* label;
  HostileMix mix;
  const char* source = "";
};

// A real station under attack: hostile connections that come back as soon
// as they are closed take every slot (or, flooding, the receiving task's
// whole pace); then, round after round, one station connects and sends one
// small result. Per round, the time from its connect to the monitor's
// receipt and to the result published. False when a result never arrived
// (or set-up failed).
bool RunUnderAttack(MonitorProcess& m, const Attack& attack, const std::string& tag, int rounds) {
  std::vector<std::string> frames;
  std::string error;
  if (!m.Frames(tag, Results(rounds, SmallResultNo), &frames, &error)) {
    std::fprintf(stderr, "%s: %s\n", tag.c_str(), error.c_str());
    return false;
  }
  std::vector<std::string> order;
  std::map<std::string, std::string> streams;
  for (const std::string& f : frames) {
    const std::string name = TransferName(f);
    if (streams.find(name) == streams.end()) order.push_back(name);
    streams[name] += f;
  }
  const int before = m.OpenSockets();
  const long residentBefore = m.MemoryKb("VmRSS");
  std::unique_ptr<HostilePeers> attackers =
      std::make_unique<HostilePeers>(m.tree().port(), attack.mix);
  HostilePeers& hostile = *attackers;
  const Clock::time_point setUp = Clock::now();
  const int peers = attack.mix.trickles + attack.mix.squatters + attack.mix.garbage +
                    attack.mix.frameThenTrickle + attack.mix.floods + attack.mix.keepAlives;
  while (m.OpenSockets() < before + std::min(peers, 256) && Clock::now() - setUp < kGiveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // A flood needs a moment to fill the queues.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::printf("\nunder attack: %s (%d of them held), one real result a round\n", attack.label,
              m.OpenSockets() - before);
  const long floodedBefore = hostile.FramesFlooded();
  const Clock::time_point floodStart = Clock::now();
  std::vector<double> confirmedMs, publishedMs;
  bool ok = true;
  int unconfirmed = 0;
  for (const std::string& name : order) {
    // Let the attackers take back what the last round freed.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const Clock::time_point start = Clock::now();
    const StreamOutcome out =
        SendAsStation(m.tree().port(), streams[name], attack.source,
                      std::chrono::duration_cast<std::chrono::milliseconds>(kGiveUp));
    const Clock::time_point confirmed = Clock::now();
    SpoolWatch::Times t;
    while (!(t = m.watch().Snapshot()[name]).isPublished && Clock::now() - start < kGiveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!t.isPublished) {
      std::fprintf(stderr, "%s: %s never published (receipt %ld)\n", tag.c_str(), name.c_str(),
                   out.receipt);
      ok = false;
      continue;
    }
    if (out.receipt != 1) ++unconfirmed;
    confirmedMs.push_back(Ms(confirmed - start));
    publishedMs.push_back(Ms(t.published - start));
    std::printf("  %-12s published %7.0f ms   receipt %7.0f ms%s\n", name.c_str(),
                publishedMs.back(), confirmedMs.back(), out.receipt == 1 ? "" : " (none)");
  }
  std::printf(
      "  published after p50 %.0f ms, p99 %.0f ms, max %.0f ms; receipt p50 %.0f ms, p99 %.0f "
      "ms, max %.0f ms\n",
      Percentile(publishedMs, 50), Percentile(publishedMs, 99), Percentile(publishedMs, 100),
      Percentile(confirmedMs, 50), Percentile(confirmedMs, 99), Percentile(confirmedMs, 100));
  if (unconfirmed > 0) std::printf("  published but not confirmed: %d\n", unconfirmed);
  std::printf("  hostile connections closed by the monitor meanwhile: %ld\n", hostile.Closed());
  if (attack.mix.floods > 0) {
    const double seconds = std::chrono::duration<double>(Clock::now() - floodStart).count();
    std::printf("  flood frames sent meanwhile: %.0f/s\n",
                static_cast<double>(hostile.FramesFlooded() - floodedBefore) / seconds);
  }
  // What the attack leaves in memory once it is over and its connections
  // are gone.
  const long residentDuring = m.MemoryKb("VmRSS");
  attackers.reset();
  const Clock::time_point calm = Clock::now();
  while (m.OpenSockets() > before && Clock::now() - calm < kGiveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::printf("  resident memory: %ld kB before, %ld kB during, %ld kB after\n", residentBefore,
              residentDuring, m.MemoryKb("VmRSS"));
  std::fflush(stdout);
  return ok;
}

// Every attack in turn, or only the one numbered `only` (1 to 6).
bool RunAttacks(MonitorProcess& m, int rounds, int only) {
  HostileMix trickles;  // the trickles of the last rounds
  trickles.trickles = 260;
  trickles.squatters = 20;
  trickles.garbage = 20;
  HostileMix frameThenTrickle;
  frameThenTrickle.frameThenTrickle = 400;
  frameThenTrickle.tricklePause = std::chrono::milliseconds(100);
  HostileMix flood;
  flood.floods = 300;
  flood.floodEnds = false;
  HostileMix endingFlood = flood;
  endingFlood.floodEnds = true;
  HostileMix keepAlives;
  keepAlives.keepAlives = 300;
  keepAlives.keepAlivePause = std::chrono::milliseconds(900);
  // Real results from four addresses, each peer sending one on a new
  // connection every 2.5 s: 400 frames a second offered.
  HostileMix results;
  results.floods = 1000;
  results.floodCycle = std::chrono::milliseconds(2500);
  results.sources = 4;
  std::string error;
  if (!m.Frames("flood", Results(8, SmallResultNo), &results.floodStreams, &error)) {
    std::fprintf(stderr, "attacks: %s\n", error.c_str());
    return false;
  }
  const Attack attacks[] = {
      {"300 hostile connections (260 trickling a frame's first bytes, one byte every 3 s, 20 "
       "silent, 20 sending garbage)",
       trickles},
      {"400 connections sending one whole frame, then a byte every 100 ms", frameThenTrickle},
      {"300 connections each sending 16 whole frames as fast as they are taken, then silent "
       "until closed, again and again",
       flood},
      {"300 connections each sending 16 whole frames as fast as they are taken and ending, again "
       "and again",
       endingFlood},
      {"300 connections each sending a whole keep-alive frame every 0.9 s", keepAlives},
      {"1,000 peers from 4 addresses each sending a real one-frame result on a new connection "
       "every 2.5 s (400 frames/s offered); the station sends from 127.0.0.2",
       results, "127.0.0.2"},
  };
  bool ok = true;
  int n = 0;
  for (const Attack& a : attacks) {
    ++n;
    if (only == 0 || only == n)
      ok = RunUnderAttack(m, a, "attack" + std::to_string(n), rounds) && ok;
  }
  return ok;
}

constexpr long kDayMs = 24L * 3600 * 1000;

// The time of day (ms) of the first journal line in `log` that contains
// `what`, from its stamp "YYYY-MM-DD HH:MM:SS.mmm"; -1 when there is none.
long JournalMs(const std::string& log, const std::string& what) {
  const size_t at = log.find(what);
  if (at == std::string::npos) return -1;
  const size_t lineStart = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
  int h = 0, mi = 0, sec = 0, ms = 0;
  if (std::sscanf(log.c_str() + lineStart, "%*d-%*d-%*d %d:%d:%d.%d", &h, &mi, &sec, &ms) != 4)
    return -1;
  return ((h * 60L + mi) * 60 + sec) * 1000 + ms;
}

// A quiet line: one small result at a time, sent at a random moment 0.1
// to 1.1 s after the one before has had its half second alone on screen
// (so nothing waits for it, and the moments fall all over the window's
// one-second timer). Per result, publication (renamed into place) to values
// drawn. False when a result never arrived.
bool RunQuietLine(MonitorProcess& m, int count, const char* which) {
  std::vector<std::string> frames;
  std::string error;
  if (!m.Frames("quiet", Results(count, SmallResultNo), &frames, &error)) {
    std::fprintf(stderr, "quiet: %s\n", error.c_str());
    return false;
  }
  std::mt19937 random(20261207u);
  std::uniform_int_distribution<int> gapMs(100, 1100);
  std::vector<double> readMs, publishedMs;
  std::vector<std::string> names;
  for (const std::string& f : frames) {
    const std::string name = TransferName(f);
    std::this_thread::sleep_for(std::chrono::milliseconds(500 + gapMs(random)));
    const Clock::time_point sent = Clock::now();
    const StreamOutcome out = SendStream(m.port(), f, kGiveUp);
    SpoolWatch::Times t;
    while (!(t = m.watch().Snapshot()[name]).isRead && Clock::now() - sent < kGiveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!out.closedByPeer || !t.isPublished || !t.isRead) {
      std::fprintf(stderr, "quiet: %s: %s\n", name.c_str(),
                   !out.closedByPeer ? out.error.c_str()
                   : t.isPublished   ? "never drawn"
                                     : "never published");
      return false;
    }
    publishedMs.push_back(Ms(t.published - sent));
    readMs.push_back(Ms(t.read - t.published));
    names.push_back(name);
  }
  // The monitor's own account, to the millisecond and free of this
  // program's scheduling: its journal line "result 'x' published" (the
  // receiving task, right after the rename) and "result 'x' shown" (the
  // window, once every display and the title are set).
  std::vector<double> journalMs;
  const Clock::time_point waitFrom = Clock::now();
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    journalMs.clear();
    const std::string log = m.Log();
    for (const std::string& name : names) {
      const long published = JournalMs(log, "result '" + name + "' published");
      const long shown = JournalMs(log, "result '" + name + "' shown");
      if (published < 0 || shown < 0) break;
      journalMs.push_back(static_cast<double>((shown - published + kDayMs) % kDayMs));
    }
  } while (journalMs.size() < names.size() && Clock::now() - waitFrom < std::chrono::seconds(10));
  std::printf("\nquiet line, %s: %d small results, one at a time, each at a random moment\n", which,
              count);
  std::printf("  sent to published (inotify)      p50 %6.1f ms   p99 %6.1f ms\n",
              Percentile(publishedMs, 50), Percentile(publishedMs, 99));
  std::printf(
      "  published to read (inotify)      p50 %6.1f ms   p90 %6.1f ms   p99 %6.1f ms   max %6.1f "
      "ms\n",
      Percentile(readMs, 50), Percentile(readMs, 90), Percentile(readMs, 99),
      Percentile(readMs, 100));
  if (journalMs.size() == names.size()) {
    std::printf(
        "  published to drawn (journal)     p50 %6.0f ms   p90 %6.0f ms   p99 %6.0f ms   max %6.0f "
        "ms\n",
        Percentile(journalMs, 50), Percentile(journalMs, 90), Percentile(journalMs, 99),
        Percentile(journalMs, 100));
  } else {
    std::printf("  published to drawn (journal)     not all lines found in the monitor's output\n");
  }
  std::fflush(stdout);
  return true;
}

// A backlog: `count` small results sent at once on one connection, so they
// wait in the spool; the rate at which the window draws them, and the
// shortest time one of them stayed alone on screen (from its drawing to the
// next one's). False when a result never arrived.
bool RunBacklog(MonitorProcess& m, int count) {
  std::vector<std::string> frames;
  std::string error;
  if (!m.Frames("backlog", Results(count, SmallResultNo), &frames, &error)) {
    std::fprintf(stderr, "backlog: %s\n", error.c_str());
    return false;
  }
  std::set<std::string> names;
  for (const std::string& f : frames) names.insert(TransferName(f));
  const Clock::time_point start = Clock::now();
  const StreamOutcome out = SendStream(m.tree().port(), Concat(frames), kGiveUp);
  if (!out.closedByPeer ||
      !m.watch().WaitUntilShown(names,
                                std::chrono::duration_cast<std::chrono::milliseconds>(kGiveUp))) {
    std::fprintf(stderr, "backlog: not every result was drawn (%s)\n", out.error.c_str());
    return false;
  }
  std::vector<Clock::time_point> drawn;
  Clock::time_point lastPublished = start;
  for (const auto& [name, t] : m.watch().Snapshot()) {
    if (names.count(name) == 0) continue;
    drawn.push_back(t.read);
    lastPublished = std::max(lastPublished, t.published);
  }
  std::sort(drawn.begin(), drawn.end());
  double shortest = 1e9;
  for (size_t i = 1; i < drawn.size(); ++i)
    shortest = std::min(shortest, Ms(drawn[i] - drawn[i - 1]));
  std::printf("\nbacklog: %d small results sent at once (all published after %.0f ms)\n", count,
              Ms(lastPublished - start));
  std::printf("  drained at %.3f results/s (at most 2/s: each stays half a second on screen)\n",
              count > 1 ? PerSecond(count - 1, drawn.back() - drawn.front()) : 0.0);
  std::printf("  shortest time a result stayed alone on screen: %.1f ms\n", shortest);
  std::fflush(stdout);
  return true;
}

// The same quiet line through the Windows monitor under wine64, installed
// as a PC has it, on a private X server (wine makes no window without one;
// no window manager). Nothing to do in a build without the windows build
// beside it.
bool RunWindowsQuietLine(int count) {
#if defined(BRENNA_WINDOWS_BUILD_DIR)
  WindowsInstall install;
  if (!install.ok()) {
    std::fprintf(stderr, "windows: %s\n", install.error().c_str());
    return false;
  }
  DisplayServer display;
  std::string error;
  if (!display.Start(install.work() + "/xvfb.log", {}, &error)) {
    std::fprintf(stderr, "windows: %s\n", error.c_str());
    return false;
  }
  MonitorProcess w(install.Monitor());
  w.ShowOn(display.ClientEnv());
  if (!w.Start(&error)) {
    std::fprintf(stderr, "windows: %s\n", error.c_str());
    return false;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const bool ok = RunQuietLine(w, count, "Windows monitor under wine64");
  w.Stop();
  return ok;
#else
  (void)count;
  std::printf("\n(no windows build beside this one: the Windows monitor is not measured)\n");
  return true;
#endif
}

int Argument(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int smallCount = Argument(argc, argv, "--results", 20);
  const int largeCount = Argument(argc, argv, "--large", 12);
  const int stations = Argument(argc, argv, "--stations", 8);
  const int files = Argument(argc, argv, "--files", 8);
  const int attackRounds = Argument(argc, argv, "--attack", 5);
  // Only the attacks, or only one of them: --attacks-only [K].
  int attacksOnly = -1;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--attacks-only") == 0)
      attacksOnly = i + 1 < argc ? std::atoi(argv[i + 1]) : 0;
  const int quietCount = Argument(argc, argv, "--quiet", 100);
  const int backlogCount = Argument(argc, argv, "--backlog", 40);

  MonitorProcess m;
  std::string error;
  if (!m.Start(&error)) {
    std::fprintf(stderr, "bench_end_to_end: %s\n", error.c_str());
    return 1;
  }
  if (attacksOnly >= 0) {
    const bool ok = RunAttacks(m, attackRounds, attacksOnly);
    m.Stop();
    return ok ? 0 : 1;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quiet-only") != 0) continue;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    bool ok = RunQuietLine(m, quietCount, "Linux monitor");
    m.Stop();
    ok = RunWindowsQuietLine(quietCount) && ok;
    return ok ? 0 : 1;
  }

  // The largest result whose every transfer still fits: try the first one
  // with fewer and fewer items, then leave a little room for the others.
  int items = 90;
  std::vector<std::string> probe;
  while (items > 1 && !m.Frames("probe", {LargeResult(1, items)}, &probe, &error)) --items;
  items = std::max(1, items - 2);

  std::vector<std::string> small, large, spread;
  const auto largeResult = [&](int i) { return LargeResult(static_cast<unsigned>(i), items); };
  if (!m.Frames("small", Results(smallCount, SmallResultNo), &small, &error) ||
      !m.Frames("large", Results(largeCount, largeResult), &large, &error) ||
      !m.Frames("spread", Results(stations * 3, SmallResultNo), &spread, &error)) {
    std::fprintf(stderr, "bench_end_to_end: %s\n", error.c_str());
    return 1;
  }
  // The spread batch: three results per station, each station on its own
  // connection, all at once.
  std::vector<std::vector<std::string>> spreadConnections(static_cast<size_t>(stations));
  for (size_t i = 0; i < spread.size(); ++i)
    spreadConnections[i % spreadConnections.size()].push_back(spread[i]);

  std::printf("BrennaCenter end to end: installed copy, offscreen, loopback TCP, port %d\n",
              m.tree().port());
  // Start-up is over once the listener answers; give the first scans time.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  PrintIdle("before load", m, std::chrono::seconds(5));
  std::printf("\n");
  std::printf("times in ms from the first byte sent; rates per second\n\n");
  std::printf("%-38s %7s %6s %17s %19s %18s\n", "", "", "", "all read", "all published",
              "all shown");
  std::printf("%-38s %7s %6s %8s %8s %10s %8s %9s %8s\n", "batch", "results", "frames", "ms",
              "frames/s", "ms", "frames/s", "ms", "shown/s");
  char label[80];
  bool ok = true;
  std::snprintf(label, sizeof label, "%d small, 1 station", smallCount);
  ok = ok && RunBatch(m, label, "small", {small}, smallCount);
  std::snprintf(label, sizeof label, "%d large (%zu chunks each), 1 station", largeCount,
                large.size() / static_cast<size_t>(largeCount));
  ok = ok && RunBatch(m, label, "large", {large}, largeCount);
  std::snprintf(label, sizeof label, "%d small, %d stations at once", stations * 3, stations);
  ok = ok && RunBatch(m, label, "spread", spreadConnections, stations * 3);
  std::printf(
      "\nshown/s is bounded by the deliberate 500 ms pause after each result (at most 2/s);\n"
      "the receiving task takes one frame per pass with a 5 ms pause between passes.\n");

  ok = RunStations(m, stations, files, items) && ok;
  ok = RunAttacks(m, attackRounds, 0) && ok;
  ok = RunQuietLine(m, quietCount, "Linux monitor") && ok;
  ok = RunBacklog(m, backlogCount) && ok;
  std::printf("\n");
  PrintIdle("after load", m, std::chrono::seconds(5));

  m.Stop();
  ok = RunWindowsQuietLine(quietCount) && ok;
  if (!ok) std::printf("\nDATA LOST or set-up failed: see above\n");
  return ok ? 0 : 1;
}
