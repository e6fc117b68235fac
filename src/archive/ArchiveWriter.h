// ArchiveWriter - keeps every result the window shows in the archive file,
// on a thread of its own, so that the window never waits for it: the GUI
// thread only queues (a short lock, no disk), and the writer commits each
// result in a transaction of its own as soon as it is queued.
//
// Bounded and never stuck on a fault: at most `maxQueued` items (and
// `maxQueuedBytes`) wait; beyond that a result is dropped, counted and said
// at once. While another program holds the archive locked, results stay
// queued (within that bound) and are written once it is free. A write that
// fails otherwise (full disk, read-only or failing file system) loses that
// one result, counted, and is not tried again; the next result tries
// afresh, so the archive resumes by itself once there is room. A file at
// the archive's path that is damaged, of another program or of a newer
// monitor, or beside a -wal or -shm SQLite must not use, is moved aside
// (with a timestamp in its name, its WAL with it) and a new archive begun;
// so is an archive deleted, moved away or replaced while open, noticed at
// the next write or heartbeat. Where no archive can be made at all, results
// are counted as not archived and opening is tried again every
// `retryPeriod`. Each of these is said once in the journal when it begins
// and once when it ends, with the count.
//
// Retention and size cap are enforced when the archive opens and every
// `limitsPeriod`, oldest results first; the size cap also as soon as a
// result takes the file past it. Results brenna-ship has not shipped yet
// stay beyond both while the disk has room; given up when it is nearly
// full, said at once with how many. The pages a trim frees are given back
// to the file system a step at a time whenever nothing waits to be written.
#ifndef BRENNA_ARCHIVE_ARCHIVEWRITER_H
#define BRENNA_ARCHIVE_ARCHIVEWRITER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveRecords.h"
#include "archive/ArchiveStore.h"
#include "platform/Mutex.h"
#include "util/ArchiveSettings.h"

namespace archive {

struct WriterOptions {
  std::string path;  // the archive file; empty: DefaultArchivePath()
  int retentionDays = kDefaultArchiveLimits.retentionDays;
  std::uint64_t maxBytes = kDefaultArchiveLimits.maxBytes;
  std::size_t maxQueued = 256;
  std::size_t maxQueuedBytes = std::size_t{16} << 20;
  // The disk is nearly full below this much room for the user (0: below
  // 5 % of the disk, at most 2 GiB): then the limits give up results
  // brenna-ship has not shipped yet, as they do when it ships none.
  std::uint64_t nearlyFullBelow = 0;
  std::chrono::milliseconds limitsPeriod{3600 * 1000};
  std::chrono::milliseconds retryPeriod{60 * 1000};
  // The run row's program version and process number.
  std::string version = "unknown";
  long processId = 0;
};

struct WriterCounts {
  std::uint64_t archived = 0;     // results committed to the file
  std::uint64_t notArchived = 0;  // results lost, for any of the reasons below
  std::uint64_t queueFull = 0;    // dropped because the queue was full
  std::uint64_t failedWrites = 0;
  std::uint64_t movedAside = 0;  // files moved aside this run
  std::uint64_t cpuNs = 0;       // the writer thread's CPU time on results
};

// The writer as the monitor's pipeline runs it: started once the settings
// are read, stopped when the window quits. The pipeline, which a build
// without an archive shares, reaches it only through this interface.
class IArchiveWriter : public IResultArchive {
 public:
  // Starts writing with `options`; returns at once.
  virtual void Start(const WriterOptions& options) = 0;
  // Writes what is queued and the run's stop row (`how`), and closes.
  virtual void Stop(const std::string& how) = 0;
};

class ArchiveWriter : public IArchiveWriter {
 public:
  ArchiveWriter() = default;
  ~ArchiveWriter() override;  // Stop("")
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Starts the writer thread, which opens the archive, writes the run's
  // start row and enforces the limits; returns at once. A writer that runs
  // is stopped first.
  void Start(const WriterOptions& options) override;
  // Writes what is queued, the run's stop row (`how`: "quit", "by SIGTERM",
  // ...), and closes the file. Returns when that is done.
  void Stop(const std::string& how) override;
  bool Running() const;

  void Record(ArchivedResult result) override;
  void RecordOwnWrites(std::int64_t utcMs, std::vector<DisplayWrite> writes) override;
  void Heartbeat() override;

  // Returns once everything queued before, and a heartbeat asked for
  // before, has been written or given up (while another program holds the
  // archive locked, once it is free), the archive has been opened (or
  // found unavailable) and the pages its trims freed are given back.
  void Drain();
  WriterCounts Counts() const;
  // The archive's path this run.
  std::string Path() const;

 private:
  struct Item {
    bool isResult = true;
    ArchivedResult result;  // for own writes: shownUtcMs and writes only
    std::size_t bytes = 0;
  };

  // What became of an item the writer took up.
  enum class Step {
    kDone,  // written, or given up and counted
    kWait,  // the archive is held locked: the item stays first in the queue
  };

