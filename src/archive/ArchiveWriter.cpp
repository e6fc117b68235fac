#include "archive/ArchiveWriter.h"

#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "archive/ArchiveTime.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"
#include "platform/JournalIo.h"

namespace archive {

namespace {

using Clock = std::chrono::steady_clock;

// Heartbeats closer together than this are not written.
constexpr auto kHeartbeatSpacing = std::chrono::seconds(1);
// While another program holds the archive locked, the waiting result is
// tried again this long after the last try gave up (each try itself waits
// for the lock as long as the store's busy timeout).
constexpr auto kBusyRetry = std::chrono::milliseconds(500);

std::uint64_t ThreadCpuNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

std::size_t SizeOf(const ArchivedResult& r) {
  std::size_t n = sizeof r + r.transfer.size() + r.stations.size() + r.operatorText.size() +
                  r.deviceGroup.size();
  for (const RecordItem& i : r.items) n += sizeof i + i.value.size();
  for (const DisplayWrite& w : r.writes) n += sizeof w + w.text.size();
  return n;
}

std::string Named(const ArchivedResult& r) { return journal::JournalName(r.transfer); }

// Whether the disk of the archive at `path` has less room than `below`
// (0: 5 % of the disk, at most 2 GiB); *room is what it has. A disk that
// cannot be asked counts as having room.
bool DiskNearlyFull(const std::string& path, std::uint64_t below, std::uint64_t* room) {
  std::uint64_t total = 0;
  if (!FreeSpace(ParentDirectory(path), room, &total)) return false;
  if (below == 0) below = std::min<std::uint64_t>(total / 20, std::uint64_t{2} << 30);
  return *room < below;
}

// What the monitor can do about a failed write, for its journal line.
const char* Hint(int rc) {
  switch (sql::Primary(rc)) {
    case SQLITE_FULL:
      return "the disk is full: free space and the archive resumes by itself";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return "the archive cannot be written (read-only file system or permissions?)";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "another program holds the archive locked";
    default:
      return "the archive's file system fails";
  }
}

}  // namespace

std::string MovedAsideName(const std::string& path, const std::string& reason, std::int64_t utcMs) {
  const LocalTime local = ToLocal(utcMs);
  // "YYYY-MM-DD hh:mm:ss.mmm" -> "YYYYMMDD-hhmmss"
  std::string stamp;
  for (std::size_t i = 0; i < 19 && i < local.text.size(); ++i) {
    const char c = local.text[i];
    if (c >= '0' && c <= '9') stamp += c;
    if (i == 10) stamp += '-';
  }
  const std::string base = path + "." + stamp + "." + reason;
  std::string name = base;
  for (int n = 2; PathExists(name) || PathExists(name + "-wal") || PathExists(name + "-shm"); ++n)
    name = base + "-" + std::to_string(n);
  return name;
}

ArchiveWriter::~ArchiveWriter() { Stop(std::string()); }

void ArchiveWriter::Start(const WriterOptions& options) {
  Stop(std::string());
  MutexLock guard(lock_);
  options_ = options;
  if (options_.path.empty()) options_.path = DefaultArchivePath();
  queue_.clear();
  queuedBytes_ = 0;
  submitted_ = handled_ = 0;
  counts_ = WriterCounts();
  stopping_ = false;
  how_.clear();
  startUtcMs_ = NowUtcMs();
  heartbeatPending_ = false;
  upkeep_ = true;
  queueFullSaid_ = false;
  droppedUnsaid_ = 0;
  trimAbove_ = options_.maxBytes;
  busy_ = false;
  running_ = true;
  try {
    thread_ = std::thread(&ArchiveWriter::Run, this);
  } catch (const std::system_error&) {
    running_ = false;
    BRENNA_LOG(kWarning, kDisplay,
               "the archive's writer cannot start (no thread): results are shown but not "
               "archived this run");
  }
}

void ArchiveWriter::Stop(const std::string& how) {
  {
    MutexLock guard(lock_);
    if (!thread_.joinable()) return;
    stopping_ = true;
    how_ = how;
  }
  wake_.notify_one();
  thread_.join();
  MutexLock guard(lock_);
  running_ = false;
}

bool ArchiveWriter::Running() const {
  MutexLock guard(lock_);
  return running_ && !stopping_;
}

std::string ArchiveWriter::Path() const {
  MutexLock guard(lock_);
  return options_.path;
}

void ArchiveWriter::Record(ArchivedResult result) {
  Item item;
  item.bytes = SizeOf(result);
  item.result = std::move(result);
  Enqueue(std::move(item));
}

void ArchiveWriter::RecordOwnWrites(std::int64_t utcMs, std::vector<DisplayWrite> writes) {
  Item item;
  item.isResult = false;
  item.result.shownUtcMs = utcMs;
  item.result.writes = std::move(writes);
  item.bytes = SizeOf(item.result);
  Enqueue(std::move(item));
}

void ArchiveWriter::Enqueue(Item item) {
  RelockableLock guard(lock_);
  if (!running_ || stopping_) return;
  if (queue_.size() >= options_.maxQueued || queuedBytes_ + item.bytes > options_.maxQueuedBytes) {
    if (item.isResult) {
      ++counts_.queueFull;
      ++counts_.notArchived;
    }
    ++droppedUnsaid_;
    const bool say = !queueFullSaid_;
    queueFullSaid_ = true;
    const std::size_t waiting = queue_.size();
    guard.Unlock();
    // Said at once, from the caller's thread: the writer may be stuck.
    if (say) {
      BRENNA_LOG(kWarning, kDisplay,
                 "archive queue full (%zu waiting): result '%s' is shown but not archived; the "
                 "archive's disk does not keep up, or another program holds it locked",
                 waiting, Named(item.result).c_str());
    }
    if (item.isResult) {
      BRENNA_LOG(kDebug, kDisplay, "result '%s' not archived: the archive's queue is full",
                 Named(item.result).c_str());
    }
    return;
  }
  const bool wasEmpty = queue_.empty();
  queuedBytes_ += item.bytes;
  ++submitted_;
  queue_.push_back(std::move(item));
  guard.Unlock();
  if (wasEmpty) wake_.notify_one();
}

void ArchiveWriter::Heartbeat() {
  const Clock::time_point now = Clock::now();
  {
    MutexLock guard(lock_);
    if (!running_ || stopping_ || now - lastHeartbeat_ < kHeartbeatSpacing) return;
    lastHeartbeat_ = now;
    heartbeatPending_ = true;
    heartbeatUtcMs_ = NowUtcMs();
  }
  wake_.notify_one();
}

void ArchiveWriter::Drain() {
  MutexLock guard(lock_);
  const std::uint64_t target = submitted_;
  while (thread_.joinable() &&
         (handled_ < target || heartbeatPending_ || heartbeatBeating_ || upkeep_))
    done_.wait(lock_);
}

WriterCounts ArchiveWriter::Counts() const {
  MutexLock guard(lock_);
  return counts_;
}

void ArchiveWriter::MoveAside(const std::string& what, const std::string& reason,
                              const std::string& detail) {
  store_.Close();
  const std::string& path = options_.path;
  const std::string aside = MovedAsideName(path, reason, NowUtcMs());
  if (journal_io::Rename(path, aside) == journal_io::FileResult::kFailed) {
    BRENNA_LOG(kWarning, kDisplay, "archive %s is %s (%s) and cannot be moved aside to %s",
               path.c_str(), what.c_str(), detail.c_str(), aside.c_str());
    return;
  }
  // Its WAL belongs to it: left here, it would be read into the new archive.
  journal_io::Rename(path + "-wal", aside + "-wal");
  journal_io::Rename(path + "-shm", aside + "-shm");
  {
    MutexLock guard(lock_);
    ++counts_.movedAside;
  }
  BRENNA_LOG(kWarning, kDisplay, "archive %s is %s (%s): moved aside to %s; a new archive begun",
             path.c_str(), what.c_str(), detail.c_str(), aside.c_str());
}

bool ArchiveWriter::OpenArchive() {
  const std::string& path = options_.path;
  ArchiveStore::Opened opened;
  if (path.empty()) {
    opened.detail = "no home directory is known";
  } else if (!journal_io::CreatePrivateDirectory(ParentDirectory(path))) {
    opened.detail = "its directory cannot be made";
  } else {
    // A second try for the new file after moving aside what was there.
    for (int attempt = 0; attempt < 2; ++attempt) {
      opened = store_.Open(path);
      using O = ArchiveStore::Outcome;
      if (opened.outcome == O::kOpened || opened.outcome == O::kCannotOpen ||
          opened.outcome == O::kBusy)
        break;
      if (attempt == 1) {
        opened.outcome = O::kCannotOpen;
        break;
      }
      if (opened.outcome == O::kDamaged) MoveAside("damaged", "damaged", opened.detail);
      if (opened.outcome == O::kForeign)
        MoveAside("not an archive of this monitor", "foreign", opened.detail);
      if (opened.outcome == O::kNewer) MoveAside("of a newer monitor", "newer", opened.detail);
      if (opened.outcome == O::kUnsafe) MoveAside("unsafe to open", "foreign", opened.detail);
    }
  }
  if (opened.outcome == ArchiveStore::Outcome::kBusy) {
    Busy(opened.detail);
    return false;
  }
  if (!store_.IsOpen()) return Unavailable(opened.detail, false);
  // The run began when the writer was started, though the file may open
  // later (a slow disk, or on a later try).
  const int begun = store_.BeginRun(startUtcMs_, options_.processId, options_.version);
  if (begun != SQLITE_DONE) {
    const std::string error = store_.Error();
    store_.Close();
    if (sql::IsBusy(begun)) {
      Busy(error);
      return false;
    }
    // Opened, but nothing can be written: as good as none.
    return Unavailable(error, true);
  }
  if (unavailableSaid_) {
    BRENNA_LOG(kInfo, kDisplay, "archive %s open again; %llu results were not archived meanwhile",
               path.c_str(), static_cast<unsigned long long>(lostWhileUnavailable_));
    unavailableSaid_ = false;
    lostWhileUnavailable_ = 0;
  } else {
    const std::string oldest = store_.OldestDay();
    BRENNA_LOG(kInfo, kDisplay,
               "archive %s: %lld results kept%s%s, schema %d%s; keeping %d days, at most %llu MiB",
               path.c_str(), static_cast<long long>(store_.ResultCount()),
               oldest.empty() ? "" : " since ", oldest.c_str(), kSchemaVersion,
               opened.fromVersion > 0 && opened.fromVersion < kSchemaVersion
                   ? (" (upgraded from " + std::to_string(opened.fromVersion) + ")").c_str()
                   : "",
               options_.retentionDays, static_cast<unsigned long long>(options_.maxBytes >> 20));
  }
  EnforceLimits();
  return true;
}

bool ArchiveWriter::Unavailable(const std::string& why, bool opened) {
  busy_ = false;  // not a lock now, but this
  if (!unavailableSaid_) {
    unavailableSaid_ = true;
    const std::string& path = options_.path;
    if (opened) {
      BRENNA_LOG(kWarning, kDisplay,
                 "archive %s cannot be written (%s): results are shown but not archived",
                 path.c_str(), why.c_str());
    } else {
      BRENNA_LOG(kWarning, kDisplay,
                 "archive cannot be kept at %s (%s): results are shown but not archived; tried "
                 "again every %lld s",
                 path.empty() ? "(no path)" : path.c_str(), why.c_str(),
                 static_cast<long long>(options_.retryPeriod.count() / 1000));
    }
  }
  nextOpenTry_ = Clock::now() + options_.retryPeriod;
  return false;
}

void ArchiveWriter::EnforceLimits() {
  nextLimits_ = Clock::now() + options_.limitsPeriod;
  if (!store_.IsOpen()) return;
  std::uint64_t room = 0;
  const bool nearlyFull = DiskNearlyFull(options_.path, options_.nearlyFullBelow, &room);
  const ArchiveStore::Trimmed t =
      store_.EnforceLimits(NowUtcMs(), options_.retentionDays, options_.maxBytes, !nearlyFull);
  if (t.givenUp > 0) {
    BRENNA_LOG(kWarning, kDisplay,
               "archive: the disk is nearly full (%llu MiB free): %lld results not yet shipped "
               "to the company database were given up by the archive's limits",
               static_cast<unsigned long long>(room >> 20), static_cast<long long>(t.givenUp));
  }
  if (t.byAge > 0 || t.bySize > 0) {
    BRENNA_LOG(kInfo, kDisplay,
               "archive: %lld results older than %d days and %lld more for the size cap of %llu "
               "MiB removed",
               static_cast<long long>(t.byAge), options_.retentionDays,
               static_cast<long long>(t.bySize),
               static_cast<unsigned long long>(options_.maxBytes >> 20));
  }
  // A file that stays above the cap (what is left is no result) is trimmed
  // again only once it has grown by a tenth of the cap, not at every write.
  const std::uint64_t size = store_.UsedBytes();
  trimAbove_ = size > options_.maxBytes ? size + options_.maxBytes / 10 : options_.maxBytes;
  if (sql::IsDamaged(t.rc)) MoveAside("damaged", "damaged", sql::Describe(t.rc));
  PlanGiveBack();
}

void ArchiveWriter::Lost(const Item& item, const char* why) {
  if (!item.isResult) return;
  {
    MutexLock guard(lock_);
    ++counts_.notArchived;
  }
  BRENNA_LOG(kDebug, kDisplay, "result '%s' not archived: %s", Named(item.result).c_str(), why);
}

void ArchiveWriter::Busy(const std::string& why) {
  const Clock::time_point now = Clock::now();
  retryAt_ = now + kBusyRetry;
  if (busy_) return;
  busy_ = true;
  busySince_ = now;
  BRENNA_LOG(kWarning, kDisplay,
             "archive %s is held locked by another program (%s): results wait in the queue, at "
             "most %zu, and are archived once it is free",
             options_.path.c_str(), why.c_str(), options_.maxQueued);
}

void ArchiveWriter::NotBusy() {
  if (!busy_) return;
  busy_ = false;
  DropHeartbeatNote();
  const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - busySince_);
  BRENNA_LOG(kInfo, kDisplay, "archive %s is no longer held locked (after %lld s)",
             options_.path.c_str(), static_cast<long long>(waited.count()));
}

