// AlertWatch - brenna-web's look-out for its alerts: once a second, and at
// once when the live feed changes, it takes the line as the feed has it
// (whether the monitor runs, each group's last result) and each group's
// vetoes of the last hour from the archive (read afresh, at most every
// 10 s or when results came), asks AlertRules what to tell, and hands that
// to the AlertSender. A thread of its own: no page waits for it.
#ifndef BRENNA_WEB_ALERTWATCH_H
#define BRENNA_WEB_ALERTWATCH_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "platform/Mutex.h"
#include "web/AlertRules.h"
#include "web/AlertSender.h"
#include "web/LiveFeed.h"

namespace web {

class AlertWatch {
 public:
  struct Options {
    AlertSettings settings;
    std::string lineName;
    std::string archivePath;
    std::chrono::milliseconds period{1000};
    std::function<std::int64_t()> clock;  // the moment looked at; archive::NowUtcMs by default
  };
  AlertWatch(Options options, const LiveFeed& feed, AlertSender& sender);
  ~AlertWatch();
  AlertWatch(const AlertWatch&) = delete;
  AlertWatch& operator=(const AlertWatch&) = delete;

  void Start();
  void Stop() PALLIX_EXCLUDES(lock_);
  // One look, as the thread makes them.
  void LookOnce();

 private:
  LineNow Now(const FeedState& state, std::int64_t now);
  // Each group's results with a veto in the hour before `now`.
  void CountVetoes(std::int64_t now, std::int64_t latestId);
  bool Stopping() PALLIX_EXCLUDES(lock_);

  Options options_;
  const LiveFeed& feed_;
  AlertSender& sender_;
  AlertRules rules_;
  std::map<std::string, int> vetoes_;  // group -> in the last hour
  std::int64_t vetoesCountedMs_ = 0;
  std::int64_t vetoesLatestId_ = -1;
  std::uint64_t seen_ = 0;  // all above: the looking thread's alone
  Mutex lock_;
  bool stopping_ PALLIX_GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_ALERTWATCH_H
