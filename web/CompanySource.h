// CompanySource - where brenna-web --company reads the company's results
// (docs/company.md, "The company's pages"): the company database behind a
// small interface, so that the company's pages are made by the same code
// as a line's, from the same structures. A result comes back as a line's
// archive reader hands it (archive::ResultRow with the values the window
// showed as its items, station texts GBK), with its place in the company;
// a query is a line's list filter (web/Pages' ParseResultsQuery) over one
// line and a range of days. The one source is the company's PostgreSQL
// (web/CompanyDatabase).
#ifndef BRENNA_WEB_COMPANYSOURCE_H
#define BRENNA_WEB_COMPANYSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/ResultBatches.h"

namespace web {

// A result's place in its line: the line's archive (brenna.archive's
// number, rising with each archive the line begins) and its id there.
struct CompanyKey {
  std::int64_t archive = 0;
  std::int64_t id = 0;

  bool Empty() const { return archive == 0 && id == 0; }
  // "3-1234", as a page's link carries it; false for anything else.
  std::string Text() const;
  static bool Parse(const std::string& text, CompanyKey* key);
};

struct CompanyResult {
  CompanyKey key;
  reports::ResultWithItems result;  // items: the values the window showed, in record order
  int verdict = 0;                  // its most severe verdict shown, as a judge code; 0: none
  int vetoes = 0;                   // how many of its values were shown as vetoes
  int advisories = 0;               // and as advisories
};

// One enrolled line as the company's overview tells it.
struct CompanyLine {
  int lineId = 0;
  std::string site, line;  // as enrolled
  // brenna-ship's word of itself (heard in the last 90 s: running).
  std::int64_t shipperSeenUtcMs = 0;  // 0: never heard of
  bool shipperRunning = false;
  std::int64_t lastShippedUtcMs = 0;
  // The line's monitor, as brenna-ship last told it.
  bool monitorKnown = false;  // a run of it reached the company
  bool monitorRunning = false;
  bool monitorStopped = false;
  std::int64_t monitorStartedUtcMs = 0;
  std::int64_t monitorHeardUtcMs = 0;  // its heartbeat, or its stop
  // Its newest result shipped (items not read).
  bool haveLatest = false;
  CompanyResult latest;
  // Today at the line (its local day now, by the offset of its newest
  // result): results, and those with a value shown as a veto.
  std::string today;
  std::int64_t todayResults = 0;
  std::int64_t todayVetoed = 0;

  std::string Name() const { return site + "/" + line; }
};

// Which results: those of one line, its local days `filter.day` to
// `filter.lastDay` (the same day when empty), that `filter` selects (its
// times, group, operator, transfer name or part of it, and verdict; its ids
// and vehicle aside), beyond `from` in the order asked
// (`filter.newestFirst`), at most `filter.limit` (0: all).
struct CompanyQuery {
  int lineId = 0;
  archive::ResultFilter filter;
  CompanyKey from;  // empty: from the first
  bool values = true;
};

// How many results a query selects (its limit and start aside), and of
// those how many had a value shown as a veto, as an advisory.
struct CompanyCounts {
  std::int64_t results = 0;
  std::int64_t vetoed = 0;
  std::int64_t advisory = 0;
};

class CompanySource {
 public:
  virtual ~CompanySource() = default;

  // Every enrolled line, by site and line. False with what went wrong in
  // *error (in words for a page).
  virtual bool Lines(std::vector<CompanyLine>* lines, std::string* error) = 0;
  // The results a query selects, in its order.
  virtual bool Results(const CompanyQuery& query, std::vector<CompanyResult>* results,
                       std::string* error) = 0;
  virtual bool Count(const CompanyQuery& query, CompanyCounts* counts, std::string* error) = 0;
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYSOURCE_H