int ArchiveWriter::Write(const Item& item) {
  return item.isResult ? store_.InsertResult(item.result)
                       : store_.InsertOwnWrites(item.result.shownUtcMs, item.result.writes);
}

ArchiveWriter::Step ArchiveWriter::Handle(const Item& item) {
  FollowPath();
  if (!store_.IsOpen()) {
    const bool due = busy_ || Clock::now() >= nextOpenTry_;
    if (!due || !OpenArchive()) {
      if (busy_) return Step::kWait;
      if (item.isResult) ++lostWhileUnavailable_;
      Lost(item, "no archive");
      return Step::kDone;
    }
  }
  const std::uint64_t cpu = ThreadCpuNs();
  int rc = Write(item);
  // Gone from its path while this was written into it: the result would
  // be gone with it.
  if ((rc == SQLITE_OK || rc == SQLITE_DONE) && !store_.StillAtPath()) rc = WriteAgainAtPath(item);
  if (sql::IsDamaged(rc)) {
    // Found damaged while writing: a new archive, and this one more try.
    MoveAside("damaged", "damaged", sql::Describe(rc));
    rc = OpenArchive() ? Write(item) : busy_ ? SQLITE_BUSY : SQLITE_CANTOPEN;
  }
  if (sql::IsBusy(rc)) {
    Busy(store_.IsOpen() ? store_.Error() : sql::Describe(rc));
    return Step::kWait;
  }
  NotBusy();
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    HandleFailure(item, rc);
    return Step::kDone;
  }
  // The cap holds as the file grows, not only at the hourly check.
  if (item.isResult && store_.UsedBytes() > trimAbove_) EnforceLimits();
  const std::uint64_t spent = ThreadCpuNs() - cpu;
  if (failing_) {
    failing_ = false;
    BRENNA_LOG(kInfo, kDisplay, "archive writes again; %llu results were not archived meanwhile",
               static_cast<unsigned long long>(lostWhileFailing_));
    lostWhileFailing_ = 0;
  }
  MutexLock guard(lock_);
  if (item.isResult) ++counts_.archived;
  counts_.cpuNs += spent;
  return Step::kDone;
}

