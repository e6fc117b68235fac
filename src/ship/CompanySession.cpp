#include "ship/CompanySession.h"

#include "ship/CompanySchema.h"

namespace ship {

namespace {

const char kInsertResults[] = R"sql(
INSERT INTO brenna.result (line_id, archive_no, result_id, local_day, shown_at, shown_local,
  utc_offset_s, device_code, item_count, title_count, verdict, vetoes, advisories, transfer,
  stations, device_group, operator)
SELECT $1::smallint, $2::integer, r.id, r.day, 'epoch'::timestamptz + r.ms * interval '1 ms',
  r.local, r.off, r.dev, r.items, r.title, r.verdict, r.vetoes, r.adv, r.transfer, r.stations,
  r.grp, r.op
FROM unnest($3::bigint[], $4::date[], $5::bigint[], $6::timestamp[], $7::integer[],
  $8::integer[], $9::integer[], $10::integer[], $11::smallint[], $12::smallint[],
  $13::smallint[], $14::text[], $15::text[], $16::text[], $17::text[])
  AS r(id, day, ms, local, off, dev, items, title, verdict, vetoes, adv, transfer, stations,
       grp, op)
ON CONFLICT DO NOTHING)sql";

const char kInsertValues[] = R"sql(
INSERT INTO brenna.result_value (line_id, archive_no, result_id, local_day, position, code,
  judge, display_id, verdict, value_shown, value_sent, display_name)
SELECT $1::smallint, $2::integer, v.*
FROM unnest($3::bigint[], $4::date[], $5::integer[], $6::smallint[], $7::integer[],
  $8::smallint[], $9::smallint[], $10::text[], $11::text[], $12::text[]) AS v
ON CONFLICT DO NOTHING)sql";

const char kUpsertRuns[] = R"sql(
INSERT INTO brenna.run (line_id, archive_no, run_id, started_at, heartbeat_at, stopped_at,
  stop_how, version)
SELECT $1::smallint, $2::integer, r.id, 'epoch'::timestamptz + r.started * interval '1 ms',
  'epoch'::timestamptz + r.beat * interval '1 ms',
  'epoch'::timestamptz + r.stopped * interval '1 ms', r.how, r.version
FROM unnest($3::bigint[], $4::bigint[], $5::bigint[], $6::bigint[], $7::text[], $8::text[])
  AS r(id, started, beat, stopped, how, version)
ON CONFLICT (line_id, archive_no, run_id) DO UPDATE
  SET heartbeat_at = greatest(brenna.run.heartbeat_at, excluded.heartbeat_at),
      stopped_at = coalesce(excluded.stopped_at, brenna.run.stopped_at),
      stop_how = coalesce(excluded.stop_how, brenna.run.stop_how))sql";

const char kShipped[] = R"sql(
UPDATE brenna.archive
  SET shipped_through = greatest(shipped_through, $2::bigint), last_shipped_at = now(),
      last_shown_at = greatest(last_shown_at, 'epoch'::timestamptz + $3::bigint * interval '1 ms'),
      shipper_seen_at = now(), shipper_version = $4
  WHERE archive_no = $1::integer)sql";

const char kSeen[] = R"sql(
UPDATE brenna.archive SET shipper_seen_at = now(), shipper_version = $2
  WHERE archive_no = $1::integer)sql";

}  // namespace

void CompanySession::Close() {
  db_.Close();
  archiveNo_.clear();
}

bool CompanySession::Connect(const Conninfo& info, std::string* error) {
  Close();
  if (!db_.Connect(info, error)) return false;
  const int version = CompanySchemaVersion(db_, error);
  if (version >= 0 && version < kCompanySchemaVersion) {
    *error = version == 0 ? "the database has no company schema yet"
                          : "the company schema is version " + std::to_string(version) +
                                ", older than this brenna-ship ships into (" +
                                std::to_string(kCompanySchemaVersion) + ")";
    *error += ": the administrator runs brenna-ship --init";
  }
  if (version < kCompanySchemaVersion) {
    Close();
    return false;
  }
  const PgResult r = db_.Exec(
      "SELECT line_id, site || '/' || line FROM brenna.line "
      "WHERE line_id = (SELECT brenna.current_line_id())");
  if (!r.ok() || r.Rows() != 1) {
    *error = r.ok() ? "the role " + info.Get("user") +
                          " is no line's: the administrator enrols the line with brenna-ship "
                          "--enrol SITE/LINE and gives it the connection string printed"
                    : r.Error();
    Close();
    return false;
  }
  lineId_ = r.Text(0, 0);
  line_ = r.Text(0, 1);
  return true;
}

bool CompanySession::UseArchive(const std::string& identity, std::string* error) {
  archiveNo_.clear();
  const PgResult made = db_.Exec(
      "INSERT INTO brenna.archive (line_id, identity) VALUES ($1::smallint, $2) "
      "ON CONFLICT (line_id, identity) DO NOTHING",
      {lineId_, identity});
  const PgResult r = db_.Exec(
      "SELECT a.archive_no, a.shipped_through, "
      "(SELECT coalesce(max(run_id), 0) FROM brenna.run AS x "
      " WHERE x.line_id = a.line_id AND x.archive_no = a.archive_no), "
      "pg_try_advisory_lock(hashtext('brenna-ship'), a.archive_no) "
      "FROM brenna.archive AS a WHERE a.line_id = $1::smallint AND a.identity = $2",
      {lineId_, identity});
  if (!made.ok() || !r.ok() || r.Rows() != 1) {
    *error = !made.ok() ? made.Error() : !r.ok() ? r.Error() : "the archive's row is not there";
    return false;
  }
  if (r.Text(0, 3) != "t") {
    *error = "another brenna-ship is shipping this archive now (line " + line_ + ")";
    return false;
  }
  archiveNo_ = r.Text(0, 0);
  through_ = r.Int(0, 1);
  lastRunId_ = r.Int(0, 2);
  return true;
}

