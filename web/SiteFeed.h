// SiteFeed - the lines of a site followed together for the overview
// (brenna-web --site, docs/web-view.md): one LineWatch per line, each on
// its own connection and thread, and the overview's state made anew from
// what they last heard whenever one of them changes (and every 30 s, for
// the texts that follow the clock) on a thread of its own, at most every
// 250 ms: a line that floods its states is followed as fast as a page can
// show, and what came meanwhile is in the next. Every page is sent the
// latest state, never a queue of them.
#ifndef BRENNA_WEB_SITEFEED_H
#define BRENNA_WEB_SITEFEED_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"
#include "web/LineWatch.h"
#include "web/SiteSettings.h"

namespace web {

struct SiteState {
  std::uint64_t version = 0;                // rises with every change a page shows
  std::shared_ptr<const std::string> json;  // the overview's update (web/SitePages)
  std::vector<LineView> views;              // one per line, in the settings' order
};

class SiteFeed {
 public:
  struct Options {
    std::vector<SiteLine> lines;
    WatchTiming timing;
    std::function<std::int64_t()> clock;  // the time the texts are told against
  };

  explicit SiteFeed(Options options);
  ~SiteFeed();
  SiteFeed(const SiteFeed&) = delete;
  SiteFeed& operator=(const SiteFeed&) = delete;

  void Start();
  // Ends every line's connection and wakes every waiter for good.
  void Stop() PALLIX_EXCLUDES(lock_);
  bool Stopped() const PALLIX_EXCLUDES(lock_);

  const std::vector<SiteLine>& Lines() const { return options_.lines; }
  std::int64_t Now() const { return options_.clock(); }

  SiteState Current() const PALLIX_EXCLUDES(lock_);
  // Waits until the state's version differs from `seen`, the feed stops or
  // `limit` passes; true with the new state in *out when it changed.
  bool WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit, SiteState* out) const
      PALLIX_EXCLUDES(lock_);

 private:
  void Remake() PALLIX_EXCLUDES(lock_);
  // The remaking thread: waits for a change, or the clock, or the stop.
  void Run() PALLIX_EXCLUDES(lock_);

  Options options_;
  std::vector<std::unique_ptr<LineWatch>> watches_;  // made once, by the constructor
  // Guards what the lines' threads, the remaking thread and the pages share.
  mutable Mutex lock_;
  mutable CondVar changed_;  // a new state, or the stop: for the pages
  CondVar dirty_;            // a line changed, or the stop: for the remaking thread
  bool isDirty_ PALLIX_GUARDED_BY(lock_) = true;
  bool stopped_ PALLIX_GUARDED_BY(lock_) = false;
  SiteState state_ PALLIX_GUARDED_BY(lock_);
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_SITEFEED_H
