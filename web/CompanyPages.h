// CompanyPages - the company's pages (brenna-web --company,
// docs/company.md): the overview, one row per line of every site (whether
// its monitor runs, as its brenna-ship last told the company, its newest
// result with its verdict, today's results and vetoes, when it last
// shipped), which then follows the overview's updates (/events, whose JSON
// is made here from the same texts); and the results of any line and day,
// the list a line's own brenna-web shows (web/Pages' filters, rows and
// verdicts) with the line to choose. Everything from the database is
// escaped where it lands (web/WebText).
#ifndef BRENNA_WEB_COMPANYPAGES_H
#define BRENNA_WEB_COMPANYPAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "web/CompanyFeed.h"
#include "web/CompanySource.h"
#include "web/Pages.h"

namespace web {

// The overview's update: {"db": {ok, head, detail}, "keys": "SITE/LINE,...",
// "lines": [{row, state, sc, detail, latest, v, vc, today, vetoes,
// shipped}...]} in the page's order.
std::string CompanyOverviewJson(const CompanyState& state, std::int64_t nowUtcMs);

// "/" of the company, as the feed has it now.
Page CompanyOverviewPage(const CompanyState& state, std::int64_t nowUtcMs);

// The line a query names (line=SITE/LINE) among `lines`; null when none
// does.
const CompanyLine* QueryLine(const std::vector<CompanyLine>& lines, const Query& query);

// False with a message when the query asks for a vehicle (vehicle=): the
// company's results are looked for by their transfer names instead, since
// each line may tell its vehicles by a rule of its own.
bool NoVehicle(const Query& query, std::string* error);

// /results: the results of one line (line=SITE/LINE) and day, newest
// first, 500 to a page (before=KEY leads on), with the filters of a line's
// own list.
Page CompanyResultsPage(CompanySource& source, const std::vector<CompanyLine>& lines,
                        const Query& query, std::int64_t nowUtcMs);

}  // namespace web

#endif  // BRENNA_WEB_COMPANYPAGES_H
