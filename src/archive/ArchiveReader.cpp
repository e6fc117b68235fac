#include "archive/ArchiveReader.h"

#include <sqlite3.h>

#include <algorithm>

#include "archive/ArchiveFormat.h"
#include "archive/HeartbeatNote.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"

namespace archive {

namespace {

constexpr int kBusyTimeoutMs = 1000;

const char kResultColumns[] =
    "SELECT id, run_id, shown_utc_ms, shown_local, utc_offset_s, transfer, stations, "
    "device_code, device_group, operator, title_count, item_count FROM result";

const char kRunColumns[] =
    "SELECT id, started_utc_ms, started_local, heartbeat_utc_ms, stopped_utc_ms, stop_how, "
    "process_id, version FROM run";

ResultRow ReadResultRow(const sql::Stmt& s) {
  ResultRow r;
  r.id = s.Int(0);
  r.runId = s.Int(1);
  r.shownUtcMs = s.Int(2);
  r.shownLocal = s.Bytes(3);
  r.utcOffsetSeconds = static_cast<int>(s.Int(4));
  r.transfer = s.Bytes(5);
  r.stations = s.Bytes(6);
  r.deviceCode = static_cast<int>(s.Int(7));
  r.deviceGroup = s.Bytes(8);
  r.operatorText = s.Bytes(9);
  r.titleCount = s.IsNull(10) ? -1 : static_cast<int>(s.Int(10));
  r.itemCount = static_cast<int>(s.Int(11));
  return r;
}

RunRow ReadRunRow(const sql::Stmt& s) {
  RunRow r;
  r.id = s.Int(0);
  r.startedUtcMs = s.Int(1);
  r.startedLocal = s.Bytes(2);
  r.heartbeatUtcMs = s.Int(3);
  r.stopped = !s.IsNull(4);
  r.stopHow = s.Bytes(5);
  r.processId = static_cast<long>(s.Int(6));
  r.version = s.Bytes(7);
  return r;
}

std::string_view BlobArg(sqlite3_value* v) {
  const void* bytes = sqlite3_value_blob(v);
  const int size = sqlite3_value_bytes(v);
  return bytes == nullptr
             ? std::string_view()
             : std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

// transfer_has(name, part): the GBK name holds the part as whole
// characters (never from a double-byte character's second byte on).
void TransferHas(sqlite3_context* context, int, sqlite3_value** args) {
  const std::string_view text = BlobArg(args[0]), part = BlobArg(args[1]);
  bool found = part.empty();
  for (std::size_t i = 0; !found && i + part.size() <= text.size(); i += GbkCharLength(text, i))
    found = text.compare(i, part.size(), part) == 0;
  sqlite3_result_int(context, found ? 1 : 0);
}

// vehicle_of(name): the reader's rule.
void VehicleOf(sqlite3_context* context, int, sqlite3_value** args) {
  const auto* rule =
      static_cast<const std::function<std::string(std::string_view)>*>(sqlite3_user_data(context));
  const std::string_view name = BlobArg(args[0]);
  try {
    const std::string key = *rule ? (*rule)(name) : std::string(name);
    sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(context);
  }
}

}  // namespace

bool ArchiveReader::AddFunctions() {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  return sqlite3_create_function_v2(db_.get(), "transfer_has", 2, flags, nullptr, TransferHas,
                                    nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_create_function_v2(db_.get(), "vehicle_of", 1, flags, &vehicleOf_, VehicleOf,
                                    nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool ArchiveReader::Failed(int rc, std::string* error) {
  if (error != nullptr) {
    *error = sql::IsDamaged(rc) ? "the archive is damaged (" + sql::Describe(rc) + ")"
                                : "the archive cannot be read (" + db_.Error() + ")";
  }
  return false;
}

bool ArchiveReader::Open(const std::string& path, std::string* error) {
  db_.Close();
  file_.clear();
  // A link to the archive (`--archive ~/line.sqlite`) is followed here,
  // once; SQLite itself never follows one.
  std::string file;
  const FileFault there = ResolveFile(path, &file);
  if (there == FileFault::kNotRegular) {
    *error = path + " is not a file";
    return false;
  }
  if (there != FileFault::kNone) {
    *error = "no archive at " + path +
             (there == FileFault::kMissing ? " (no such file)" : " (it cannot be reached)");
    return false;
  }
  int rc = SQLITE_CANTOPEN;
  // A cleanly closed archive has no WAL beside it. Read-only, SQLite would
  // make the -wal and -shm it needs and could never remove them again; a
  // connection that may write (and never does: query_only) removes them
  // when it is the last to close. Beside a WAL (the monitor running, or
  // killed) it stays read-only, and leaves that WAL to the monitor.
  if (!PathExists(file + "-wal")) {
    rc = db_.Open(file, SQLITE_OPEN_READWRITE);
    if (rc == SQLITE_OK && db_.Exec("PRAGMA query_only = 1") != SQLITE_OK) db_.Close();
  }
  if (!db_.IsOpen()) rc = db_.Open(file, SQLITE_OPEN_READONLY);
  if (rc != SQLITE_OK) {
    *error = "cannot open " + path + " (" + sql::Describe(rc) + ")";
    return false;
  }
  file_ = file;
  sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  if (!AddFunctions()) {
    *error = "cannot read " + path + " (" + db_.Error() + ")";
    db_.Close();
    return false;
  }
  std::int64_t applicationId = 0, version = 0;
  const int step = ReadFileMarks(db_, &applicationId, &version);
  if (step != SQLITE_ROW) {
    Failed(step, error);
    db_.Close();
    return false;
  }
  if (applicationId != kApplicationId) {
    *error = path + " is not an archive of BrennaCenter";
    db_.Close();
    return false;
  }
  if (version > kSchemaVersion) {
    *error = path + " has schema version " + std::to_string(version) +
             ", newer than this program reads (" + std::to_string(kSchemaVersion) +
             "): use the brenna-history of the monitor that wrote it";
    db_.Close();
    return false;
  }
  if (version < 1) {
    *error = path + " is an archive still being made (no schema yet)";
    db_.Close();
    return false;
  }
  return true;
}

namespace {

// The conditions of a filter, each with a parameter number of its own; the
// day and group pair meets the index result_day_group, a time range
// result_shown. Within a closed range of ids the rows are read along the
// table in id order instead (`+` keeps the planner off those indexes):
// through the day's index, every batch of a CSV file sorted the whole day
// again.
std::string Where(const ResultFilter& f) {
  const bool byId = f.throughId != std::numeric_limits<std::int64_t>::max();
  const std::string col = byId ? " AND +" : " AND ";
  std::string sql = " WHERE id > ?1";
  if (byId) sql += " AND id <= ?10";
  if (!f.day.empty())
    sql += f.lastDay.empty() ? col + "local_day = ?2"
                             : col + "local_day >= ?2" + col + "local_day <= ?14";
  if (!f.group.empty()) sql += col + "device_group = ?3";
  if (f.fromUtcMs != std::numeric_limits<std::int64_t>::min()) sql += col + "shown_utc_ms >= ?4";
  if (f.toUtcMs != std::numeric_limits<std::int64_t>::max()) sql += col + "shown_utc_ms < ?5";
  if (f.deviceCode >= 0) sql += " AND device_code = ?6";
  if (f.byOperator) sql += " AND operator = ?7";
  if (f.byTransfer) sql += " AND transfer = ?8";
  // A plain search for the bytes first; the character-wise test and the
  // rule only for the names that hold them.
  if (!f.transferPart.empty())
    sql += " AND instr(transfer, ?12) > 0 AND transfer_has(transfer, ?12)";
  if (!f.vehicle.empty()) sql += " AND instr(transfer, ?13) > 0 AND vehicle_of(transfer) = ?13";
  if (f.withJudge != 0) {
    // Item codes are numbers of the program's own tables: written in. Of an
    // item code sent twice the window shows the last: only that one counts.
    std::string codes;
    for (int code : f.withCodes) codes += (codes.empty() ? "" : ",") + std::to_string(code);
    sql +=
        " AND EXISTS (SELECT 1 FROM item WHERE item.result_id = result.id AND item.judge = ?11"
        " AND item.code IN (" +
        codes +
        ") AND NOT EXISTS (SELECT 1 FROM item AS later WHERE later.result_id = item.result_id"
        " AND later.code = item.code AND later.position > item.position))";
  }
  return sql;
}

void BindFilter(sql::Stmt& s, const ResultFilter& f) {
  s.Bind(1, f.afterId).Bind(10, f.throughId);
  if (!f.day.empty()) s.BindText(2, f.day);
  if (!f.day.empty() && !f.lastDay.empty()) s.BindText(14, f.lastDay);
  if (!f.group.empty()) s.BindText(3, f.group);
  s.Bind(4, f.fromUtcMs).Bind(5, f.toUtcMs).Bind(6, f.deviceCode);
  if (f.byOperator) s.BindBlob(7, f.operatorText);
  if (f.byTransfer) s.BindBlob(8, f.transfer);
  if (f.limit > 0) s.Bind(9, f.limit);
  if (f.withJudge != 0) s.Bind(11, f.withJudge);
  if (!f.transferPart.empty()) s.BindBlob(12, f.transferPart);
  if (!f.vehicle.empty()) s.BindBlob(13, f.vehicle);
}

}  // namespace

bool ArchiveReader::ListResults(const ResultFilter& f,
                                const std::function<bool(const ResultRow&)>& each,
                                std::string* error) {
  std::string sql =
      kResultColumns + Where(f) + (f.newestFirst ? " ORDER BY id DESC" : " ORDER BY id");
  if (f.limit > 0) sql += " LIMIT ?9";
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  BindFilter(s, f);
  int rc;
  bool more = true;
  while (more && (rc = s.Step()) == SQLITE_ROW) more = each(ReadResultRow(s));
  sorts_ += s.Status(SQLITE_STMTSTATUS_SORT);
  return !more || rc == SQLITE_DONE || Failed(rc, error);
}

bool ArchiveReader::ResultSpan(const ResultFilter& f, std::int64_t* first, std::int64_t* last,
                               std::string* error) {
  *first = *last = 0;
  const std::string sql = "SELECT min(id), max(id) FROM result" + Where(f);
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  BindFilter(s, f);
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Failed(rc, error);
  if (!s.IsNull(0)) {
    *first = s.Int(0);
    *last = s.Int(1);
  }
  return true;
}

bool ArchiveReader::CountResults(const ResultFilter& f, std::int64_t* count, std::string* error) {
  *count = 0;
  const std::string sql = "SELECT count(*) FROM result" + Where(f);
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  BindFilter(s, f);
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Failed(rc, error);
  *count = s.Int(0);
  return true;
}

bool ArchiveReader::ListItems(
    std::int64_t firstId, std::int64_t lastId,
    const std::function<bool(std::int64_t resultId, const RecordItem&)>& each, std::string* error) {
  sql::Stmt s(db_,
              "SELECT result_id, position, code, judge, value FROM item "
              "WHERE result_id >= ?1 AND result_id <= ?2 ORDER BY result_id, position");
  if (!s.ok()) return Failed(s.prepareResult(), error);
  s.Bind(1, firstId).Bind(2, lastId);
  int rc;
  RecordItem i;
  while ((rc = s.Step()) == SQLITE_ROW) {
    i.position = static_cast<int>(s.Int(1));
    i.code = static_cast<int>(s.Int(2));
    i.judge = static_cast<int>(s.Int(3));
    i.value = s.Bytes(4);
    if (!each(s.Int(0), i)) return true;
  }
  sorts_ += s.Status(SQLITE_STMTSTATUS_SORT);
  return rc == SQLITE_DONE || Failed(rc, error);
}

bool ArchiveReader::GetResult(std::int64_t id, ResultDetail* out, std::string* error) {
  error->clear();
  *out = ResultDetail();
  const std::string one = std::string(kResultColumns) + " WHERE id = ?1";
  sql::Stmt r(db_, one.c_str());
  if (!r.ok()) return Failed(r.prepareResult(), error);
  r.Bind(1, id);
  int rc = r.Step();
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) return Failed(rc, error);
  out->row = ReadResultRow(r);

  sql::Stmt items(db_,
                  "SELECT position, code, judge, value FROM item WHERE result_id = ?1 "
                  "ORDER BY position");
  if (!items.ok()) return Failed(items.prepareResult(), error);
  items.Bind(1, id);
  while ((rc = items.Step()) == SQLITE_ROW) {
    RecordItem i;
    i.position = static_cast<int>(items.Int(0));
    i.code = static_cast<int>(items.Int(1));
    i.judge = static_cast<int>(items.Int(2));
    i.value = items.Bytes(3);
    out->items.push_back(std::move(i));
  }
  if (rc != SQLITE_DONE) return Failed(rc, error);

  sql::Stmt writes(db_,
                   "SELECT display_id, text, background, text_color FROM display_write "
                   "WHERE result_id = ?1 ORDER BY seq");
  if (!writes.ok()) return Failed(writes.prepareResult(), error);
  writes.Bind(1, id);
  while ((rc = writes.Step()) == SQLITE_ROW) {
    DisplayWrite w;
    w.displayId = static_cast<int>(writes.Int(0));
    w.text = writes.Bytes(1);
    w.background = static_cast<std::uint32_t>(writes.Int(2));
    w.textColor = static_cast<std::uint32_t>(writes.Int(3));
    out->writes.push_back(std::move(w));
  }
  return rc == SQLITE_DONE || Failed(rc, error);
}

bool ArchiveReader::PanelAt(std::int64_t utcMs, const std::vector<int>& displayIds, Panel* out,
                            std::string* error) {
  *out = Panel();
  // The run the moment falls in: the last one started at or before it.
  const std::string which = std::string(kRunColumns) +
                            " WHERE started_utc_ms <= ?1 ORDER BY started_utc_ms DESC, id DESC "
                            "LIMIT 1";
  sql::Stmt run(db_, which.c_str());
  if (!run.ok()) return Failed(run.prepareResult(), error);
  run.Bind(1, utcMs);
  int rc = run.Step();
  if (rc == SQLITE_DONE) return true;
  if (rc != SQLITE_ROW) return Failed(rc, error);
  out->haveRun = true;
  out->run = ReadRunRow(run);
  out->run.heartbeatUtcMs = Heartbeat(out->run);
  const std::int64_t end =
      out->run.stopped ? out->run.heartbeatUtcMs : out->run.heartbeatUtcMs + kHeartbeatStaleMs;
  out->running = utcMs <= end;

  // Each display's last write in that run up to the moment: one step down
  // the index display_write_panel per display.
  sql::Stmt last(db_,
                 "SELECT text, background, text_color, utc_ms, result_id FROM display_write "
                 "WHERE run_id = ?1 AND display_id = ?2 AND utc_ms <= ?3 "
                 "ORDER BY utc_ms DESC, seq DESC LIMIT 1");
  if (!last.ok()) return Failed(last.prepareResult(), error);
  for (int id : displayIds) {
    PanelDisplay d;
    d.displayId = id;
    last.Bind(1, out->run.id).Bind(2, id).Bind(3, utcMs);
    rc = last.Step();
    if (rc == SQLITE_ROW) {
      d.written = true;
      d.text = last.Bytes(0);
      d.background = static_cast<std::uint32_t>(last.Int(1));
      d.textColor = static_cast<std::uint32_t>(last.Int(2));
      d.utcMs = last.Int(3);
      d.resultId = last.IsNull(4) ? 0 : last.Int(4);
    } else if (rc != SQLITE_DONE) {
      return Failed(rc, error);
    }
    last.Reset();
    out->displays.push_back(std::move(d));
  }
  return true;
}

bool ArchiveReader::Runs(std::int64_t fromUtcMs, std::int64_t toUtcMs,
                         const std::function<bool(const RunRow&)>& each, std::string* error) {
  const std::string sql = std::string(kRunColumns) +
                          " WHERE started_utc_ms < ?2 AND heartbeat_utc_ms >= ?1 ORDER BY id";
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  s.Bind(1, fromUtcMs).Bind(2, toUtcMs);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    if (!each(ReadRunRow(s))) return true;
  }
  return rc == SQLITE_DONE || Failed(rc, error);
}

bool ArchiveReader::OwnWriteTimes(std::int64_t fromUtcMs, std::int64_t toUtcMs,
                                  const std::vector<int>& displayIds,
                                  std::vector<std::int64_t>* times, std::string* error) {
  times->clear();
  sql::Stmt s(db_,
              "SELECT utc_ms FROM display_write WHERE run_id IN (SELECT id FROM run WHERE "
              "started_utc_ms < ?4 AND (stopped_utc_ms IS NULL OR stopped_utc_ms >= ?3)) "
              "AND display_id = ?2 AND utc_ms >= ?3 AND utc_ms < ?4 AND result_id IS NULL");
  if (!s.ok()) return Failed(s.prepareResult(), error);
  for (int id : displayIds) {
    s.Bind(2, id).Bind(3, fromUtcMs).Bind(4, toUtcMs);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) times->push_back(s.Int(0));
    if (rc != SQLITE_DONE) return Failed(rc, error);
    s.Reset();
  }
  std::sort(times->begin(), times->end());
  times->erase(std::unique(times->begin(), times->end()), times->end());
  return true;
}

bool ArchiveReader::LastRun(RunRow* out, std::string* error) {
  error->clear();
  const std::string sql = std::string(kRunColumns) + " ORDER BY id DESC LIMIT 1";
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) return Failed(rc, error);
  *out = ReadRunRow(s);
  out->heartbeatUtcMs = Heartbeat(*out);
  return true;
}

std::int64_t ArchiveReader::Heartbeat(const RunRow& run) const {
  if (run.stopped) return run.heartbeatUtcMs;
  return LatestHeartbeat(file_, run.id, run.startedUtcMs, run.processId, run.heartbeatUtcMs);
}

std::int64_t ArchiveReader::LatestResultId() {
  return db_.QueryInt("SELECT max(id) FROM result", 0);
}

std::int64_t ArchiveReader::LatestWriteSeq() {
  return db_.QueryInt("SELECT max(seq) FROM display_write", 0);
}

bool ArchiveReader::LastResultOfRun(std::int64_t runId, std::int64_t atUtcMs, ResultRow* out,
                                    std::string* error) {
  // Down the index result_run from the run's newest result.
  return OneResult(std::string(kResultColumns) +
                       " WHERE run_id = ?1 AND shown_utc_ms <= ?2 ORDER BY id DESC LIMIT 1",
                   runId, atUtcMs, out, error);
}

bool ArchiveReader::GroupTotals(std::vector<GroupTotal>* out, std::string* error) {
  out->clear();
  sql::Stmt s(db_,
              "SELECT device_group, count(*), max(shown_utc_ms), max(id) FROM result "
              "GROUP BY device_group ORDER BY device_group");
  if (!s.ok()) return Failed(s.prepareResult(), error);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) out->push_back({s.Bytes(0), s.Int(1), s.Int(2), s.Int(3)});
  return rc == SQLITE_DONE || Failed(rc, error);
}

