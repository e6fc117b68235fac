#include "ship/CompanySchema.h"

#include <cstdio>

#include "panel/Verdicts.h"

namespace ship {

namespace {

// Version 1. Every line's results in two tables partitioned by the line's
// own local day, a month to a partition (made by brenna.add_months the
// first time a month is shipped), so a month's report reads one partition
// whatever years lie beside it and an old month goes with one DROP. Lines
// reach only their own rows: row-level security on every table, checked
// against the line the logged-in role was enrolled as.
const char kStep1[] = R"sql(
CREATE SCHEMA brenna;
COMMENT ON SCHEMA brenna IS 'BrennaCenter: the results of every line (docs/company.md)';
CREATE TABLE brenna.schema_version (
  version     integer PRIMARY KEY,
  applied_at  timestamptz NOT NULL DEFAULT now()
);
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'brenna_line') THEN
    CREATE ROLE brenna_line NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'brenna_viewer') THEN
    CREATE ROLE brenna_viewer NOLOGIN;
  END IF;
END $$;

CREATE TABLE brenna.line (
  line_id      smallint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  site         text NOT NULL,
  line         text NOT NULL,
  role_name    name NOT NULL UNIQUE,
  enrolled_at  timestamptz NOT NULL DEFAULT now(),
  UNIQUE (site, line)
);
-- The line of the role asking; NULL for a role that is none. Plain SQL,
-- so a policy's (SELECT brenna.current_line_id()) runs once a statement.
CREATE FUNCTION brenna.current_line_id() RETURNS smallint
  LANGUAGE sql STABLE
  AS $$ SELECT l.line_id FROM brenna.line AS l WHERE l.role_name = current_user $$;

CREATE TABLE brenna.archive (
  archive_no       integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  line_id          smallint NOT NULL REFERENCES brenna.line,
  identity         text NOT NULL,
  first_seen_at    timestamptz NOT NULL DEFAULT now(),
  shipped_through  bigint NOT NULL DEFAULT 0,
  last_shipped_at  timestamptz,
  last_shown_at    timestamptz,
  shipper_seen_at  timestamptz,
  shipper_version  text,
  UNIQUE (line_id, identity)
);

CREATE TABLE brenna.run (
  line_id       smallint NOT NULL,
  archive_no    integer NOT NULL,
  run_id        bigint NOT NULL,
  started_at    timestamptz NOT NULL,
  heartbeat_at  timestamptz NOT NULL,
  stopped_at    timestamptz,
  stop_how      text,
  version       text NOT NULL,
  PRIMARY KEY (line_id, archive_no, run_id)
);
CREATE INDEX run_line_started ON brenna.run (line_id, started_at);

CREATE TABLE brenna.verdict (
  verdict  smallint PRIMARY KEY,
  name     text NOT NULL,
  colour   text NOT NULL
);

CREATE TABLE brenna.result (
  result_id     bigint NOT NULL,
  shown_at      timestamptz NOT NULL,
  shown_local   timestamp NOT NULL,
  shipped_at    timestamptz NOT NULL DEFAULT now(),
  archive_no    integer NOT NULL,
  local_day     date NOT NULL,
  utc_offset_s  integer NOT NULL,
  device_code   integer NOT NULL,
  item_count    integer NOT NULL,
  title_count   integer,
  line_id       smallint NOT NULL,
  verdict       smallint,
  vetoes        smallint NOT NULL,
  advisories    smallint NOT NULL,
  transfer      text NOT NULL,
  stations      text NOT NULL,
  device_group  text NOT NULL,
  operator      text NOT NULL,
  PRIMARY KEY (line_id, archive_no, result_id, local_day)
) PARTITION BY RANGE (local_day);
CREATE INDEX result_day ON brenna.result (local_day, line_id);

CREATE TABLE brenna.result_value (
  result_id     bigint NOT NULL,
  archive_no    integer NOT NULL,
  judge         integer NOT NULL,
  position      integer NOT NULL,
  local_day     date NOT NULL,
  line_id       smallint NOT NULL,
  code          smallint NOT NULL,
  display_id    smallint NOT NULL,
  verdict       smallint,
  value_shown   text NOT NULL,
  value_sent    text NOT NULL,
  display_name  text NOT NULL,
  PRIMARY KEY (line_id, archive_no, result_id, position, local_day)
) PARTITION BY RANGE (local_day);

