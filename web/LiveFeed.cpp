#include "web/LiveFeed.h"

#include <limits>

#include "archive/ArchiveTime.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "platform/FileOps.h"
#include "reports/ShownValues.h"

namespace web {

namespace {

constexpr std::int64_t kOpenRetryMs = 1000;
constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

// Whether anything is at the archive's path (links followed), and which
// file it is: *id holds its volume and number when it is a regular file.
bool ArchiveFileAt(const std::string& path, FileIdentity* id) {
  *id = FileIdentity();
  std::string resolved;
  const FileFault found = ResolveFile(path, &resolved);
  if (found == FileFault::kNone) IdentifyFile(resolved, id);
  return found == FileFault::kNone || found == FileFault::kNotRegular;
}

// Every group the window has, so that each is counted from zero.
std::map<std::string, GroupCount> NoResults() {
  std::map<std::string, GroupCount> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups[c.text] = GroupCount{};
  return groups;
}

}  // namespace

LiveFeed::LiveFeed(Options options, LineOptions line)
    : options_(std::move(options)), line_(std::move(line)) {
  if (!options_.clock) options_.clock = archive::NowUtcMs;
  groups_ = NoResults();
  summaries_ = NoGroupResults();
  title_ = WindowTitle(-1);
  MutexLock hold(lock_);
  state_.groups = groups_;
  state_.line = Line(state_.monitor, options_.clock());
  state_.json = std::make_shared<const std::string>(
      PanelJson(title_, state_.monitor, values_, LineMembers(state_.line, values_)));
  state_.values = std::make_shared<const std::map<int, DisplayValue>>();
  state_.title = title_;
}

LiveFeed::~LiveFeed() { Stop(); }

void LiveFeed::Start() {
  if (thread_.joinable()) return;
  LookOnce();
  thread_ = std::thread([this] { Run(); });
}

void LiveFeed::Run() {
  MutexLock hold(lock_);
  while (!stopped_) {
    const auto until = std::chrono::steady_clock::now() + options_.poll;
    while (!stopped_ && changed_.wait_until(lock_, until) != std::cv_status::timeout) {
    }
    if (stopped_) break;
    WhileUnlocked(lock_, [this] { LookOnce(); });
  }
}

void LiveFeed::Stop() {
  {
    MutexLock hold(lock_);
    stopped_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool LiveFeed::Stopped() const {
  MutexLock hold(lock_);
  return stopped_;
}

FeedState LiveFeed::Current() const {
  MutexLock hold(lock_);
  return state_;
}

bool LiveFeed::WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit,
                             FeedState* out) const {
  MutexLock hold(lock_);
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!stopped_ && state_.version == seen &&
         changed_.wait_until(lock_, until) != std::cv_status::timeout) {
  }
  if (state_.version == seen) return false;
  *out = state_;
  return true;
}

bool LiveFeed::Reopen() {
  std::string error;
  if (!reader_.Open(options_.archivePath, &error)) {
    unreadable_ = error;
    return false;
  }
  if (!ArchiveFileAt(options_.archivePath, &file_)) {
    unreadable_ = "the archive went while it was opened";
    return false;
  }
  open_ = true;
  unreadable_.clear();
  dataVersion_ = -1;
  latestId_ = -1;
  latestWrite_ = -1;
  haveRun_ = false;
  // A file begun anew counts from what it holds.
  std::vector<archive::GroupTotal> totals;
  if (!reader_.GroupTotals(&totals, &error)) {
    Close(error);
    return false;
  }
  groups_ = NoResults();
  newestIds_.clear();
  summaries_ = NoGroupResults();
  countedId_ = 0;
  for (const archive::GroupTotal& t : totals) {
    groups_[t.group] = {t.results, t.lastShownUtcMs};
    newestIds_[t.group] = t.lastId;
    countedId_ = std::max(countedId_, t.lastId);
  }
  return true;
}

void LiveFeed::Close(const std::string& why) {
  open_ = false;
  unreadable_ = why;
  haveRun_ = false;
  values_.clear();
  summaries_ = NoGroupResults();
  runLastShownMs_ = 0;
  today_.clear();  // counted anew from the file opened next
  todayResults_ = todayVetoed_ = 0;
  title_ = WindowTitle(-1);
  ++panelSerial_;
}

bool LiveFeed::Rebuild() {
  std::string error;
  std::map<int, DisplayValue> values;
  int count = -1;
  std::int64_t runLast = 0;
  if (haveRun_) {
    const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
    archive::Panel panel;
    if (!reader_.PanelAt(kForever, ids, &panel, &error)) {
      Close(error);
      return false;
    }
    values = ValuesOf(panel);
    archive::ResultRow last;
    if (reader_.LastResultOfRun(run_.id, kForever, &last, &error)) {
      count = last.titleCount;
      runLast = last.shownUtcMs;
    } else if (!error.empty()) {
      Close(error);
      return false;
    }
  }
  values_ = std::move(values);
  title_ = WindowTitle(count);
  runLastShownMs_ = runLast;
  ++panelSerial_;
  return true;
}

bool LiveFeed::CountNewResults() {
  std::string error;
  archive::ResultFilter after;
  after.afterId = countedId_;
  const bool ok = reader_.ListResults(
      after,
      [&](const archive::ResultRow& r) {
        GroupCount& g = groups_[r.deviceGroup];
        ++g.results;
        g.lastShownUtcMs = std::max(g.lastShownUtcMs, r.shownUtcMs);
        newestIds_[r.deviceGroup] = r.id;
        countedId_ = r.id;
        return true;
      },
      &error);
  if (!ok) Close(error);
  return ok && SummariseGroups();
}

bool LiveFeed::SummariseGroups() {
  for (GroupSummary& g : summaries_) {
    const auto newest = newestIds_.find(g.group);
    if (newest == newestIds_.end() || newest->second == g.resultId) continue;
    archive::ResultDetail result;
    std::string error;
    if (reader_.GetResult(newest->second, &result, &error)) {
      g = SummariseResult(result, line_.vehicles);
    } else if (error.empty()) {
      g = GroupSummary{g.group, newest->second, 0, {}, 0, 0, {}};  // gone meanwhile: trimmed
    } else {
      Close(error);
      return false;
    }
  }
  return true;
}

bool LiveFeed::CountToday(std::int64_t now, bool resultsCame) {
  const std::string day = archive::ToLocal(now).day;
  if (day != today_) {
    today_ = day;
    todayThroughId_ = 0;
    todayResults_ = todayVetoed_ = 0;
  } else if (!resultsCame) {
    return true;
  }
  // Only what came since the last count: the ids up to the day's newest.
  archive::ResultFilter f;
  f.day = day;
  f.afterId = todayThroughId_;
  std::int64_t first = 0, last = 0, results = 0, vetoed = 0;
  std::string error;
  if (!reader_.ResultSpan(f, &first, &last, &error)) {
    Close(error);
    return false;
  }
  if (last == 0) return true;
  f.throughId = last;
  archive::ResultFilter withVeto = f;
  reports::ApplyVerdictFilter(Verdict::kVeto, &withVeto);
  if (!reader_.CountResults(f, &results, &error) ||
      !reader_.CountResults(withVeto, &vetoed, &error)) {
    Close(error);
    return false;
  }
  todayResults_ += results;
  todayVetoed_ += vetoed;
  todayThroughId_ = last;
  return true;
}

LineSummary LiveFeed::Line(const MonitorState& monitor, std::int64_t now) const {
  LineSummary line;
  line.name = line_.name;
  line.todayResults = todayResults_;
  line.todayVetoed = todayVetoed_;
  for (const auto& [group, count] : groups_)
    line.lastResultUtcMs = std::max(line.lastResultUtcMs, count.lastShownUtcMs);
  line.groups = summaries_;
  const std::int64_t quiet = line_.idleAfter.count();
  line.idle = monitor.Running() && (runLastShownMs_ == 0 || now - runLastShownMs_ >= quiet);
  if (line.idle) {
    line.idleHead = LastResultText(line.lastResultUtcMs, now);
    line.idleDetail = runLastShownMs_ == 0
                          ? std::string("线路空闲：监控程序启动后还没有新的结果")
                          : "线路空闲：" + std::to_string(quiet / 60000) + " 分钟以上没有新的结果";
  }
  return line;
}

void LiveFeed::Probe(std::int64_t now) {
  if (now < nextProbeMs_) return;
  nextProbeMs_ = now + kOpenRetryMs;
  archive::ArchiveReader fresh;
  archive::RunRow run;
  std::string error;
  if (fresh.Open(options_.archivePath, &error) && (fresh.LastRun(&run, &error) || error.empty())) {
    failedProbes_ = 0;
    return;
  }
  // Twice in a row: a moment's lock by the monitor is no damage.
  if (++failedProbes_ < 2) return;
  failedProbes_ = 0;
  Close(error);
  nextOpenTryMs_ = now + kOpenRetryMs;
}

void LiveFeed::LookOnce() {
  const std::int64_t now = options_.clock();
  FileIdentity atPath;
  const bool exists = ArchiveFileAt(options_.archivePath, &atPath);
  if (open_ && (!exists || !atPath.SameFile(file_))) {
    Close("");
    nextOpenTryMs_ = 0;
  }
  if (!open_ && now >= nextOpenTryMs_) {
    nextOpenTryMs_ = now + kOpenRetryMs;
    if (!exists) {
      unreadable_.clear();
      failedOpens_ = 0;
    } else {
      failedOpens_ = Reopen() ? 0 : failedOpens_ + 1;
    }
  }
  if (open_) Probe(now);
  if (open_) CountToday(now, false);  // a new day begins at nought
  if (open_) {
    const std::int64_t version = reader_.DataVersion();
    if (version < 0) {
      Close("the archive cannot be read");
    } else if (version != dataVersion_) {
      dataVersion_ = version;
      archive::RunRow run;
      std::string error;
      const bool have = reader_.LastRun(&run, &error);
      const std::int64_t latest = reader_.LatestResultId();
      // Writes come with every result and without one (the idle state a
      // run begins with).
      const std::int64_t write = reader_.LatestWriteSeq();
      if (!have && !error.empty()) {
        Close(error);
      } else {
        const bool panelChanged = latest != latestId_ || write != latestWrite_ ||
                                  have != haveRun_ ||
                                  (have && (run.id != run_.id || run.stopped != run_.stopped));
        haveRun_ = have;
        if (have) run_ = run;
        if (panelChanged && Rebuild() && CountNewResults() && CountToday(now, true)) {
          latestId_ = latest;
          latestWrite_ = write;
        }
      }
    }
  }

  MonitorState monitor;
  if (!open_) {
    // A monitor starting for the first time makes its archive in a few
    // steps: a file that cannot be read yet is said once a second look
    // finds it so too.
    const bool unreadable = exists && !unreadable_.empty() &&
                            (failedOpens_ >= 2 || lastKind_ != MonitorState::Kind::kNoArchive);
    monitor.kind = unreadable ? MonitorState::Kind::kUnreadable : MonitorState::Kind::kNoArchive;
    if (unreadable) monitor.why = unreadable_;
  } else if (haveRun_) {
    monitor.startedUtcMs = run_.startedUtcMs;
    // While another program holds the archive, the run's row takes no
    // heartbeat: the monitor notes it beside the archive.
    if (!run_.stopped && now - run_.heartbeatUtcMs > archive::kHeartbeatStaleMs)
      run_.heartbeatUtcMs = reader_.Heartbeat(run_);
    if (run_.stopped) {
      monitor.kind = MonitorState::Kind::kStopped;
      monitor.lastHeardUtcMs = run_.heartbeatUtcMs;
    } else if (now - run_.heartbeatUtcMs > archive::kHeartbeatStaleMs) {
      monitor.kind = MonitorState::Kind::kSilent;
      monitor.lastHeardUtcMs = run_.heartbeatUtcMs;
    } else {
      monitor.kind = MonitorState::Kind::kRunning;  // its heartbeats change nothing shown
    }
  }
  lastKind_ = monitor.kind;
  Publish(monitor, Line(monitor, now));
}

void LiveFeed::Publish(const MonitorState& monitor, const LineSummary& line) {
  std::shared_ptr<const std::string> json;
  {
    MutexLock hold(lock_);
    state_.archiveOpen = open_;
    state_.heartbeatUtcMs = open_ && haveRun_ ? run_.heartbeatUtcMs : 0;
    state_.latestResultId = std::max<std::int64_t>(latestId_, 0);
    state_.groups = groups_;
    if (monitor == state_.monitor && line == state_.line && panelSerial_ == publishedSerial_)
      return;
  }
  // Made outside the lock: pages waiting keep their turn.
  json = std::make_shared<const std::string>(
      PanelJson(title_, monitor, values_, LineMembers(line, values_)));
  auto values = std::make_shared<const std::map<int, DisplayValue>>(values_);
  {
    MutexLock hold(lock_);
    state_.monitor = monitor;
    state_.line = line;
    state_.json = std::move(json);
    state_.values = std::move(values);
    state_.title = title_;
    publishedSerial_ = panelSerial_;
    ++state_.version;
  }
  changed_.notify_all();
}

}  // namespace web