void ArchiveWriter::HandleFailure(const Item& item, int rc) {
  {
    MutexLock guard(lock_);
    ++counts_.failedWrites;
  }
  Lost(item, sql::Describe(rc).c_str());
  if (item.isResult) ++lostWhileFailing_;
  if (failing_) return;
  failing_ = true;
  if (item.isResult) {
    BRENNA_LOG(kWarning, kDisplay, "result '%s' is shown but not archived: %s; %s",
               Named(item.result).c_str(),
               store_.IsOpen() ? store_.Error().c_str() : sql::Describe(rc).c_str(), Hint(rc));
  } else {
    BRENNA_LOG(kWarning, kDisplay, "archive cannot be written: %s; %s",
               store_.IsOpen() ? store_.Error().c_str() : sql::Describe(rc).c_str(), Hint(rc));
  }
}

void ArchiveWriter::Beat(std::int64_t utcMs) {
  FollowPath();
  // An archive that could not be opened is tried again on the heartbeat
  // too, so that a quiet line still gets its run row.
  if (!store_.IsOpen() && (busy_ || Clock::now() >= nextOpenTry_)) OpenArchive();
  if (!store_.IsOpen()) return;
  const int rc = store_.Heartbeat(utcMs);
  if (sql::IsBusy(rc)) {
    Busy(store_.Error());
  } else if (rc == SQLITE_DONE) {
    NotBusy();
  }
}

