// CompanySession - the company database as brenna-ship ships one line's
// archive into it, over one connection as the line's role: which line the
// role is, where shipping of this archive stands (the company's word is
// the truth: the archive's own mark only follows it), and each batch with
// the monitor's runs in one transaction, stored once however often it is
// sent (INSERT ... ON CONFLICT DO NOTHING on the result's key: line,
// archive, result id). What the role may write is PostgreSQL's to enforce
// (grants, row-level security): nothing here decides it.
#ifndef BRENNA_SHIP_COMPANYSESSION_H
#define BRENNA_SHIP_COMPANYSESSION_H

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveReader.h"
#include "ship/Conninfo.h"
#include "ship/PgConnection.h"
#include "ship/ShipRows.h"

namespace ship {

class CompanySession {
 public:
  explicit CompanySession(std::string version) : version_(std::move(version)) {}
  CompanySession(const CompanySession&) = delete;
  CompanySession& operator=(const CompanySession&) = delete;

  // Connects as `info` says and learns the role's line. False with why:
  // the connection (TLS, the server's certificate, the password), a role
  // that is no line's, a company schema missing or older than this build.
  bool Connect(const Conninfo& info, std::string* error);
  void Close();
  bool Connected() const { return db_.Good(); }

  // Ships the archive `identity` from here on: its row (made the first
  // time), how far it is shipped, and its lock, so that a second
  // brenna-ship of the same archive waits instead of shipping beside it.
  bool UseArchive(const std::string& identity, std::string* error);

  // When each result of the archive from id `fromId` to `throughId` was
  // shown, by id (ms since 1970, UTC).
  bool ShownTimes(std::int64_t fromId, std::int64_t throughId,
                  std::vector<std::pair<std::int64_t, std::int64_t>>* out, std::string* error);
  // Counts the archive as shipped through `id` (its results up to there
  // are in the company database under another identity).
  bool SkipThrough(std::int64_t id, std::string* error);

  // Every result of the archive up to this id is in the company database.
  std::int64_t Through() const { return through_; }
  // The newest run of the archive the company has (0: none).
  std::int64_t LastRunId() const { return lastRunId_; }
  // "north/lane2".
  const std::string& Line() const { return line_; }

  // One batch with `runs` (their rows anew: heartbeat, stop) in one
  // transaction; Through() is its last id afterwards.
  bool Ship(const ShipBatch& batch, const std::vector<archive::RunRow>& runs, std::string* error);
  // The runs alone, and that brenna-ship is alive and up to date.
  bool Beat(const std::vector<archive::RunRow>& runs, std::string* error);

 private:
  using Statement = std::pair<std::string, std::vector<PgParam>>;

  bool AddMonths(const std::set<std::string>& months, std::string* error);
  // The upsert of `runs`' rows (a run's heartbeat and stop change).
  Statement RunsStatement(const std::vector<archive::RunRow>& runs) const;
  // Runs the statements in one transaction; false with the first failure.
  bool Transact(const std::vector<Statement>& statements, std::string* error);

  std::string version_;
  PgConnection db_;
  std::string line_;
  std::string lineId_;
  std::string archiveNo_;
  std::int64_t through_ = 0;
  std::int64_t lastRunId_ = 0;
  std::set<std::string> months_;  // partitions known to be there
};

}  // namespace ship

#endif  // BRENNA_SHIP_COMPANYSESSION_H
