#include "web/CompanyDatabase.h"

#include <limits>
#include <map>
#include <utility>

#include "archive/ArchiveTime.h"
#include "panel/Verdicts.h"
#include "platform/Gbk.h"
#include "ship/CompanySchema.h"

namespace web {

namespace {

// A result's columns, as ReadResult takes them.
constexpr char kResultColumns[] =
    "x.archive_no, x.result_id, (extract(epoch FROM x.shown_at) * 1000)::bigint, "
    "to_char(x.shown_local, 'YYYY-MM-DD HH24:MI:SS.MS'), x.utc_offset_s, x.device_code, "
    "x.item_count, coalesce(x.title_count, -1), x.transfer, x.stations, x.device_group, "
    "x.operator, coalesce(x.verdict, 0), x.vetoes, x.advisories";

// Every line as the documented view brenna.lines tells it (whether its
// shipper and its monitor run), with its newest result shipped (the last
// shipped id of its archive in use: along the key, whatever years lie
// below it) and its results of today, the line's own day by the offset of
// that result ($1: this computer's for a line that has none).
constexpr char kLines[] = R"sql(
SELECT l.line_id, v.site, v.line, v.shipper_running,
  (extract(epoch FROM v.shipper_seen_at) * 1000)::bigint,
  (extract(epoch FROM v.last_shipped_at) * 1000)::bigint,
  v.monitor_started_at IS NOT NULL, v.monitor_running, v.monitor_stopped_at IS NOT NULL,
  (extract(epoch FROM v.monitor_started_at) * 1000)::bigint,
  (extract(epoch FROM coalesce(v.monitor_stopped_at, v.monitor_heartbeat_at)) * 1000)::bigint,
  d.day::text, t.results, t.vetoed, x.result_id IS NOT NULL, %RESULT%
FROM brenna.lines AS v
JOIN brenna.line AS l ON l.site = v.site AND l.line = v.line
LEFT JOIN brenna.archive AS a ON a.line_id = l.line_id AND a.identity = v.archive
LEFT JOIN LATERAL (SELECT * FROM brenna.result AS r WHERE r.line_id = l.line_id
    AND r.archive_no = a.archive_no AND r.result_id <= a.shipped_through
    ORDER BY r.result_id DESC LIMIT 1) AS x ON true
CROSS JOIN LATERAL (SELECT (now() AT TIME ZONE 'UTC'
    + coalesce(x.utc_offset_s, $1::integer) * interval '1 second')::date AS day) AS d
CROSS JOIN LATERAL (SELECT count(*) AS results, count(*) FILTER (WHERE r.vetoes > 0) AS vetoed
    FROM brenna.result AS r WHERE r.line_id = l.line_id AND r.local_day = d.day) AS t
ORDER BY v.site, v.line)sql";
constexpr int kLineColumns = 15;  // before the result's

std::string WithResultColumns(std::string sql) {
  const std::string mark = "%RESULT%";
  return sql.replace(sql.find(mark), mark.size(), kResultColumns);
}

// A company text back in the archive's GBK: a station's bytes that were no
// GBK, which the company keeps as U+FFFD, become a byte no GBK reader takes
// for a character, so every page and file shows U+FFFD there again, as it
// does for the line's own archive.
std::string ArchiveGbk(const std::string& utf8) {
  bool ascii = true;
  for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return utf8;
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t at = utf8.find(kReplacement, start);
    const std::string piece = utf8.substr(start, at == std::string::npos ? at : at - start);
    if (!piece.empty()) out += Gbk(piece);
    if (at == std::string::npos) return out;
    out += '\xFF';
    start = at + kReplacement.size();
  }
}

void ReadResult(const ship::PgResult& r, int row, int at, CompanyResult* out) {
  *out = CompanyResult();
  out->key = {r.Int(row, at), r.Int(row, at + 1)};
  archive::ResultRow& x = out->result.row;
  x.id = out->key.id;
  x.shownUtcMs = r.Int(row, at + 2);
  x.shownLocal = r.Text(row, at + 3);
  x.utcOffsetSeconds = static_cast<int>(r.Int(row, at + 4));
  x.deviceCode = static_cast<int>(r.Int(row, at + 5));
  x.itemCount = static_cast<int>(r.Int(row, at + 6));
  x.titleCount = static_cast<int>(r.Int(row, at + 7));
  x.transfer = ArchiveGbk(r.Text(row, at + 8));
  x.stations = r.Text(row, at + 9);
  x.deviceGroup = r.Text(row, at + 10);
  x.operatorText = ArchiveGbk(r.Text(row, at + 11));
  out->verdict = static_cast<int>(r.Int(row, at + 12));
  out->vetoes = static_cast<int>(r.Int(row, at + 13));
  out->advisories = static_cast<int>(r.Int(row, at + 14));
}

