#include "web/AlertWatch.h"

#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "reports/ShownValues.h"

namespace web {

namespace {

constexpr std::int64_t kHourMs = 3600 * 1000;
// The vetoes of the last hour are read again at most this often while no
// result comes (results leave the hour as it passes).
constexpr std::int64_t kVetoRecountMs = 10000;

}  // namespace

AlertWatch::AlertWatch(Options options, const LiveFeed& feed, AlertSender& sender)
    : options_(std::move(options)),
      feed_(feed),
      sender_(sender),
      rules_(options_.settings, options_.lineName,
             options_.clock ? options_.clock() : archive::NowUtcMs()) {
  if (!options_.clock) options_.clock = archive::NowUtcMs;
}

AlertWatch::~AlertWatch() { Stop(); }

void AlertWatch::Start() {
  if (thread_.joinable() || options_.settings.webhook.empty()) return;
  thread_ = std::thread([this] {
    while (!Stopping()) {
      FeedState changed;
      // At once when the line changes, else once a period.
      feed_.WaitForChange(seen_, options_.period, &changed);
      LookOnce();
    }
  });
}

bool AlertWatch::Stopping() {
  MutexLock hold(lock_);
  return stopping_;
}

void AlertWatch::Stop() {
  {
    MutexLock hold(lock_);
    stopping_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

void AlertWatch::CountVetoes(std::int64_t now, std::int64_t latestId) {
  if (options_.settings.vetoesPerHour <= 0) return;
  if (latestId == vetoesLatestId_ && now - vetoesCountedMs_ < kVetoRecountMs) return;
  archive::ArchiveReader reader;
  std::string error;
  if (!reader.Open(options_.archivePath, &error)) return;  // the feed says why
  std::map<std::string, int> counted;
  for (const auto& [group, count] : feed_.Current().groups) {
    if (group.empty()) continue;
    archive::ResultFilter f;
    f.group = group;
    f.fromUtcMs = now - kHourMs;
    reports::ApplyVerdictFilter(Verdict::kVeto, &f);
    std::int64_t n = 0;
    if (!reader.CountResults(f, &n, &error)) return;
    counted[group] = static_cast<int>(n);
  }
  vetoes_ = std::move(counted);
  vetoesCountedMs_ = now;
  vetoesLatestId_ = latestId;
}

LineNow AlertWatch::Now(const FeedState& state, std::int64_t now) {
  LineNow line;
  line.nowUtcMs = now;
  line.running = state.monitor.Running();
  line.stopped = state.monitor.kind == MonitorState::Kind::kStopped;
  line.lastHeardUtcMs =
      state.monitor.lastHeardUtcMs > 0 ? state.monitor.lastHeardUtcMs : state.heartbeatUtcMs;
  CountVetoes(now, state.latestResultId);
  for (const auto& [group, count] : state.groups) {
    if (group.empty()) continue;
    const auto vetoes = vetoes_.find(group);
    line.groups.push_back(
        {group, count.lastShownUtcMs, vetoes == vetoes_.end() ? 0 : vetoes->second});
  }
  return line;
}

void AlertWatch::LookOnce() {
  const FeedState state = feed_.Current();
  seen_ = state.version;
  for (const AlertMessage& m : rules_.Look(Now(state, options_.clock()))) sender_.Send(m.text);
}

}  // namespace web