-- A partition for each month of `days` that has none. Made apart and then
-- attached, which waits for no reader or writer of the other months.
CREATE FUNCTION brenna.add_months(days date[]) RETURNS void
  LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp
  AS $$
DECLARE
  first   date;
  parent  text;
  part    text;
BEGIN
  PERFORM pg_advisory_xact_lock(hashtext('brenna.add_months'));
  FOR first IN SELECT DISTINCT date_trunc('month', d)::date FROM unnest(days) AS d
               WHERE d IS NOT NULL LOOP
    FOREACH parent IN ARRAY ARRAY['result', 'result_value'] LOOP
      part := parent || '_' || to_char(first, 'YYYY_MM');
      IF to_regclass('brenna.' || quote_ident(part)) IS NULL THEN
        EXECUTE format('CREATE TABLE brenna.%I (LIKE brenna.%I INCLUDING DEFAULTS)', part, parent);
        EXECUTE format('ALTER TABLE brenna.%I ATTACH PARTITION brenna.%I FOR VALUES FROM (%L) TO (%L)',
                       parent, part, first, (first + interval '1 month')::date);
      END IF;
    END LOOP;
  END LOOP;
END $$;

GRANT USAGE ON SCHEMA brenna TO brenna_line, brenna_viewer;
REVOKE ALL ON FUNCTION brenna.current_line_id() FROM PUBLIC;
REVOKE ALL ON FUNCTION brenna.add_months(date[]) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION brenna.current_line_id() TO brenna_line;
GRANT EXECUTE ON FUNCTION brenna.add_months(date[]) TO brenna_line;
GRANT SELECT ON brenna.schema_version, brenna.verdict, brenna.line TO brenna_line, brenna_viewer;
GRANT SELECT, INSERT ON brenna.archive, brenna.run, brenna.result, brenna.result_value
  TO brenna_line;
GRANT UPDATE (shipped_through, last_shipped_at, last_shown_at, shipper_seen_at, shipper_version)
  ON brenna.archive TO brenna_line;
GRANT UPDATE (heartbeat_at, stopped_at, stop_how) ON brenna.run TO brenna_line;
GRANT SELECT ON brenna.archive, brenna.run, brenna.result, brenna.result_value TO brenna_viewer;

ALTER TABLE brenna.line ENABLE ROW LEVEL SECURITY;
CREATE POLICY line_own ON brenna.line FOR SELECT TO brenna_line
  USING (role_name = current_user);
CREATE POLICY line_view ON brenna.line FOR SELECT TO brenna_viewer USING (true);
DO $$
DECLARE
  t text;
BEGIN
  FOREACH t IN ARRAY ARRAY['archive', 'run', 'result', 'result_value'] LOOP
    EXECUTE format('ALTER TABLE brenna.%I ENABLE ROW LEVEL SECURITY', t);
    EXECUTE format('CREATE POLICY %I ON brenna.%I FOR ALL TO brenna_line '
                   'USING (line_id = (SELECT brenna.current_line_id())) '
                   'WITH CHECK (line_id = (SELECT brenna.current_line_id()))', t || '_own', t);
    EXECUTE format('CREATE POLICY %I ON brenna.%I FOR SELECT TO brenna_viewer USING (true)',
                   t || '_view', t);
  END LOOP;
END $$;

CREATE VIEW brenna.results AS
SELECT l.site, l.line, a.identity AS archive, r.result_id, r.shown_at, r.shown_local,
       r.local_day, r.utc_offset_s, r.transfer, r.device_group AS "group", r.device_code,
       r.operator, r.stations, r.title_count, r.item_count, v.name AS verdict,
       v.colour AS verdict_colour, r.vetoes, r.advisories, r.shipped_at
  FROM brenna.result AS r
  JOIN brenna.line AS l USING (line_id)
  JOIN brenna.archive AS a USING (archive_no)
  LEFT JOIN brenna.verdict AS v ON v.verdict = r.verdict;
CREATE VIEW brenna.result_values AS
SELECT l.site, l.line, a.identity AS archive, x.result_id, x.local_day, x.position,
       x.code AS item_code, x.value_shown, x.value_sent, x.judge, x.display_id,
       x.display_name, v.name AS verdict, v.colour AS verdict_colour
  FROM brenna.result_value AS x
  JOIN brenna.line AS l USING (line_id)
  JOIN brenna.archive AS a USING (archive_no)
  LEFT JOIN brenna.verdict AS v ON v.verdict = x.verdict;
