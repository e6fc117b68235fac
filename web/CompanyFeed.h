// CompanyFeed - the company's lines followed for the overview (brenna-web
// --company): one thread reads every line's state from the company
// database every `poll` (web/CompanySource) and makes the overview's state
// anew, waking every live page when it changed. A database that cannot be
// read is said, with since when and why, beside what was read last; the
// next look that reads it again ends that. Every page is sent the latest
// state, never a queue of them (web/EventStream).
#ifndef BRENNA_WEB_COMPANYFEED_H
#define BRENNA_WEB_COMPANYFEED_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"
#include "web/CompanySource.h"

namespace web {

struct CompanyState {
  std::uint64_t version = 0;                // rises with every change a page shows
  std::shared_ptr<const std::string> json;  // the overview's update (web/CompanyPages)
  std::shared_ptr<const std::vector<CompanyLine>> lines;  // as last read
  bool read = false;                                      // the lines were read at least once
  bool reachable = false;                                 // the last look read them
  std::string why;                                        // why it did not
  std::int64_t sinceUtcMs = 0;                            // since when it could not
};

class CompanyFeed {
 public:
  struct Options {
    CompanySource* source = nullptr;
    std::chrono::milliseconds poll{2000};
    std::function<std::int64_t()> clock;  // the time the texts are told against
  };

  explicit CompanyFeed(Options options);
  ~CompanyFeed();
  CompanyFeed(const CompanyFeed&) = delete;
  CompanyFeed& operator=(const CompanyFeed&) = delete;

  void Start();
  // Ends the thread and wakes every waiter for good.
  void Stop() PALLIX_EXCLUDES(lock_);
  bool Stopped() const PALLIX_EXCLUDES(lock_);

  // One look, as the thread makes them.
  void LookOnce() PALLIX_EXCLUDES(lock_);

  std::int64_t Now() const { return options_.clock(); }
  CompanyState Current() const PALLIX_EXCLUDES(lock_);
  // Waits until the state's version differs from `seen`, the feed stops or
  // `limit` passes; true with the new state in *out when it changed.
  bool WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit, CompanyState* out) const
      PALLIX_EXCLUDES(lock_);

 private:
  Options options_;
  // The reading thread: the database read, then the poll's wait (or the
  // stop), again and again.
  void Run() PALLIX_EXCLUDES(lock_);

  mutable Mutex lock_;
  mutable CondVar changed_;  // a new state, or the stop: for the pages
  CondVar wake_;             // the stop: for the reading thread
  bool stopped_ PALLIX_GUARDED_BY(lock_) = false;
  CompanyState state_ PALLIX_GUARDED_BY(lock_);
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYFEED_H
