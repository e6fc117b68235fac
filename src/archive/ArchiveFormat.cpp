#include "archive/ArchiveFormat.h"

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
    default:
      return nullptr;
  }
}

}  // namespace archive