void ReadLine(const ship::PgResult& r, int row, CompanyLine* line) {
  line->lineId = static_cast<int>(r.Int(row, 0));
  line->site = r.Text(row, 1);
  line->line = r.Text(row, 2);
  line->shipperRunning = r.Text(row, 3) == "t";
  line->shipperSeenUtcMs = r.Int(row, 4);
  line->lastShippedUtcMs = r.Int(row, 5);
  line->monitorKnown = r.Text(row, 6) == "t";
  line->monitorRunning = r.Text(row, 7) == "t";
  line->monitorStopped = r.Text(row, 8) == "t";
  line->monitorStartedUtcMs = r.Int(row, 9);
  line->monitorHeardUtcMs = r.Int(row, 10);
  line->today = r.Text(row, 11);
  line->todayResults = r.Int(row, 12);
  line->todayVetoed = r.Int(row, 13);
  line->haveLatest = r.Text(row, 14) == "t";
  if (line->haveLatest) ReadResult(r, row, kLineColumns, &line->latest);
}

// A statement and its parameters, built together.
struct Statement {
  std::string sql;
  std::vector<ship::PgParam> params;

  std::string Param(const std::string& value, const char* type) {
    params.emplace_back(value);
    return "$" + std::to_string(params.size()) + "::" + type;
  }
};

// The conditions of a query on brenna.result AS x (its start too when
// `fromStart`).
std::string Conditions(const CompanyQuery& q, bool fromStart, Statement* s) {
  const archive::ResultFilter& f = q.filter;
  std::string w = "x.line_id = " + s->Param(std::to_string(q.lineId), "smallint") +
                  " AND x.local_day BETWEEN " + s->Param(f.day, "date") + " AND " +
                  s->Param(f.lastDay.empty() ? f.day : f.lastDay, "date");
  // Times of day as the line's PC saw them, as a line's list takes them.
  if (f.fromUtcMs != std::numeric_limits<std::int64_t>::min())
    w += " AND x.shown_local >= " + s->Param(archive::ToLocal(f.fromUtcMs).text, "timestamp");
  if (f.toUtcMs != std::numeric_limits<std::int64_t>::max())
    w += " AND x.shown_local < " + s->Param(archive::ToLocal(f.toUtcMs).text, "timestamp");
  if (!f.group.empty()) w += " AND x.device_group = " + s->Param(f.group, "text");
  if (f.byOperator) w += " AND x.operator = " + s->Param(GbkToUtf8(f.operatorText), "text");
  if (f.byTransfer) w += " AND x.transfer = " + s->Param(GbkToUtf8(f.transfer), "text");
  // Part of a name, as whole characters (the company's text is UTF-8).
  if (!f.transferPart.empty())
    w += " AND strpos(x.transfer, " + s->Param(GbkToUtf8(f.transferPart), "text") + ") > 0";
  if (f.withJudge == LookOf(Verdict::kVeto).judgeCode) w += " AND x.vetoes > 0";
  if (f.withJudge == LookOf(Verdict::kAdvisory).judgeCode) w += " AND x.advisories > 0";
  if (fromStart && !q.from.Empty())
    w += std::string(" AND (x.archive_no, x.result_id) ") + (f.newestFirst ? "<" : ">") + " (" +
         s->Param(std::to_string(q.from.archive), "integer") + ", " +
         s->Param(std::to_string(q.from.id), "bigint") + ")";
  return w;
}

bool Failed(const ship::PgResult& r, ship::PgConnection& db, std::string* error) {
  if (r.ok()) return false;
  *error = "读取公司数据库时出错（" + r.Error() + "）";
  if (r.SqlState() == "57014") *error = "公司数据库没有在限定的时间内答复（" + r.Error() + "）";
  if (!db.Good()) *error = "与公司数据库的连接中断（" + r.Error() + "）";
  return true;
}

