// CompanyDatabase - the company's PostgreSQL as brenna-web --company reads
// it (web/CompanySource), with a viewer's role (brenna-ship --enrol-viewer,
// docs/company.md). Connected as brenna-ship connects (ship/Conninfo,
// ship/PgConnection: TLS that verifies the server), with at most
// `connections` connections at once (a viewer's role may hold 4), each
// kept for the next request. Every wait is bounded: a connection is given
// up after 5 s, a statement after `statementTimeout` (the server's
// statement_timeout), a network that stops answering within about 10 s
// (keepalives, tcp_user_timeout), and a request that finds every
// connection busy waits at most `wait`. Sessions are read-only
// (default_transaction_read_only) besides what the role may do. A
// connection that failed is dropped and the next request connects anew,
// so the pages come back with the database.
#ifndef BRENNA_WEB_COMPANYDATABASE_H
#define BRENNA_WEB_COMPANYDATABASE_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "ship/Conninfo.h"
#include "ship/PgConnection.h"
#include "web/CompanySource.h"

namespace web {

// How brenna-web waits on the company database's network (ship/Conninfo).
ship::ConninfoUse CompanyConninfoUse();

class CompanyDatabase : public CompanySource {
 public:
  struct Options {
    ship::Conninfo conninfo;
    int connections = 3;
    std::chrono::milliseconds wait{5000};
    std::chrono::milliseconds statementTimeout{15000};
  };

  explicit CompanyDatabase(Options options);
  ~CompanyDatabase() override;
  CompanyDatabase(const CompanyDatabase&) = delete;
  CompanyDatabase& operator=(const CompanyDatabase&) = delete;

  bool Lines(std::vector<CompanyLine>* lines, std::string* error) override;
  bool Results(const CompanyQuery& query, std::vector<CompanyResult>* results,
               std::string* error) override;
  bool Count(const CompanyQuery& query, CompanyCounts* counts, std::string* error) override;

  // "db.example.com:5432/company", as the connection string names it.
  std::string Where() const;

 private:
  using Work = std::function<bool(ship::PgConnection& db, std::string* error)>;
  // Runs `work` on a connection of the pool; once more on a new connection
  // when a kept one turns out broken (the database restarted meanwhile).
  bool WithConnection(const Work& work, std::string* error);
  bool Take(std::unique_ptr<ship::PgConnection>* db, bool* reused, std::string* error)
      PALLIX_EXCLUDES(lock_);
  void Give(std::unique_ptr<ship::PgConnection> db) PALLIX_EXCLUDES(lock_);
  bool Connect(ship::PgConnection& db, std::string* error) const;

  const Options options_;
  Mutex lock_;
  CondVar freed_;  // a connection given back or dropped
  std::vector<std::unique_ptr<ship::PgConnection>> idle_ PALLIX_GUARDED_BY(lock_);
  int open_ PALLIX_GUARDED_BY(lock_) = 0;  // connections made and not dropped, idle or in use
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYDATABASE_H