  void Enqueue(Item item);
  void Run();
  // Takes up the queued items in order while the archive takes them, and
  // says when a full queue has room again. Called and returns with lock_
  // held; lets go of it while an item is written.
  void WriteQueued() PALLIX_REQUIRES(lock_);
  // At the stop, while the archive is still held locked: the items that
  // waited are given up, counted and said. As WriteQueued.
  void GiveUpQueued() PALLIX_REQUIRES(lock_);
  // Opens (or makes) the archive; moves aside what is not one. True when
  // it is open.
  bool OpenArchive();
  // No archive can be kept (`why`; `opened`: the file opened but takes no
  // write): said once, tried again after `retryPeriod`. False.
  bool Unavailable(const std::string& why, bool opened);
  // An archive no longer at its path (deleted, moved away, replaced) is
  // closed, and the file there now opened or a new one begun, said once.
  void FollowPath();
  void MoveAside(const std::string& what, const std::string& reason, const std::string& detail);
  Step Handle(const Item& item);
  int Write(const Item& item);
  void Beat(std::int64_t utcMs);
  void HandleFailure(const Item& item, int rc);
  // The archive is held locked (`why`) / takes writes again.
  void Busy(const std::string& why);
  void NotBusy();
  void EnforceLimits();
  // Counts a result lost, and names it in a detail (debug) line.
  void Lost(const Item& item, const char* why);

  // The upkeep of the file (ArchiveWriterUpkeep.cpp). Whether the file has
  // free pages to give back, from the first step on.
  void PlanGiveBack();
  // Gives the next step of them back; called while nothing waits.
  void GiveBackStep();
  // The open file's -wal or -shm left its name: what the WAL holds is
  // written into the file, which is opened again with a WAL of its own.
  void FollowCompanions();
  // `item` was written while its file left the path: written again into
  // the file there now. The result code.
  int WriteAgainAtPath(const Item& item);
  // The heartbeat beside the file while another program holds it, and its
  // removal once the run's row takes heartbeats again.
  void NoteHeartbeat(std::int64_t utcMs);
  void DropHeartbeatNote();
  // Tells Drain whether the writer has upkeep of its own still to do.
  void SetUpkeep(bool pending) PALLIX_EXCLUDES(lock_);

  // Set by Start before the writer thread starts, and not changed while it
  // runs: read by the callers under lock_, by the writer thread without.
  WriterOptions options_;
  std::int64_t startUtcMs_ = 0;  // when Start was called: the run's start
  mutable Mutex lock_;
  CondVar wake_;
  CondVar done_;
  std::deque<Item> queue_ PALLIX_GUARDED_BY(lock_);
  std::size_t queuedBytes_ PALLIX_GUARDED_BY(lock_) = 0;
  std::uint64_t submitted_ PALLIX_GUARDED_BY(lock_) = 0;
  std::uint64_t handled_ PALLIX_GUARDED_BY(lock_) = 0;
  bool running_ PALLIX_GUARDED_BY(lock_) = false;
  bool stopping_ PALLIX_GUARDED_BY(lock_) = false;
  std::string how_ PALLIX_GUARDED_BY(lock_);
  bool heartbeatPending_ PALLIX_GUARDED_BY(lock_) = false;
  // Taken from pending, not yet written.
  bool heartbeatBeating_ PALLIX_GUARDED_BY(lock_) = false;
  // The opening, or pages to give back, still to come (what the writer
  // does of itself, for Drain).
  bool upkeep_ PALLIX_GUARDED_BY(lock_) = false;
  std::int64_t heartbeatUtcMs_ PALLIX_GUARDED_BY(lock_) = 0;
  std::chrono::steady_clock::time_point lastHeartbeat_ PALLIX_GUARDED_BY(lock_) =
      std::chrono::steady_clock::time_point{};
  bool queueFullSaid_ PALLIX_GUARDED_BY(lock_) = false;
  std::uint64_t droppedUnsaid_ PALLIX_GUARDED_BY(lock_) = 0;
  WriterCounts counts_ PALLIX_GUARDED_BY(lock_);
  // Started and joined by whoever starts and stops the writer.
  std::thread thread_;

  // The writer thread's alone.
  ArchiveStore store_;
  bool unavailableSaid_ = false;
  std::uint64_t lostWhileUnavailable_ = 0;
  std::chrono::steady_clock::time_point nextOpenTry_{};
  bool failing_ = false;
  std::uint64_t lostWhileFailing_ = 0;
  std::chrono::steady_clock::time_point nextLimits_{};
  // The size at which a write has the limits enforced at once.
  std::uint64_t trimAbove_ = 0;
  bool pagesToGiveBack_ = false;
  int giveBackPages_ = 0;            // pages per step
  std::int64_t pagesGivenBack_ = 0;  // since the trim
  bool heartbeatNoted_ = false;      // a heartbeat note lies beside the file
  bool heartbeatNoteFailed_ = false;
  bool busy_ = false;  // another program holds the archive locked
  std::chrono::steady_clock::time_point busySince_{};
  std::chrono::steady_clock::time_point retryAt_{};
};

// Where a file at `path` is moved aside to: "<path>.<YYYYMMDD-hhmmss>.<reason>"
// in local time, with "-2", "-3", ... when that name is taken.
std::string MovedAsideName(const std::string& path, const std::string& reason, std::int64_t utcMs);

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVEWRITER_H