// The values the window showed of `results` (ids from `low` to `high` of
// the query's line and days), as their items.
bool ReadValues(ship::PgConnection& db, const CompanyQuery& q, const CompanyKey& low,
                const CompanyKey& high, std::vector<CompanyResult>* results, std::string* error) {
  std::map<std::pair<std::int64_t, std::int64_t>, CompanyResult*> byKey;
  for (CompanyResult& r : *results) byKey[{r.key.archive, r.key.id}] = &r;
  Statement s;
  s.sql =
      "SELECT v.archive_no, v.result_id, v.position, v.code, v.judge, v.value_sent "
      "FROM brenna.result_value AS v WHERE v.line_id = " +
      s.Param(std::to_string(q.lineId), "smallint") + " AND v.local_day BETWEEN " +
      s.Param(q.filter.day, "date") + " AND " +
      s.Param(q.filter.lastDay.empty() ? q.filter.day : q.filter.lastDay, "date") +
      " AND (v.archive_no, v.result_id) >= (" + s.Param(std::to_string(low.archive), "integer") +
      ", " + s.Param(std::to_string(low.id), "bigint") + ") AND (v.archive_no, v.result_id) <= (" +
      s.Param(std::to_string(high.archive), "integer") + ", " +
      s.Param(std::to_string(high.id), "bigint") +
      ") ORDER BY v.archive_no, v.result_id, v.position";
  const ship::PgResult r = db.Exec(s.sql, s.params);
  if (Failed(r, db, error)) return false;
  for (int i = 0; i < r.Rows(); ++i) {
    const auto it = byKey.find({r.Int(i, 0), r.Int(i, 1)});
    if (it == byKey.end()) continue;  // a result the query left out
    it->second->result.items.push_back({static_cast<int>(r.Int(i, 2)),
                                        static_cast<int>(r.Int(i, 3)),
                                        static_cast<int>(r.Int(i, 4)), ArchiveGbk(r.Text(i, 5))});
  }
  return true;
}

}  // namespace

std::string CompanyKey::Text() const { return std::to_string(archive) + "-" + std::to_string(id); }

bool CompanyKey::Parse(const std::string& text, CompanyKey* key) {
  const std::size_t dash = text.find('-');
  auto number = [](const std::string& digits, std::int64_t* n) {
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    *n = std::stoll(digits);
    return true;
  };
  return dash != std::string::npos && number(text.substr(0, dash), &key->archive) &&
         number(text.substr(dash + 1), &key->id);
}

ship::ConninfoUse CompanyConninfoUse() {
  ship::ConninfoUse use;
  use.program = "brenna-web";
  use.connectTimeoutS = "5";
  use.keepalivesIdleS = "5";
  use.keepalivesIntervalS = "2";
  use.keepalivesCount = "3";
  use.unansweredMs = "10000";
  return use;
}

CompanyDatabase::CompanyDatabase(Options options) : options_(std::move(options)) {}

CompanyDatabase::~CompanyDatabase() = default;

std::string CompanyDatabase::Where() const {
  const ship::Conninfo& c = options_.conninfo;
  const std::string host = c.Get("host").empty() ? c.Get("hostaddr") : c.Get("host");
  return host + ":" + (c.Get("port").empty() ? "5432" : c.Get("port")) + "/" + c.Get("dbname");
}

bool CompanyDatabase::Connect(ship::PgConnection& db, std::string* error) const {
  std::string why;
  if (!db.Connect(options_.conninfo, &why)) {
    *error = why.find("certificate") != std::string::npos
                 ? "公司数据库无法证明自己的身份，没有向它发送任何内容（" + why + "）"
                 : "连不上公司数据库（" + why + "）";
    return false;
  }
  const int version = ship::CompanySchemaVersion(db, &why);
  if (version <= 0) {
    *error = version == 0
                 ? "公司数据库中还没有 BrennaCenter 的模式：请管理员先运行 brenna-ship --init"
                 : "读取公司数据库时出错（" + why + "）";
    return false;
  }
  const ship::PgResult viewer = db.Exec("SELECT pg_has_role('brenna_viewer', 'MEMBER')");
  if (!viewer.ok() || viewer.Text(0, 0) != "t") {
    *error = viewer.ok() ? "角色 " + options_.conninfo.Get("user") +
                               " 不是公司数据库的查看者：请管理员用 brenna-ship --enrol-viewer "
                               "给出一个查看者的连接字符串"
                         : "读取公司数据库时出错（" + viewer.Error() + "）";
    return false;
  }
  const std::string limit = std::to_string(options_.statementTimeout.count());
  if (!db.Run("SET statement_timeout = " + limit + "; SET default_transaction_read_only = on",
              &why)) {
    *error = "读取公司数据库时出错（" + why + "）";
    return false;
  }
  return true;
}