bool CompanySession::ShownTimes(std::int64_t fromId, std::int64_t throughId,
                                std::vector<std::pair<std::int64_t, std::int64_t>>* out,
                                std::string* error) {
  out->clear();
  const PgResult r = db_.Exec(
      "SELECT result_id, (extract(epoch FROM shown_at) * 1000)::bigint FROM brenna.result "
      "WHERE line_id = $1::smallint AND archive_no = $2::integer "
      "AND result_id BETWEEN $3::bigint AND $4::bigint ORDER BY result_id",
      {lineId_, archiveNo_, std::to_string(fromId), std::to_string(throughId)});
  if (!r.ok()) {
    *error = r.Error();
    return false;
  }
  for (int i = 0; i < r.Rows(); ++i) out->emplace_back(r.Int(i, 0), r.Int(i, 1));
  return true;
}

bool CompanySession::SkipThrough(std::int64_t id, std::string* error) {
  const PgResult r = db_.Exec(
      "UPDATE brenna.archive SET shipped_through = greatest(shipped_through, $2::bigint) "
      "WHERE archive_no = $1::integer",
      {archiveNo_, std::to_string(id)});
  if (!r.ok()) {
    *error = r.Error();
    return false;
  }
  through_ = std::max(through_, id);
  return true;
}

bool CompanySession::AddMonths(const std::set<std::string>& months, std::string* error) {
  ArrayLiteral wanted;
  bool any = false;
  for (const std::string& m : months) {
    if (months_.count(m) != 0) continue;
    wanted.Text(m);
    any = true;
  }
  if (!any) return true;
  const PgResult r = db_.Exec("SELECT brenna.add_months($1::date[])", {wanted.Literal()});
  if (!r.ok()) {
    *error = r.Error();
    return false;
  }
  months_.insert(months.begin(), months.end());
  return true;
}

bool CompanySession::Transact(const std::vector<Statement>& statements, std::string* error) {
  if (!db_.Run("BEGIN", error)) return false;
  for (const auto& [sql, params] : statements) {
    const PgResult r = db_.Exec(sql, params);
    if (!r.ok()) {
      *error = r.Error();
      std::string ignored;
      db_.Run("ROLLBACK", &ignored);
      return false;
    }
  }
  return db_.Run("COMMIT", error);
}

CompanySession::Statement CompanySession::RunsStatement(
    const std::vector<archive::RunRow>& runs) const {
  const RunColumns c = MakeRunColumns(runs);
  return {kUpsertRuns,
          {lineId_, archiveNo_, c.id.Literal(), c.startedMs.Literal(), c.heartbeatMs.Literal(),
           c.stoppedMs.Literal(), c.stopHow.Literal(), c.version.Literal()}};
}

bool CompanySession::Ship(const ShipBatch& b, const std::vector<archive::RunRow>& runs,
                          std::string* error) {
  if (!AddMonths(b.months, error)) return false;
  const ResultColumns& r = b.result;
  const ValueColumns& v = b.value;
  std::vector<Statement> statements = {
      {kInsertResults,
       {lineId_, archiveNo_, r.id.Literal(), r.localDay.Literal(), r.shownMs.Literal(),
        r.shownLocal.Literal(), r.utcOffset.Literal(), r.deviceCode.Literal(),
        r.itemCount.Literal(), r.titleCount.Literal(), r.verdict.Literal(), r.vetoes.Literal(),
        r.advisories.Literal(), r.transfer.Literal(), r.stations.Literal(), r.group.Literal(),
        r.operatorText.Literal()}},
      {kInsertValues,
       {lineId_, archiveNo_, v.resultId.Literal(), v.localDay.Literal(), v.position.Literal(),
        v.code.Literal(), v.judge.Literal(), v.displayId.Literal(), v.verdict.Literal(),
        v.shown.Literal(), v.sent.Literal(), v.name.Literal()}},
      {kShipped,
       {archiveNo_, std::to_string(b.lastId), std::to_string(b.lastShownUtcMs), version_}}};
  if (!runs.empty()) statements.push_back(RunsStatement(runs));
  if (!Transact(statements, error)) return false;
  through_ = std::max(through_, b.lastId);
  if (!runs.empty()) lastRunId_ = std::max(lastRunId_, runs.back().id);
  return true;
}

bool CompanySession::Beat(const std::vector<archive::RunRow>& runs, std::string* error) {
  std::vector<Statement> statements = {{kSeen, {archiveNo_, version_}}};
  if (!runs.empty()) statements.push_back(RunsStatement(runs));
  if (!Transact(statements, error)) return false;
  if (!runs.empty()) lastRunId_ = std::max(lastRunId_, runs.back().id);
  return true;
}

}  // namespace ship
