// ArchiveStore - the archive file as the writer uses it, on one thread:
// opening (or making) it and telling whether it is ours, upgrading an older
// schema, and every write the monitor makes: the run's rows, one result per
// transaction, the heartbeat, and the limits (oldest results first). It
// answers with SQLite's result codes and decides nothing about faults: that
// is ArchiveWriter's business.
#ifndef BRENNA_ARCHIVE_ARCHIVESTORE_H
#define BRENNA_ARCHIVE_ARCHIVESTORE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveRecords.h"
#include "archive/Sqlite.h"
#include "platform/FileOps.h"

namespace archive {

class ArchiveStore {
 public:
  enum class Outcome {
    kOpened,      // ours, at the current schema (upgraded if it was older)
    kCannotOpen,  // the file cannot be made or written (directory, permissions, disk)
    kDamaged,     // not a sound SQLite file
    kForeign,     // a sound file, but not an archive of this monitor (or no regular file)
    kNewer,       // an archive of a later schema than this build knows
    // A -wal or -shm beside it that SQLite must not take up: not a plain
    // file, a file with another name too (a hard link, which writing would
    // reach), or left from an archive no longer there.
    kUnsafe,
    kBusy,  // another program holds the file locked: try again shortly
  };
  struct Opened {
    Outcome outcome = Outcome::kCannotOpen;
    std::string detail;    // why, in a few words, when not kOpened
    int fromVersion = -1;  // kOpened: the schema it had (0: new file)
  };

  ArchiveStore();
  ~ArchiveStore();
  ArchiveStore(const ArchiveStore&) = delete;
  ArchiveStore& operator=(const ArchiveStore&) = delete;

  // Opens the file at `path`, making it (mode 0600) when there is none, in
  // WAL mode; checks it and brings its schema up to date.
  Opened Open(const std::string& path);
  void Close();
  bool IsOpen() const { return db_.IsOpen(); }
  // Whether the file at the path is still the one open: false once it was
  // deleted, moved away or replaced by another file. A path that cannot be
  // looked at counts as unchanged.
  bool StillAtPath() const;
  // Closes a file that is no longer at its path. SQLite would remove the
  // -wal and -shm by name: those names may be another file's by now, so
  // only the ones that are still this file's own are removed.
  void CloseGone();
  // Whether the -wal or -shm the open file began with is no longer at its
  // name (deleted, or another file there): what is written goes on into a
  // WAL no other program, and no next start, would find.
  bool CompanionsGone() const;
  // Writes what the WAL holds into the file itself; false when some of it
  // could not be (another connection still reading it).
  bool FoldWal();
  // Closes the file (as CloseGone) and opens the one at its path again; the
  // same file keeps this run's row.
  Opened Reopen();

  // A run row for this process; later rows of this run refer to it.
  int BeginRun(std::int64_t utcMs, long processId, const std::string& version);
  int Heartbeat(std::int64_t utcMs);
  int EndRun(std::int64_t utcMs, const std::string& how);
  std::int64_t RunId() const { return runId_; }

  // One result (its items and display writes with it) in one transaction.
  // All or nothing: on failure nothing of it is kept.
  int InsertResult(const ArchivedResult& result);
  // Writes made outside any result, in one transaction.
  int InsertOwnWrites(std::int64_t utcMs, const std::vector<DisplayWrite>& writes);

  // For filling an archive in bulk (the benchmark): the result's rows
  // without a transaction of their own, inside one of Transact().
  int WriteResult(const ArchivedResult& result);
  // A write transaction on this archive for the caller's scope.
  sql::Transaction Transact();

  struct Trimmed {
    std::int64_t byAge = 0;   // results older than the retention
    std::int64_t bySize = 0;  // results removed for the size cap
    // Of those, results brenna-ship had not yet shipped (given up only
    // when `keepUnshipped` was false).
    std::int64_t givenUp = 0;
    int rc = 0;  // SQLITE_OK, or the first failure
  };
  // Removes results older than `retentionDays` before the newest result
  // (or before `nowUtcMs` when that is earlier), then the oldest until what
  // the file uses is at most 90 % of `maxBytes` when it was above it. The
  // pages freed stay in the file until GiveBackPages. While brenna-ship
  // ships this archive (ShippedThrough), results beyond what it has
  // shipped stay unless `keepUnshipped` is false (the disk nearly full).
  Trimmed EnforceLimits(std::int64_t nowUtcMs, int retentionDays, std::uint64_t maxBytes,
                        bool keepUnshipped = true);
  // The highest result id brenna-ship has shipped to the company database
  // (every one up to it is there); -1 when this archive is not shipped.
  std::int64_t ShippedThrough();
  // The file's size as SQLite sees it (pages in use and free).
  std::uint64_t SizeBytes();
  // What of it is in use: its size less its free pages.
  std::uint64_t UsedBytes();
  // Free pages in the file, waiting to be given back.
  std::int64_t FreePages();
  // Gives at most `pages` free pages back to the file system, in a
  // transaction of their own; the result code (SQLITE_FULL: no room in the
  // WAL for even that many).
  int GiveBackPages(int pages);
  std::int64_t ResultCount();
  // The local day of the oldest result; empty when there is none.
  std::string OldestDay();

  // The connection's last error, for a journal line.
  std::string Error() const { return db_.Error(); }

 private:
  struct Statements;
  // Whether the open file is an archive of ours this build can write, or a
  // new one (*fresh); its schema version. False with *out saying why not.
  bool ReadIdentity(Opened* out, bool* fresh, int* version);
  int Configure(bool fresh);
  int Upgrade(int fromVersion);
  int PrepareStatements();
  // The display writes of result `resultId` (0: of none) made at `utcMs`.
  int WriteDisplayWrites(std::int64_t resultId, std::int64_t utcMs,
                         const std::vector<DisplayWrite>& writes);
  // Results shown before this are old by `retentionDays`.
  std::int64_t AgeCutoff(std::int64_t nowUtcMs, int retentionDays);
  // Runs a DELETE of at most a batch of results, bound to `arg` and to the
  // highest id it may remove, until it removes no more; *removed counts
  // them.
  int DeleteInBatches(const char* sql, std::int64_t arg, std::int64_t throughId,
                      std::int64_t* removed);
  // Results with an id above `id`.
  std::int64_t CountAbove(std::int64_t id);
  // Runs `del` once in a transaction of its own, bound by `bind` to at most
  // *limit results, halving *limit while the disk cannot take that many;
  // *removed counts what went. The result code.
  int DeleteBatch(sql::Stmt& del, const std::function<void(std::int64_t)>& bind,
                  std::int64_t* limit, int* removed);
  // A checkpoint that waits for nothing.
  void Checkpoint();

  sql::Db db_;
  std::unique_ptr<Statements> stmts_;
  std::int64_t runId_ = 0;
  // The open file's path, and which files it and its -wal and -shm were
  // when it was opened.
  std::string path_;
  FileIdentity file_;
  FileIdentity companions_[2];
};

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVESTORE_H
