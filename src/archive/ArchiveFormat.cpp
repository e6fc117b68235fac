#include "archive/ArchiveFormat.h"

#include <sqlite3.h>

#include "archive/Sqlite.h"
#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"

namespace archive {

namespace {

// Version 1. Texts that came from a station (transfer, operator, values,
// display texts) are BLOBs of GBK bytes, never SQL text: they are data and
// need not be UTF-8. Times are UTC milliseconds; the local time of a result
// is kept as the monitor saw it, so a day is the day the line worked.
const char kSchemaV1[] = R"sql(
CREATE TABLE run (
  id               INTEGER PRIMARY KEY AUTOINCREMENT,
  started_utc_ms   INTEGER NOT NULL,
  started_local    TEXT    NOT NULL,
  heartbeat_utc_ms INTEGER NOT NULL,
  stopped_utc_ms   INTEGER,
  stop_how         TEXT,
  process_id       INTEGER NOT NULL,
  version          TEXT    NOT NULL
);
CREATE TABLE result (
  id            INTEGER PRIMARY KEY AUTOINCREMENT,
  run_id        INTEGER NOT NULL REFERENCES run(id) ON DELETE CASCADE,
  shown_utc_ms  INTEGER NOT NULL,
  shown_local   TEXT    NOT NULL,
  local_day     TEXT    NOT NULL,
  utc_offset_s  INTEGER NOT NULL,
  transfer      BLOB    NOT NULL,
  stations      TEXT    NOT NULL,
  device_code   INTEGER NOT NULL,
  device_group  TEXT    NOT NULL,
  operator      BLOB    NOT NULL,
  title_count   INTEGER,
  item_count    INTEGER NOT NULL
);
CREATE INDEX result_day_group ON result(local_day, device_group);
CREATE INDEX result_shown ON result(shown_utc_ms);
CREATE INDEX result_run ON result(run_id);
CREATE TABLE item (
  result_id INTEGER NOT NULL REFERENCES result(id) ON DELETE CASCADE,
  position  INTEGER NOT NULL,
  code      INTEGER NOT NULL,
  judge     INTEGER NOT NULL,
  value     BLOB    NOT NULL,
  PRIMARY KEY (result_id, position)
) WITHOUT ROWID;
CREATE TABLE display_write (
  seq         INTEGER PRIMARY KEY,
  run_id      INTEGER NOT NULL REFERENCES run(id) ON DELETE CASCADE,
  result_id   INTEGER REFERENCES result(id) ON DELETE CASCADE,
  utc_ms      INTEGER NOT NULL,
  display_id  INTEGER NOT NULL,
  text        BLOB    NOT NULL,
  background  INTEGER NOT NULL,
  text_color  INTEGER NOT NULL
);
CREATE INDEX display_write_panel ON display_write(run_id, display_id, utc_ms);
CREATE INDEX display_write_result ON display_write(result_id);
)sql";

// Version 2: the archive's own identity, given once when the file gets
// this version (a new archive, or one upgraded from 1) and never again, so
// a file replaced or made anew is another archive in the company database;
// and how far brenna-ship has shipped it there, which the trim keeps.
const char kSchemaV2[] = R"sql(
CREATE TABLE archive_identity (
  only          INTEGER PRIMARY KEY CHECK (only = 1),
  identity      TEXT    NOT NULL,
  given_utc_ms  INTEGER NOT NULL
);
INSERT INTO archive_identity VALUES
  (1, lower(hex(randomblob(16))), CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER));
CREATE TABLE shipped (
  only        INTEGER PRIMARY KEY CHECK (only = 1),
  through_id  INTEGER NOT NULL,
  utc_ms      INTEGER NOT NULL
);
)sql";

}  // namespace

std::string DefaultArchivePath() {
  const std::string folder = ArchiveFolder();
  if (folder.empty()) return std::string();
  return JoinPath(folder, kArchiveFileName);
}

const char* UpgradeStep(int from) {
  switch (from) {
    case 0:
      return kSchemaV1;
    case 1:
      return kSchemaV2;
    default:
      return nullptr;
  }
}

int ReadFileMarks(sql::Db& db, std::int64_t* applicationId, std::int64_t* version) {
  sql::Stmt probe(db,
                  "SELECT (SELECT application_id FROM pragma_application_id), "
                  "(SELECT user_version FROM pragma_user_version)");
  const int rc = probe.ok() ? probe.Step() : probe.prepareResult();
  if (rc == SQLITE_ROW) {
    *applicationId = probe.Int(0);
    *version = probe.Int(1);
  }
  return rc;
}

}  // namespace archive
