#include "web/SiteFeed.h"

#include "archive/ArchiveTime.h"
#include "web/SitePages.h"

namespace web {

namespace {

// Texts such as "最后结果 10:42" and "自 10:45:02 起" follow the clock (a
// date once the day has turned): made anew this often when nothing else
// changes.
constexpr auto kRemakeAtLeast = std::chrono::seconds(30);
// And at most this often: a line that floods its states is followed as
// fast as a page can show them, not faster.
constexpr auto kRemakeAtMost = std::chrono::milliseconds(250);

}  // namespace

SiteFeed::SiteFeed(Options options) : options_(std::move(options)) {
  if (!options_.clock) options_.clock = archive::NowUtcMs;
  for (const SiteLine& line : options_.lines) {
    watches_.push_back(std::make_unique<LineWatch>(
        line, options_.timing,
        [this] {
          {
            MutexLock hold(lock_);
            isDirty_ = true;
          }
          dirty_.notify_one();
        },
        options_.clock));
  }
  Remake();
}

SiteFeed::~SiteFeed() { Stop(); }

void SiteFeed::Start() {
  if (thread_.joinable()) return;
  for (auto& w : watches_) w->Start();
  thread_ = std::thread([this] { Run(); });
}

void SiteFeed::Run() {
  MutexLock hold(lock_);
  while (!stopped_) {
    const auto atLeast = std::chrono::steady_clock::now() + kRemakeAtLeast;
    while (!stopped_ && !isDirty_ && dirty_.wait_until(lock_, atLeast) != std::cv_status::timeout) {
    }
    if (stopped_) break;
    isDirty_ = false;
    WhileUnlocked(lock_, [this] { Remake(); });
    // What a line says meanwhile waits for the next.
    const auto atMost = std::chrono::steady_clock::now() + kRemakeAtMost;
    while (!stopped_ && dirty_.wait_until(lock_, atMost) != std::cv_status::timeout) {
    }
  }
}

void SiteFeed::Stop() {
  for (auto& w : watches_) w->Stop();
  {
    MutexLock hold(lock_);
    stopped_ = true;
  }
  dirty_.notify_all();
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool SiteFeed::Stopped() const {
  MutexLock hold(lock_);
  return stopped_;
}

SiteState SiteFeed::Current() const {
  MutexLock hold(lock_);
  return state_;
}

bool SiteFeed::WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit,
                             SiteState* out) const {
  MutexLock hold(lock_);
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!stopped_ && state_.version == seen &&
         changed_.wait_until(lock_, until) != std::cv_status::timeout) {
  }
  if (state_.version == seen) return false;
  *out = state_;
  return true;
}

void SiteFeed::Remake() {
  std::vector<LineView> views;
  for (const auto& w : watches_) views.push_back(w->Current());
  auto json =
      std::make_shared<const std::string>(OverviewJson(options_.lines, views, options_.clock()));
  {
    MutexLock hold(lock_);
    if (state_.json && *state_.json == *json) return;
    state_.json = std::move(json);
    state_.views = std::move(views);
    ++state_.version;
  }
  changed_.notify_all();
}

}  // namespace web
