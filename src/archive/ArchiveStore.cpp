#include "archive/ArchiveStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <limits>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTime.h"
#include "platform/FileOps.h"
#include "platform/JournalIo.h"

namespace archive {

namespace {

// How long the writer waits for another connection's write lock (a second
// monitor on the same archive, a maintenance tool): its own thread waits,
// never the window.
constexpr int kBusyTimeoutMs = 2000;
// The WAL is cut back to this after a checkpoint, so it does not keep the
// size of its largest burst.
constexpr char kJournalSizeLimit[] = "PRAGMA journal_size_limit = 8388608";
// Results removed per transaction while trimming, so that queued results
// are not held up for long.
constexpr std::int64_t kTrimBatch = 2000;
constexpr std::int64_t kMsPerDay = 24LL * 3600 * 1000;

bool Done(int rc) { return rc == SQLITE_OK || rc == SQLITE_DONE; }

}  // namespace

struct ArchiveStore::Statements {
  explicit Statements(sql::Db& db)
      : result(db,
               "INSERT INTO result (run_id, shown_utc_ms, shown_local, local_day, utc_offset_s, "
               "transfer, stations, device_code, device_group, operator, title_count, item_count) "
               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"),
        item(db,
             "INSERT INTO item (result_id, position, code, judge, value) "
             "VALUES (?1, ?2, ?3, ?4, ?5)"),
        write(db,
              "INSERT INTO display_write (run_id, result_id, utc_ms, display_id, text, "
              "background, text_color) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
        heartbeat(db, "UPDATE run SET heartbeat_utc_ms = ?2 WHERE id = ?1") {}

  bool ok() const { return result.ok() && item.ok() && write.ok() && heartbeat.ok(); }
  int firstFailure() const {
    for (const sql::Stmt* s : {&result, &item, &write, &heartbeat})
      if (!s->ok()) return s->prepareResult();
    return SQLITE_OK;
  }

  sql::Stmt result;
  sql::Stmt item;
  sql::Stmt write;
  sql::Stmt heartbeat;
};

ArchiveStore::ArchiveStore() = default;

ArchiveStore::~ArchiveStore() { Close(); }

void ArchiveStore::Close() {
  stmts_.reset();
  db_.Close();
  runId_ = 0;
  path_.clear();
  file_ = FileIdentity();
  companions_[0] = companions_[1] = FileIdentity();
}

namespace {

// SQLite's files beside the archive: its WAL and the WAL's index.
constexpr const char* kCompanions[] = {"-wal", "-shm"};

ArchiveStore::Outcome OutcomeOf(int rc) {
  if (sql::IsDamaged(rc)) return ArchiveStore::Outcome::kDamaged;
  if (sql::IsBusy(rc)) return ArchiveStore::Outcome::kBusy;
  return ArchiveStore::Outcome::kCannotOpen;
}

// Why SQLite must not take up the -wal or -shm `suffix` beside an archive
// (`fault` and `id` of it; `archiveThere`: whether the archive itself is),
// or nullptr when it may.
const char* UnsafeCompanion(FileFault fault, const FileIdentity& id, bool archiveThere) {
  if (fault == FileFault::kNotRegular) return "is not a regular file";
  if (fault != FileFault::kNone) return nullptr;  // none there, or SQLite tells
  // What is written would reach the file under its other name, wherever
  // that lies.
  if (id.links > 1) return "has another name too (a hard link)";
  // Another archive's WAL would be read into the new one.
  if (!archiveThere) return "is left from an archive no longer there";
  return nullptr;
}

// A regular file at `path`, or none there, which is then made private; and
// no -wal or -shm beside it that SQLite must not take up. False with *out
// saying why not.
bool PrepareFile(const std::string& path, ArchiveStore::Opened* out) {
  FileIdentity id;
  const FileFault archive = IdentifyFile(path, &id);
  if (archive == FileFault::kNotRegular) {
    out->outcome = ArchiveStore::Outcome::kForeign;
    out->detail = "not a regular file: a link, a folder or a device";
    return false;
  }
  for (const char* suffix : kCompanions) {
    FileIdentity companion;
    const FileFault fault = IdentifyFile(path + suffix, &companion);
    if (const char* why = UnsafeCompanion(fault, companion, archive == FileFault::kNone)) {
      out->outcome = ArchiveStore::Outcome::kUnsafe;
      out->detail = std::string("its ") + suffix + " " + why;
      return false;
    }
  }
  if (archive == FileFault::kNone) return true;
  // Made private before SQLite sees it; its WAL and shared-memory files
  // take the same permissions.
  return journal_io::CreatePrivateFile(path, &out->detail);
}

}  // namespace

ArchiveStore::Opened ArchiveStore::Open(const std::string& path) {
  Close();
  Opened out;
  if (!PrepareFile(path, &out)) return out;

  int rc = db_.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  if (rc != SQLITE_OK) {
    out.outcome = OutcomeOf(rc);
    out.detail = sql::Describe(rc);
    return out;
  }
  // SQLite falls back to reading a file it cannot write: no use to a writer.
  if (sqlite3_db_readonly(db_.get(), "main") == 1) {
    out.detail = "the file or its file system is read-only";
    Close();
    return out;
  }
  path_ = path;
  IdentifyFile(path, &file_);
  sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_.get(), 1);

  bool fresh = false;
  int version = 0;
  if (!ReadIdentity(&out, &fresh, &version)) {
    Close();
    return out;
  }
  rc = Configure(fresh);
  if (Done(rc)) rc = Upgrade(fresh ? 0 : version);
  if (Done(rc)) rc = PrepareStatements();
  if (!Done(rc)) {
    out.outcome = OutcomeOf(rc);
    out.detail = db_.Error();
    Close();
    return out;
  }
  // SQLite has its WAL and index open by now.
  for (std::size_t i = 0; i < 2; ++i) IdentifyFile(path + kCompanions[i], &companions_[i]);
  out.outcome = Outcome::kOpened;
  out.fromVersion = fresh ? 0 : version;
  return out;
}

bool ArchiveStore::StillAtPath() const {
  if (!IsOpen()) return false;
  FileIdentity there;
  const FileFault fault = IdentifyFile(path_, &there);
  if (fault == FileFault::kNone) return there.SameFile(file_);
  return fault != FileFault::kMissing && fault != FileFault::kNotRegular;
}

void ArchiveStore::CloseGone() {
  if (!IsOpen()) return;
  const std::string path = path_;
  FileIdentity own[2] = {companions_[0], companions_[1]};
  int keep = 1;
  sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
  Close();
  for (std::size_t i = 0; i < 2; ++i) {
    FileIdentity there;
    const std::string name = path + kCompanions[i];
    if (own[i].file != 0 && IdentifyFile(name, &there) == FileFault::kNone &&
        there.SameFile(own[i]))
      RemoveRegularFile(name);
  }
}

bool ArchiveStore::CompanionsGone() const {
  if (!IsOpen()) return false;
  for (std::size_t i = 0; i < 2; ++i) {
    if (companions_[i].file == 0) continue;  // not known at open: nothing to compare
    FileIdentity there;
    const FileFault fault = IdentifyFile(path_ + kCompanions[i], &there);
    if (fault == FileFault::kMissing || fault == FileFault::kNotRegular) return true;
    if (fault == FileFault::kNone && !there.SameFile(companions_[i])) return true;
  }
  return false;
}

bool ArchiveStore::FoldWal() {
  if (!IsOpen()) return false;
  int frames = -1, folded = -1;
  sqlite3_wal_checkpoint_v2(db_.get(), "main", SQLITE_CHECKPOINT_TRUNCATE, &frames, &folded);
  return frames >= 0 && frames == folded;
}

ArchiveStore::Opened ArchiveStore::Reopen() {
  const std::string path = path_;
  const std::int64_t run = runId_;
  const FileIdentity file = file_;
  CloseGone();
  Opened again = Open(path);
  if (again.outcome == Outcome::kOpened && file_.SameFile(file)) runId_ = run;
  return again;
}

bool ArchiveStore::ReadIdentity(Opened* out, bool* fresh, int* version) {
  // Reading the header and the schema is the first touch of the file: a
  // file that is no database, or a damaged one, shows here.
  sql::Stmt probe(db_,
                  "SELECT (SELECT application_id FROM pragma_application_id), "
                  "(SELECT user_version FROM pragma_user_version), "
                  "(SELECT count(*) FROM sqlite_master)");
  const int rc = probe.ok() ? probe.Step() : probe.prepareResult();
  if (rc != SQLITE_ROW) {
    out->outcome = OutcomeOf(rc);
    out->detail = sql::IsDamaged(rc) ? sql::Describe(rc) : db_.Error();
    return false;
  }
  const std::int64_t appId = probe.Int(0);
  *version = static_cast<int>(probe.Int(1));
  const std::int64_t objects = probe.Int(2);
  probe.Reset();

  *fresh = appId == 0 && objects == 0;
  if (!*fresh && appId != kApplicationId) {
    out->outcome = Outcome::kForeign;
    out->detail = "an SQLite database of another program";
    return false;
  }
  if (*version > kSchemaVersion) {
    out->outcome = Outcome::kNewer;
    out->detail = "schema version " + std::to_string(*version) + ", this monitor knows " +
                  std::to_string(kSchemaVersion);
    return false;
  }
  return true;
}

int ArchiveStore::Configure(bool fresh) {
  // Free pages can be given back only when this is set before the first
  // table exists.
  if (fresh) {
    const int rc = db_.Exec("PRAGMA auto_vacuum = INCREMENTAL");
    if (!Done(rc)) return rc;
  }
  // WAL: readers (brenna-history, the web view) never block the writer, and
  // a process killed in the middle of a write leaves the file intact.
  // NORMAL: a commit survives the process; only a power failure may take
  // the last few, never the file's soundness.
  sql::Stmt wal(db_, "PRAGMA journal_mode = WAL");
  int rc = wal.ok() ? wal.Step() : wal.prepareResult();
  if (rc != SQLITE_ROW) return rc;
  if (wal.Bytes(0) != "wal") return SQLITE_CANTOPEN;  // a directory that cannot take the WAL
  for (const char* pragma :
       {"PRAGMA synchronous = NORMAL", "PRAGMA foreign_keys = ON", kJournalSizeLimit}) {
    rc = db_.Exec(pragma);
    if (!Done(rc)) return rc;
  }
  return SQLITE_OK;
}

int ArchiveStore::Upgrade(int fromVersion) {
  if (fromVersion >= kSchemaVersion) return SQLITE_OK;
  sql::Transaction tx(db_);
  int rc = tx.begun();
  for (int v = fromVersion; v < kSchemaVersion && Done(rc); ++v) rc = db_.Exec(UpgradeStep(v));
  if (Done(rc)) {
    const std::string ids = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    rc = db_.Exec(ids.c_str());
  }
  if (Done(rc)) rc = tx.Commit();
  return rc;
}

int ArchiveStore::PrepareStatements() {
  stmts_ = std::make_unique<Statements>(db_);
  if (stmts_->ok()) return SQLITE_OK;
  const int rc = stmts_->firstFailure();
  stmts_.reset();
  return rc;
}

sql::Transaction ArchiveStore::Transact() { return sql::Transaction(db_); }

int ArchiveStore::BeginRun(std::int64_t utcMs, long processId, const std::string& version) {
  sql::Stmt run(db_,
                "INSERT INTO run (started_utc_ms, started_local, heartbeat_utc_ms, process_id, "
                "version) VALUES (?1, ?2, ?1, ?3, ?4)");
  if (!run.ok()) return run.prepareResult();
  run.Bind(1, utcMs).BindText(2, ToLocal(utcMs).text).Bind(3, processId).BindText(4, version);
  const int rc = run.Step();
  if (Done(rc)) runId_ = db_.LastInsertId();
  return rc;
}

int ArchiveStore::Heartbeat(std::int64_t utcMs) {
  if (!stmts_ || runId_ == 0) return SQLITE_MISUSE;
  stmts_->heartbeat.Bind(1, runId_).Bind(2, utcMs);
  const int rc = stmts_->heartbeat.Step();
  stmts_->heartbeat.Reset();
  return rc;
}

int ArchiveStore::EndRun(std::int64_t utcMs, const std::string& how) {
  if (runId_ == 0) return SQLITE_MISUSE;
  sql::Stmt end(db_,
                "UPDATE run SET stopped_utc_ms = ?2, heartbeat_utc_ms = ?2, stop_how = ?3 "
                "WHERE id = ?1");
  if (!end.ok()) return end.prepareResult();
  end.Bind(1, runId_).Bind(2, utcMs).BindText(3, how);
  return end.Step();
}

int ArchiveStore::WriteResult(const ArchivedResult& r) {
  if (!stmts_ || runId_ == 0) return SQLITE_MISUSE;
  const LocalTime local = ToLocal(r.shownUtcMs);
  sql::Stmt& s = stmts_->result;
  s.Bind(1, runId_).Bind(2, r.shownUtcMs).BindText(3, local.text).BindText(4, local.day);
  s.Bind(5, local.offsetSeconds).BindBlob(6, r.transfer).BindText(7, r.stations);
  s.Bind(8, r.deviceCode).BindText(9, r.deviceGroup).BindBlob(10, r.operatorText);
  if (r.titleCount >= 0) {
    s.Bind(11, r.titleCount);
  } else {
    s.BindNull(11);
  }
  s.Bind(12, r.itemCount);
  int rc = s.Step();
  s.Reset();
  if (!Done(rc)) return rc;
  const std::int64_t id = db_.LastInsertId();

  sql::Stmt& item = stmts_->item;
  for (const RecordItem& i : r.items) {
    item.Bind(1, id).Bind(2, i.position).Bind(3, i.code).Bind(4, i.judge).BindBlob(5, i.value);
    rc = item.Step();
    item.Reset();
    if (!Done(rc)) return rc;
  }
  return WriteDisplayWrites(id, r.shownUtcMs, r.writes);
}

int ArchiveStore::WriteDisplayWrites(std::int64_t resultId, std::int64_t utcMs,
                                     const std::vector<DisplayWrite>& writes) {
  sql::Stmt& w = stmts_->write;
  for (const DisplayWrite& d : writes) {
    w.Bind(1, runId_);
    if (resultId != 0) {
      w.Bind(2, resultId);
    } else {
      w.BindNull(2);
    }
    w.Bind(3, utcMs).Bind(4, d.displayId).BindBlob(5, d.text).Bind(6, d.background);
    w.Bind(7, d.textColor);
    const int rc = w.Step();
    w.Reset();
    if (!Done(rc)) return rc;
  }
  return SQLITE_OK;
}

int ArchiveStore::InsertResult(const ArchivedResult& result) {
  if (!stmts_) return SQLITE_MISUSE;
  sql::Transaction tx(db_);
  if (!tx.ok()) return tx.begun();
  const int rc = WriteResult(result);
  return Done(rc) ? tx.Commit() : rc;
}

int ArchiveStore::InsertOwnWrites(std::int64_t utcMs, const std::vector<DisplayWrite>& writes) {
  if (!stmts_ || runId_ == 0) return SQLITE_MISUSE;
  sql::Transaction tx(db_);
  if (!tx.ok()) return tx.begun();
  const int rc = WriteDisplayWrites(0, utcMs, writes);
  return Done(rc) ? tx.Commit() : rc;
}

int ArchiveStore::DeleteBatch(sql::Stmt& del, const std::function<void(std::int64_t)>& bind,
                              std::int64_t* limit, int* removed) {
  for (;;) {
    bind(*limit);
    sql::Transaction tx(db_);
    int rc = tx.begun();
    if (Done(rc)) rc = del.Step();
    del.Reset();
    *removed = db_.Changes();
    if (Done(rc)) rc = tx.Commit();
    // Every page a batch frees is written (SQLite's secure delete), and
    // into the WAL first: on a nearly full disk fewer results at a time
    // need less room.
    if (sql::IsFull(rc) && *limit > 1) {
      *limit /= 2;
      continue;
    }
    if (Done(rc)) Checkpoint();
    return rc;
  }
}

void ArchiveStore::Checkpoint() {
  // Folded into the file now, so that the next transaction writes the WAL
  // from its start again instead of making it longer.
  sqlite3_wal_checkpoint_v2(db_.get(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

int ArchiveStore::DeleteInBatches(const char* sql, std::int64_t arg, std::int64_t throughId,
                                  std::int64_t* removed) {
  sql::Stmt del(db_, sql);
  if (!del.ok()) return del.prepareResult();
  std::int64_t batch = kTrimBatch;
  for (;;) {
    int n = 0;
    const int rc = DeleteBatch(
        del, [&](std::int64_t limit) { del.Bind(1, arg).Bind(2, limit).Bind(3, throughId); },
        &batch, &n);
    if (!Done(rc)) return rc;
    *removed += n;
    if (n < batch) return SQLITE_OK;
  }
}

ArchiveStore::Trimmed ArchiveStore::EnforceLimits(std::int64_t nowUtcMs, int retentionDays,
                                                  std::uint64_t maxBytes, bool keepUnshipped) {
  Trimmed t;
  if (!IsOpen()) {
    t.rc = SQLITE_MISUSE;
    return t;
  }
  const std::int64_t cutoff = AgeCutoff(nowUtcMs, retentionDays);
  // What brenna-ship has not shipped yet stays, while the disk has room.
  const std::int64_t shipped = ShippedThrough();
  const std::int64_t unshipped = shipped >= 0 ? CountAbove(shipped) : 0;
  const std::int64_t through =
      shipped >= 0 && keepUnshipped ? shipped : std::numeric_limits<std::int64_t>::max();
  t.rc = DeleteInBatches(
      "DELETE FROM result WHERE id IN "
      "(SELECT id FROM result WHERE shown_utc_ms < ?1 AND id <= ?3 ORDER BY id LIMIT ?2)",
      cutoff, through, &t.byAge);
  if (!Done(t.rc)) return t;
  // Runs that ended before the retention and kept no result go too.
  sql::Stmt runs(db_,
                 "DELETE FROM run WHERE id <> ?2 AND heartbeat_utc_ms < ?1 AND "
                 "NOT EXISTS (SELECT 1 FROM result WHERE result.run_id = run.id)");
  if (runs.ok()) {
    runs.Bind(1, cutoff).Bind(2, runId_);
    runs.Step();
  }

  // The size cap: the oldest results go until the file is at 90 % of it,
  // so that the next results do not bring it over at once.
  const std::uint64_t target = maxBytes / 10 * 9;
  std::uint64_t size = UsedBytes();
  while (size > maxBytes || (t.bySize > 0 && size > target)) {
    const std::int64_t count = ResultCount() - CountAbove(through);
    if (count <= 0) break;  // what is left is no result it may remove
    const double excess =
        static_cast<double>(size - std::min(size, target)) / static_cast<double>(size);
    const std::int64_t n = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(static_cast<double>(count) * excess) + 1, 1, kTrimBatch);
    sql::Stmt del(db_,
                  "DELETE FROM result WHERE id IN "
                  "(SELECT id FROM result WHERE id <= ?2 ORDER BY id LIMIT ?1)");
    if (!del.ok()) {
      t.rc = del.prepareResult();
      return t;
    }
    std::int64_t limit = n;
    int removed = 0;
    const int rc = DeleteBatch(
        del, [&](std::int64_t l) { del.Bind(1, l).Bind(2, through); }, &limit, &removed);
    if (!Done(rc)) {
      t.rc = rc;
      return t;
    }
    t.bySize += removed;
    // What the results took is free now, though still in the file: the
    // cap counts what is in use.
    const std::uint64_t after = UsedBytes();
    if (after >= size) break;  // nothing freed: try again at the next check
    size = after;
  }
  if (shipped >= 0) t.givenUp = unshipped - CountAbove(shipped);
  t.rc = SQLITE_OK;
  return t;
}

std::int64_t ArchiveStore::ShippedThrough() {
  return db_.QueryInt("SELECT coalesce((SELECT through_id FROM shipped), -1)", -1);
}

std::int64_t ArchiveStore::CountAbove(std::int64_t id) {
  sql::Stmt s(db_, "SELECT count(*) FROM result WHERE id > ?1");
  if (!s.ok()) return 0;
  s.Bind(1, id);
  return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

std::uint64_t ArchiveStore::SizeBytes() {
  const std::int64_t pages = db_.QueryInt("PRAGMA page_count", 0);
  const std::int64_t pageSize = db_.QueryInt("PRAGMA page_size", 0);
  return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages * pageSize) : 0;
}

std::int64_t ArchiveStore::AgeCutoff(std::int64_t nowUtcMs, int retentionDays) {
  // Age is counted back from the newest result, and from no later than
  // now: a clock set ahead at start (or one that was ahead and went back)
  // then takes nothing the line's own times would keep.
  const std::int64_t newest =
      db_.QueryInt("SELECT ifnull(max(shown_utc_ms), 9223372036854775807) FROM result", nowUtcMs);
  return std::min(nowUtcMs, newest) - static_cast<std::int64_t>(retentionDays) * kMsPerDay;
}

std::uint64_t ArchiveStore::UsedBytes() {
  const std::int64_t free = db_.QueryInt("PRAGMA freelist_count", 0);
  const std::int64_t pageSize = db_.QueryInt("PRAGMA page_size", 0);
  const std::uint64_t size = SizeBytes();
  const std::uint64_t freeBytes =
      free > 0 && pageSize > 0 ? static_cast<std::uint64_t>(free * pageSize) : 0;
  return size - std::min(size, freeBytes);
}

std::int64_t ArchiveStore::FreePages() { return db_.QueryInt("PRAGMA freelist_count", 0); }

int ArchiveStore::GiveBackPages(int pages) {
  if (!IsOpen()) return SQLITE_MISUSE;
  // Each step is a transaction of its own that moves at most `pages` pages
  // into the WAL: a step needs no more room than that, where one vacuum of
  // every free page needed room for all it moved and, on a nearly full
  // disk, failed whole at every try.
  const std::string step = "PRAGMA incremental_vacuum(" + std::to_string(std::max(pages, 1)) + ")";
  const int rc = db_.Exec(step.c_str());
  if (!Done(rc)) return rc;
  // The file is cut to its new end there (unless a reader still looks at
  // older pages: then at a later checkpoint).
  Checkpoint();
  return SQLITE_OK;
}

std::int64_t ArchiveStore::ResultCount() { return db_.QueryInt("SELECT count(*) FROM result", 0); }

std::string ArchiveStore::OldestDay() {
  sql::Stmt s(db_, "SELECT min(local_day) FROM result");
  if (!s.ok() || s.Step() != SQLITE_ROW || s.IsNull(0)) return std::string();
  return s.Bytes(0);
}

}  // namespace archive
