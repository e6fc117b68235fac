// Pages - the web view's pages in Chinese, made on the server from the
// archive: the live panel's first look, the results of a day with their
// filters, one result, the panel at a moment. Everything
// from the archive is escaped where it lands (web/WebText); the pages load
// only /app.css, /panel.css and /app.js, which colour the values and fit
// their fonts.
#ifndef BRENNA_WEB_PAGES_H
#define BRENNA_WEB_PAGES_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "archive/ArchiveReader.h"
#include "reports/VehicleKey.h"
#include "web/LiveFeed.h"

namespace web {

using Query = std::multimap<std::string, std::string>;  // as the HTTP library parses it

struct Page {
  int status = 200;
  std::string html;
};

// At most this many results on a page of the list (a link leads on).
inline constexpr int kResultsPerPage = 500;

// The line's name (UTF-8) every page shows in its bar and title; set once,
// before pages are made.
void SetPageLineName(const std::string& name);

// What the bar's links to the other pages say: a line's live panel, its
// results and its day's report, or the company's overview, results and
// report (brenna-web --company). Set once, before pages are made.
struct PageLinks {
  const char* home = "实时面板";
  const char* results = "结果查询";
  const char* report = "日报";
};
void SetPageLinks(const PageLinks& links);

// "/": the live panel as the feed has it now; the page then follows /events.
// On a TV (`/?tv`) only the panel: no bar, no links, no state box (the
// line's name and the title where the window has its buttons).
Page LivePage(const FeedState& state, bool tv = false);

// The filters of /results and /results.csv: day (YYYY-MM-DD, today by
// default; a vehicle's results of any day without one), from and to
// (hh:mm[:ss] on that day, "to" taking in the whole minute or second it
// names), group (a caption), operator, transfer (names holding it),
// vehicle (its key: reports/VehicleKey), verdict (veto or advisory: results
// with a value shown so), after and before (a result id: only results
// after it, before it; the list's next page). False with a message naming
// the field.
bool ParseResultsQuery(const Query& query, std::int64_t nowUtcMs, archive::ResultFilter* filter,
                       std::string* error);

// The list, newest first, with each result's vetoes and advisories, its
// vehicle (told by `vehicles`) and the day's total; today's first page
// follows the line (its script adds each new result's row).
Page ResultsPage(archive::ArchiveReader& reader, const Query& query, std::int64_t nowUtcMs,
                 const reports::VehicleRule& vehicles = reports::VehicleRule());
Page ResultPage(archive::ArchiveReader& reader, std::int64_t id);
// The panel at a moment (at=YYYY-MM-DD hh:mm[:ss[.mmm]], or hh:mm[:ss] of
// today or of `day`); of a moment named to the minute, also every moment
// the screen changed within that minute, each a link to the panel then.
Page PanelAtPage(archive::ArchiveReader& reader, const Query& query, std::int64_t nowUtcMs = 0);
// A page that says what went wrong (a bad filter, an unreadable archive).
Page ProblemPage(int status, const std::string& headline, const std::string& detail);

// The frame every page has: its head (stylesheets, script, the body's
// class), its bar with the way to the others, its end.
std::string PageHead(const std::string& title, const std::string& bodyClass);
std::string PageBar(const std::string& titleHtml);
std::string PageTail();

}  // namespace web

#endif  // BRENNA_WEB_PAGES_H