bool CompanyDatabase::Take(std::unique_ptr<ship::PgConnection>* db, bool* reused,
                           std::string* error) {
  {
    MutexLock hold(lock_);
    const auto until = std::chrono::steady_clock::now() + options_.wait;
    while (idle_.empty() && open_ >= options_.connections &&
           freed_.wait_until(lock_, until) != std::cv_status::timeout) {
    }
    *reused = !idle_.empty();
    if (*reused) {
      *db = std::move(idle_.back());
      idle_.pop_back();
      return true;
    }
    if (open_ >= options_.connections) {
      *error = "公司数据库的连接都在使用中（最多 " + std::to_string(options_.connections) +
               " 个），请稍后再试";
      return false;
    }
    ++open_;
  }
  // Connected outside the lock: others take and give back meanwhile.
  auto made = std::make_unique<ship::PgConnection>();
  if (Connect(*made, error)) {
    *db = std::move(made);
    return true;
  }
  {
    MutexLock hold(lock_);
    --open_;
  }
  freed_.notify_one();
  return false;
}

void CompanyDatabase::Give(std::unique_ptr<ship::PgConnection> db) {
  {
    MutexLock hold(lock_);
    if (db != nullptr && db->Good())
      idle_.push_back(std::move(db));
    else
      --open_;
  }
  freed_.notify_one();
}

bool CompanyDatabase::WithConnection(const Work& work, std::string* error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::unique_ptr<ship::PgConnection> db;
    bool reused = false;
    if (!Take(&db, &reused, error)) return false;
    const bool done = work(*db, error);
    const bool broken = !db->Good();
    Give(std::move(db));
    if (done || !broken || !reused) return done;
  }
  return false;
}

bool CompanyDatabase::Lines(std::vector<CompanyLine>* lines, std::string* error) {
  lines->clear();
  const std::string offset = std::to_string(archive::ToLocal(archive::NowUtcMs()).offsetSeconds);
  return WithConnection(
      [&](ship::PgConnection& db, std::string* why) {
        const ship::PgResult r = db.Exec(WithResultColumns(kLines), {offset});
        if (Failed(r, db, why)) return false;
        lines->resize(static_cast<std::size_t>(r.Rows()));
        for (int i = 0; i < r.Rows(); ++i) ReadLine(r, i, &(*lines)[static_cast<std::size_t>(i)]);
        return true;
      },
      error);
}

bool CompanyDatabase::Results(const CompanyQuery& q, std::vector<CompanyResult>* results,
                              std::string* error) {
  results->clear();
  Statement s;
  s.sql = std::string("SELECT ") + kResultColumns + " FROM brenna.result AS x WHERE " +
          Conditions(q, true, &s);
  const char* order = q.filter.newestFirst ? " DESC" : "";
  s.sql += std::string(" ORDER BY x.archive_no") + order + ", x.result_id" + order;
  if (q.filter.limit > 0) s.sql += " LIMIT " + s.Param(std::to_string(q.filter.limit), "bigint");
  return WithConnection(
      [&](ship::PgConnection& db, std::string* why) {
        results->clear();
        const ship::PgResult r = db.Exec(s.sql, s.params);
        if (Failed(r, db, why)) return false;
        results->resize(static_cast<std::size_t>(r.Rows()));
        for (int i = 0; i < r.Rows(); ++i)
          ReadResult(r, i, 0, &(*results)[static_cast<std::size_t>(i)]);
        if (!q.values || results->empty()) return true;
        const CompanyKey first = results->front().key, last = results->back().key;
        return q.filter.newestFirst ? ReadValues(db, q, last, first, results, why)
                                    : ReadValues(db, q, first, last, results, why);
      },
      error);
}

bool CompanyDatabase::Count(const CompanyQuery& q, CompanyCounts* counts, std::string* error) {
  Statement s;
  s.sql =
      "SELECT count(*), count(*) FILTER (WHERE x.vetoes > 0), "
      "count(*) FILTER (WHERE x.advisories > 0) FROM brenna.result AS x WHERE " +
      Conditions(q, false, &s);
  return WithConnection(
      [&](ship::PgConnection& db, std::string* why) {
        const ship::PgResult r = db.Exec(s.sql, s.params);
        if (Failed(r, db, why)) return false;
        *counts = {r.Int(0, 0), r.Int(0, 1), r.Int(0, 2)};
        return true;
      },
      error);
}

}  // namespace web