CREATE VIEW brenna.lines AS
SELECT l.site, l.line, l.enrolled_at, a.identity AS archive, a.shipped_through,
       a.last_shipped_at, a.last_shown_at AS last_result_at, a.shipper_seen_at,
       coalesce(a.shipper_seen_at > now() - interval '90 seconds', false) AS shipper_running,
       r.started_at AS monitor_started_at, r.heartbeat_at AS monitor_heartbeat_at,
       r.stopped_at AS monitor_stopped_at,
       coalesce(r.stopped_at IS NULL AND r.heartbeat_at > now() - interval '90 seconds', false)
         AS monitor_running
  FROM brenna.line AS l
  LEFT JOIN LATERAL (SELECT * FROM brenna.archive AS a WHERE a.line_id = l.line_id
                     ORDER BY a.shipper_seen_at DESC NULLS LAST LIMIT 1) AS a ON true
  LEFT JOIN LATERAL (SELECT * FROM brenna.run AS r WHERE r.line_id = l.line_id
                     ORDER BY r.started_at DESC LIMIT 1) AS r ON true;
GRANT SELECT ON brenna.results, brenna.result_values, brenna.lines TO brenna_viewer;
)sql";

// The SQL that takes the schema from `from` to from + 1; null past the
// last.
const char* Step(int from) {
  switch (from) {
    case 0:
      return kStep1;
    default:
      return nullptr;
  }
}

// The verdicts' rows from the legend: judge code, name, "#RRGGBB".
std::string VerdictRows() {
  std::string sql = "INSERT INTO brenna.verdict (verdict, name, colour) VALUES ";
  bool first = true;
  for (const VerdictLook& look : kVerdicts) {
    char colour[8];
    const auto c = static_cast<unsigned>(look.color);
    std::snprintf(colour, sizeof colour, "#%02X%02X%02X", c & 0xFFu, (c >> 8) & 0xFFu,
                  (c >> 16) & 0xFFu);
    sql += (first ? "(" : ", (") + std::to_string(look.judgeCode) + ", '" + look.legendText +
           "', '" + colour + "')";
    first = false;
  }
  return sql +
         " ON CONFLICT (verdict) DO UPDATE SET name = excluded.name, colour = excluded.colour";
}

bool InTransaction(PgConnection& db, const std::string& sql, std::string* error) {
  if (!db.Run("BEGIN", error)) return false;
  if (db.Run(sql, error) && db.Run("COMMIT", error)) return true;
  std::string ignored;
  db.Run("ROLLBACK", &ignored);
  return false;
}

}  // namespace

int CompanySchemaVersion(PgConnection& db, std::string* error) {
  const PgResult r = db.Exec(
      "SELECT to_regnamespace('brenna') IS NOT NULL, "
      "to_regclass('brenna.schema_version') IS NOT NULL");
  if (!r.ok()) {
    *error = r.Error();
    return -1;
  }
  if (r.Text(0, 0) != "t") return 0;
  if (r.Text(0, 1) != "t") {
    *error =
        "the database has a schema \"brenna\" that is not BrennaCenter's (no "
        "brenna.schema_version)";
    return -1;
  }
  const PgResult v = db.Exec("SELECT coalesce(max(version), 0) FROM brenna.schema_version");
  if (!v.ok()) {
    *error = v.Error();
    return -1;
  }
  return static_cast<int>(v.Int(0, 0));
}

bool InitCompanySchema(PgConnection& db, int* from, std::string* error) {
  // One --init at a time, however many are started.
  if (!db.Run("SELECT pg_advisory_lock(hashtext('brenna --init'))", error)) return false;
  *from = CompanySchemaVersion(db, error);
  if (*from < 0) return false;
  if (*from > kCompanySchemaVersion) {
    *error = "the company schema is version " + std::to_string(*from) +
             ", newer than this brenna-ship knows (" + std::to_string(kCompanySchemaVersion) +
             "): use the brenna-ship that made it";
    return false;
  }
  for (int v = *from; v < kCompanySchemaVersion; ++v) {
    const std::string step = std::string(Step(v)) +
                             ";\nINSERT INTO brenna.schema_version (version) VALUES (" +
                             std::to_string(v + 1) + ")";
    if (!InTransaction(db, step, error)) {
      *error = "step to version " + std::to_string(v + 1) + " failed: " + *error;
      return false;
    }
  }
  return InTransaction(db, VerdictRows(), error) &&
         db.Run("SELECT pg_advisory_unlock(hashtext('brenna --init'))", error);
}

}  // namespace ship