void ArchiveWriter::WriteQueued() {
  while (!queue_.empty() && (!busy_ || stopping_ || Clock::now() >= retryAt_)) {
    // The stop does not wait for another program's lock beyond this try.
    const bool last = stopping_;
    // Only this thread removes items, and adding at the back leaves it
    // where it is.
    const Item& item = queue_.front();
    Step step = Step::kDone;
    WhileUnlocked(lock_, [&] { step = Handle(item); });
    if (step == Step::kWait) {
      if (last) GiveUpQueued();
      return;
    }
    queuedBytes_ -= item.bytes;
    queue_.pop_front();
    ++handled_;
    done_.notify_all();
    // Room again once half the queue is free, so that a queue kept full
    // does not say so at every result.
    if (queueFullSaid_ && queue_.size() <= options_.maxQueued / 2 &&
        queuedBytes_ <= options_.maxQueuedBytes / 2) {
      queueFullSaid_ = false;
      const std::uint64_t dropped = std::exchange(droppedUnsaid_, 0);
      WhileUnlocked(lock_, [dropped] {
        BRENNA_LOG(kInfo, kDisplay,
                   "archive queue has room again; %llu items were not archived meanwhile",
                   static_cast<unsigned long long>(dropped));
      });
    }
  }
}

void ArchiveWriter::GiveUpQueued() {
  std::deque<Item> left;
  left.swap(queue_);
  queuedBytes_ = 0;
  WhileUnlocked(lock_, [&] {
    std::uint64_t results = 0;
    for (const Item& item : left) {
      if (item.isResult) ++results;
      Lost(item, "the archive is held locked by another program");
    }
    BRENNA_LOG(kWarning, kDisplay,
               "archive %s is still held locked by another program at the stop: %llu results "
               "that waited for it are not archived",
               options_.path.c_str(), static_cast<unsigned long long>(results));
  });
  handled_ += left.size();
  done_.notify_all();
}

