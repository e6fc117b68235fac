// LiveFeed - the archive followed as the monitor writes it: one thread
// looks every `poll` (PRAGMA data_version tells at once whether the
// monitor's writer committed anything), and when a result came, a run
// began or ended, or the monitor fell silent, it makes the live panel's
// state anew (the latest panel, the title, whether the monitor runs) and
// wakes everyone waiting. Every live page is sent the latest state, never
// a queue of them: a slow page skips states, it never makes anything pile
// up.
//
// The monitor runs while its last run has no stop and its heartbeat is at
// most 5 s old (archive::kHeartbeatStaleMs). The archive is opened
// read-only and looked at in short reads; a file replaced at the path (moved
// aside as damaged, a new archive begun) is opened anew. Once a second the
// file is also opened afresh, as a page opens it: one that can no longer
// be read that way twice in a row is unreadable for the feed too, even
// where its own connection does not notice.
#ifndef BRENNA_WEB_LIVEFEED_H
#define BRENNA_WEB_LIVEFEED_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "archive/ArchiveReader.h"
#include "platform/FileOps.h"
#include "platform/Mutex.h"
#include "web/LineSummary.h"
#include "web/PanelView.h"
#include "web/WebSettings.h"

namespace web {

// Results of one device group, for /metrics.
struct GroupCount {
  std::int64_t results = 0;         // in the archive when the feed began, and every one since
  std::int64_t lastShownUtcMs = 0;  // 0: none
};

struct FeedState {
  std::uint64_t version = 0;                // rises with every change a page shows
  std::shared_ptr<const std::string> json;  // the live panel's update (PanelView's PanelJson)
  std::shared_ptr<const std::map<int, DisplayValue>> values;  // what the panel shows
  std::string title;                                          // "数据监控(7)"
  MonitorState monitor;
  bool archiveOpen = false;         // the archive is there and can be read
  std::int64_t heartbeatUtcMs = 0;  // the last run's heartbeat (its stop once stopped); 0: no run
  std::int64_t latestResultId = 0;
  std::map<std::string, GroupCount> groups;  // caption (UTF-8; "" no group) -> counts
  LineSummary line;                          // the line itself: its name, idle or not, groups
};

// The line a feed follows: its name, and how long without a result makes
// it idle.
struct LineOptions {
  std::string name;
  std::chrono::milliseconds idleAfter{std::chrono::minutes(kDefaultIdleMinutes)};
  reports::VehicleRule vehicles{};  // how a transfer name names its vehicle
};

class LiveFeed {
 public:
  struct Options {
    std::string archivePath;
    std::chrono::milliseconds poll{25};
    // The time the monitor's heartbeat is measured against.
    std::function<std::int64_t()> clock;
  };
  explicit LiveFeed(Options options, LineOptions line = LineOptions());
  ~LiveFeed();
  LiveFeed(const LiveFeed&) = delete;
  LiveFeed& operator=(const LiveFeed&) = delete;

  // The looking thread; Stop() ends it and wakes every waiter for good.
  void Start();
  void Stop() PALLIX_EXCLUDES(lock_);
  bool Stopped() const PALLIX_EXCLUDES(lock_);

  // One look at the archive, as the thread makes them.
  void LookOnce() PALLIX_EXCLUDES(lock_);

  FeedState Current() const PALLIX_EXCLUDES(lock_);
  // Waits until the state's version differs from `seen`, the feed stops or
  // `limit` passes; true with the new state in *out when it changed.
  bool WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit, FeedState* out) const
      PALLIX_EXCLUDES(lock_);

 private:
  // Opens the file at the path; false with the reason in unreadable_.
  bool Reopen();
  void Close(const std::string& why);
  // The latest panel and title; false when the archive could not be read.
  bool Rebuild();
  bool CountNewResults();
  // Each group's newest result, told as the overview tells it; false when
  // the archive could not be read.
  bool SummariseGroups();
  // Today's results and those with a veto, counted on from the last look
  // (anew when the day changes); false when the archive could not be read.
  bool CountToday(std::int64_t now, bool resultsCame);
  // Whether the line is idle now, and since when.
  LineSummary Line(const MonitorState& monitor, std::int64_t now) const;
  // Whether the file can still be opened and read as a page opens it: a
  // file damaged under an open connection may go unseen by it.
  void Probe(std::int64_t now);
  void Publish(const MonitorState& monitor, const LineSummary& line) PALLIX_EXCLUDES(lock_);
  // The looking thread: a look every poll, until the stop.
  void Run() PALLIX_EXCLUDES(lock_);

  Options options_;
  LineOptions line_;
  // The thread's own (or LookOnce's caller's).
  archive::ArchiveReader reader_;
  bool open_ = false;
  FileIdentity file_;  // the file opened
  std::int64_t nextOpenTryMs_ = 0;
  int failedOpens_ = 0;  // in a row, of a file at the path
  std::int64_t nextProbeMs_ = 0;
  int failedProbes_ = 0;  // in a row
  MonitorState::Kind lastKind_ = MonitorState::Kind::kNoArchive;
  std::int64_t dataVersion_ = -1;
  bool haveRun_ = false;
  archive::RunRow run_;
  std::int64_t latestId_ = -1;
  std::int64_t latestWrite_ = -1;
  std::int64_t countedId_ = 0;
  std::map<std::string, GroupCount> groups_;
  std::map<std::string, std::int64_t> newestIds_;  // caption -> the group's newest result
  std::vector<GroupSummary> summaries_;
  std::int64_t runLastShownMs_ = 0;  // the run's last result; 0: none yet
  std::string today_;                // the local day counted
  std::int64_t todayThroughId_ = 0;  // counted up to this result
  std::int64_t todayResults_ = 0, todayVetoed_ = 0;
  std::map<int, DisplayValue> values_;
  std::string title_;
  std::uint64_t panelSerial_ = 0, publishedSerial_ = 0;
  std::string unreadable_;

  // Guards what the looking thread shares with the pages: the state
  // published and the stop. All above is the looking thread's alone.
  mutable Mutex lock_;
  mutable CondVar changed_;  // a new state, or the stop
  FeedState state_ PALLIX_GUARDED_BY(lock_);
  bool stopped_ PALLIX_GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_LIVEFEED_H
