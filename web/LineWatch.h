// LineWatch - one line of a site followed from here (brenna-web --site):
// its brenna-web's live updates (/events, web/LiveStateFormat) read with
// cpp-httplib's client over a connection of its own, the line's token sent
// as Bearer, on a thread of its own, so that a line that cannot be
// reached, answers slowly or sends nonsense holds up no other line.
//
// What the line last said is kept: one update read at a time, at most
// 256 KiB of it, its texts clipped, and of the updates that came together
// only the last (a line that floods its states costs no more than one
// that does not); the answer's head and its chunks' sizes are bounded by
// the client (web/LineClient). A connection that cannot be made within
// 3 s, or is silent for 25 s (a line pings every 10 s), is given up; one
// that was made but has brought no state after 5 s says the line is
// silent. When a connection ends it is made again: at once after the
// line's own "again", else 1 s after the last one began, then 2 s, then
// every 3 s while it keeps failing, so a line that comes back is seen
// within 5 s.
#ifndef BRENNA_WEB_LINEWATCH_H
#define BRENNA_WEB_LINEWATCH_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"
#include "web/SiteSettings.h"

namespace web {

class LineClient;

// A device group as a line tells it (web/LineSummary's GroupSummary).
struct GroupView {
  std::string group;  // caption, UTF-8
  std::int64_t resultId = 0;
  std::int64_t shownUtcMs = 0;
  std::string operatorText;  // UTF-8, as shown
  int judge = 0;
  int vetoes = 0;
};

// What the overview knows of a line.
struct LineView {
  enum class Reach {
    kConnecting,   // not yet reached
    kUp,           // its updates come
    kUnreachable,  // no connection, or it broke off
    kSilent,       // it takes the connection but sends no state
    kRefused,      // it does not take the token (403)
    kBusy,         // its live pages are at their limit (503)
    kGarbled,      // what answers there is no brenna-web's updates
  };
  Reach reach = Reach::kConnecting;
  std::int64_t sinceUtcMs = 0;  // when it came to be so
  std::string why;              // what failed, in the library's words
  bool known = false;           // an update came at least once: what follows is its last
  std::string name;             // the name the line gives itself, UTF-8
  std::string title;            // "数据监控(7)"
  bool running = false;
  std::string head, detail;  // the monitor's state, in the line's words
  bool idle = false;
  std::string idleHead, idleDetail;
  std::int64_t lastResultUtcMs = 0;
  bool todayKnown = false;  // the line tells its day's counts (older lines do not)
  std::int64_t todayResults = 0, todayVetoed = 0;
  std::vector<GroupView> groups;
};

// Reads a line's update (the JSON of one state event) into *view, keeping
// its reach; false when it is none. Bounded: texts clipped, at most 16
// groups, nothing nested deeper than an update is.
bool ReadLineState(const std::string& json, LineView* view);

struct WatchTiming {
  std::chrono::milliseconds connect{3000};
  std::chrono::milliseconds silence{25000};
  // A line's brenna-web sends its state at once: none this long after the
  // connection was made, and the line is silent.
  std::chrono::milliseconds firstState{5000};
  // From the start of one attempt to the start of the next, while a line
  // keeps failing: doubling from the first to the last.
  std::chrono::milliseconds firstRetry{1000};
  std::chrono::milliseconds lastRetry{3000};
};

class LineWatch {
 public:
  // `changed` is called (on the watch's thread) whenever Current() changes.
  LineWatch(SiteLine line, WatchTiming timing, std::function<void()> changed,
            std::function<std::int64_t()> clock);
  ~LineWatch();
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  void Start() PALLIX_EXCLUDES(lock_);
  // Ends the connection and the thread; quickly, whatever the line does.
  void Stop() PALLIX_EXCLUDES(lock_);

  LineView Current() const PALLIX_EXCLUDES(lock_);

 private:
  enum class Ended { kAgain, kFailed, kStopped };
  void Run() PALLIX_EXCLUDES(lock_);
  // One connection, read until it ends; *stated when a state came on it.
  Ended Follow(bool* stated) PALLIX_EXCLUDES(lock_);
  // Says why a connection ended (`status`: the answer's, 0 without one).
  void Classify(const LineClient& client, int status, bool garbled, bool silent)
      PALLIX_EXCLUDES(lock_);
  // Takes the events complete in *buffer (of several states, the last);
  // false when the connection is to end (*ended says how).
  bool TakeEvents(std::string* buffer, Ended* ended, bool* stated) PALLIX_EXCLUDES(lock_);
  // Both call `changed_` after letting go of the lock.
  void Failed(LineView::Reach reach, const std::string& why) PALLIX_EXCLUDES(lock_);
  void Update(const LineView& view) PALLIX_EXCLUDES(lock_);
  bool Stopping() const PALLIX_EXCLUDES(lock_);

  const SiteLine line_;
  const WatchTiming timing_;
  const std::function<void()> changed_;
  const std::function<std::int64_t()> clock_;

  // Guards what the watch's thread and its readers share: the stop, the
  // connection under way and what the line last said.
  mutable Mutex lock_;
  CondVar wake_;  // the stop, or the thread's end
  bool stopped_ PALLIX_GUARDED_BY(lock_) = false;
  bool running_ PALLIX_GUARDED_BY(lock_) = false;  // the thread has not ended yet
  // While a connection is followed.
  LineClient* client_ PALLIX_GUARDED_BY(lock_) = nullptr;
  LineView view_ PALLIX_GUARDED_BY(lock_);
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_LINEWATCH_H