std::int64_t ArchiveReader::DataVersion() { return db_.QueryInt("PRAGMA data_version", -1); }

bool ArchiveReader::OneResult(const std::string& sql, std::int64_t first, std::int64_t second,
                              ResultRow* out, std::string* error) {
  error->clear();
  sql::Stmt s(db_, sql.c_str());
  if (!s.ok()) return Failed(s.prepareResult(), error);
  s.Bind(1, first).Bind(2, second);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) return Failed(rc, error);
  *out = ReadResultRow(s);
  return true;
}

bool ArchiveReader::ResultById(std::int64_t id, ResultRow* out, std::string* error) {
  return OneResult(std::string(kResultColumns) + " WHERE id = ?1", id, 0, out, error);
}

bool ArchiveReader::ResultBefore(std::int64_t id, ResultRow* out, std::string* error) {
  return OneResult(std::string(kResultColumns) + " WHERE id < ?1 ORDER BY id DESC LIMIT 1", id, 0,
                   out, error);
}

bool ArchiveReader::ResultAfter(std::int64_t id, ResultRow* out, std::string* error) {
  return OneResult(std::string(kResultColumns) + " WHERE id > ?1 ORDER BY id LIMIT 1", id, 0, out,
                   error);
}

// Both down the index result_shown: one step each.
bool ArchiveReader::ResultShownBy(std::int64_t atUtcMs, ResultRow* out, std::string* error) {
  return OneResult(std::string(kResultColumns) +
                       " WHERE shown_utc_ms <= ?1 ORDER BY shown_utc_ms DESC, id DESC LIMIT 1",
                   atUtcMs, 0, out, error);
}

bool ArchiveReader::ResultShownAfter(std::int64_t afterUtcMs, ResultRow* out, std::string* error) {
  return OneResult(
      std::string(kResultColumns) + " WHERE shown_utc_ms > ?1 ORDER BY shown_utc_ms, id LIMIT 1",
      afterUtcMs, 0, out, error);
}

}  // namespace archive
