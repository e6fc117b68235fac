#include "archive/ShipMark.h"

#include <sqlite3.h>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTime.h"
#include "platform/FileOps.h"

namespace archive {

namespace {

// As long as the monitor's writer waits for the lock: either waits out the
// other's one short transaction.
constexpr int kBusyTimeoutMs = 2000;
// The first schema that has an identity and a mark.
constexpr int kFirstShippedVersion = 2;

}  // namespace

bool ShipMark::Failed(int rc, std::string* error) {
  *error = sql::IsDamaged(rc) ? "the archive is damaged (" + sql::Describe(rc) + ")"
                              : "the archive cannot be written (" + db_.Error() + ")";
  return false;
}

bool ShipMark::Open(const std::string& path, std::string* error) {
  Close();
  identity_.clear();
  std::string file;
  const FileFault there = ResolveFile(path, &file);
  if (there != FileFault::kNone) {
    *error = there == FileFault::kNotRegular ? path + " is not a file" : "no archive at " + path;
    return false;
  }
  // Read-write, never made: the archive is the monitor's to make.
  int rc = db_.Open(file, SQLITE_OPEN_READWRITE);
  if (rc != SQLITE_OK) {
    *error = "cannot open " + path + " (" + sql::Describe(rc) + ")";
    return false;
  }
  sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  std::int64_t applicationId = 0, version = 0;
  rc = ReadFileMarks(db_, &applicationId, &version);
  if (rc != SQLITE_ROW) {
    Failed(rc, error);
    Close();
    return false;
  }
  if (applicationId != kApplicationId) {
    *error = path + " is not an archive of BrennaCenter";
  } else if (version > kSchemaVersion) {
    *error = path + " has schema version " + std::to_string(version) +
             ", newer than this program knows (" + std::to_string(kSchemaVersion) + ")";
  } else if (version < kFirstShippedVersion) {
    *error = path +
             " has no identity yet: the monitor of this version gives it one when it "
             "next starts";
  } else {
    sql::Stmt id(db_, "SELECT identity FROM archive_identity");
    if (id.ok() && id.Step() == SQLITE_ROW) identity_ = id.Bytes(0);
    if (!identity_.empty()) return true;
    *error = path + " has lost its identity (the table archive_identity is empty)";
  }
  Close();
  return false;
}

std::int64_t ShipMark::Through() {
  return db_.QueryInt("SELECT coalesce((SELECT through_id FROM shipped), -1)", -1);
}

bool ShipMark::Write(std::int64_t throughId, std::int64_t utcMs, std::string* error) {
  sql::Stmt s(db_,
              "INSERT INTO shipped (only, through_id, utc_ms) VALUES (1, ?1, ?2) "
              "ON CONFLICT (only) DO UPDATE SET through_id = excluded.through_id, "
              "utc_ms = excluded.utc_ms");
  if (!s.ok()) return Failed(s.prepareResult(), error);
  s.Bind(1, throughId).Bind(2, utcMs);
  const int rc = s.Step();
  return rc == SQLITE_DONE || Failed(rc, error);
}

std::int64_t ShipMark::HighestResultId() {
  return db_.QueryInt("SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'result'), 0)",
                      0);
}

bool ShipMark::Renew(std::string* error) {
  sql::Stmt s(db_,
              "UPDATE archive_identity SET identity = lower(hex(randomblob(16))), "
              "given_utc_ms = ?1 RETURNING identity");
  if (!s.ok()) return Failed(s.prepareResult(), error);
  s.Bind(1, NowUtcMs());
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Failed(rc, error);
  identity_ = s.Bytes(0);
  return true;
}

bool ShipMark::Clear(std::string* error) {
  const int rc = db_.Exec("DELETE FROM shipped");
  return rc == SQLITE_OK || Failed(rc, error);
}

}  // namespace archive