void ArchiveWriter::Run() {
  try {
    OpenArchive();
    SetUpkeep(pagesToGiveBack_);
    RelockableLock guard(lock_);
    for (;;) {
      const auto due = [&]() PALLIX_REQUIRES(lock_) {
        return !queue_.empty() && (!busy_ || stopping_ || Clock::now() >= retryAt_);
      };
      // Woken for new items, a heartbeat or the stop; by the clock for the
      // limits, and for the next try while the archive is held locked.
      // Free pages to give back keep it from waiting, a step per turn.
      const bool upkeep = pagesToGiveBack_ && !busy_;
      while (!stopping_ && !heartbeatPending_ && !due() && !upkeep) {
        Clock::time_point until = nextLimits_;
        if (busy_ && !queue_.empty()) until = std::min(until, retryAt_);
        if (wake_.wait_until(lock_, until) == std::cv_status::timeout) break;
      }
      WriteQueued();
      const bool heartbeat = std::exchange(heartbeatPending_, false);
      heartbeatBeating_ = heartbeat;
      const std::int64_t heartbeatMs = heartbeatUtcMs_;
      const bool stopping = stopping_;
      const bool idle = queue_.empty();
      guard.Unlock();

      // Nothing else waits on a lock another program holds: the results'
      // next try tells when it is free. Meanwhile the heartbeat goes
      // beside the file, where readers find it.
      const bool free = !busy_ || Clock::now() >= retryAt_;
      if (heartbeat && free) Beat(heartbeatMs);
      if (heartbeat && busy_) NoteHeartbeat(heartbeatMs);
      if (!busy_ && Clock::now() >= nextLimits_) EnforceLimits();
      if (idle && !stopping && pagesToGiveBack_ && !busy_) GiveBackStep();

      guard.Lock();
      if (std::exchange(heartbeatBeating_, false)) done_.notify_all();
      if (stopping && queue_.empty()) break;
    }
    const std::string how = how_;
    const WriterCounts counts = counts_;
    guard.Unlock();
    if (store_.IsOpen()) {
      if (!busy_) store_.EndRun(NowUtcMs(), how);
      store_.Close();
    }
    BRENNA_LOG(kInfo, kDisplay, "archive closed: %llu results archived this run, %llu not",
               static_cast<unsigned long long>(counts.archived),
               static_cast<unsigned long long>(counts.notArchived));
  } catch (...) {
    // Out of memory, most likely: the window goes on without its archive.
    store_.Close();
    BRENNA_LOG(kError, kDisplay,
               "the archive's writer failed unexpectedly: results are shown "
               "but no longer archived this run");
  }
  MutexLock guard(lock_);
  running_ = false;
  handled_ = submitted_;
  upkeep_ = false;
  done_.notify_all();
}

}  // namespace archive
