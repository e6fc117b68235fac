// PageParts - what the pages of the line (web/Pages, ResultsPage,
// PanelAtPage, ReportPage, VehiclePage) and of the company
// (web/CompanyPages, CompanyReport) make alike: a query's fields, times as
// the pages tell them, the groups, the form's inputs, the line's name, a
// result's verdicts.
#ifndef BRENNA_WEB_PAGEPARTS_H
#define BRENNA_WEB_PAGEPARTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reports/ShownValues.h"
#include "web/Pages.h"

namespace web {

// The longest value a query's field may hold.
inline constexpr std::size_t kMaxField = 256;

// A field of the query; empty when it is not there.
std::string Param(const Query& q, const char* name);

// The line's name the pages show (SetPageLineName); empty: none.
const std::string& PageLineName();

// "YYYY-MM-DD hh:mm:ss.mmm" -> "hh:mm:ss"
std::string ShownClock(const std::string& shownLocal);
// "YYYY-MM-DD hh:mm:ss" of a moment.
std::string SecondsText(std::int64_t utcMs);

// A group's caption, "（无设备组）" for results of none.
std::string GroupText(const std::string& caption);
// The window's seven groups, in its order.
std::vector<std::string> GroupCaptions();

// hh:mm or hh:mm:ss; *unitMs the span the text names (a minute, a second).
bool ParseClock(const std::string& t, std::string* normal, std::int64_t* unitMs);

// "?k=v&..." of the fields `keep` the query has, and `extra`.
std::string QueryString(const Query& q, const std::vector<std::string>& keep,
                        const std::string& extra);

// A station's text (GBK) in the colours it was drawn in (the page's
// script colours it).
std::string ColouredText(const std::string& gbk, std::uint32_t fg, std::uint32_t bg);

// A form's labelled input.
std::string Input(const char* label, const char* type, const char* name, const std::string& value,
                  const char* extra = "");

// The form's choice of a device group (group=) and of a verdict
// (verdict=: veto, advisory), as the query has them.
std::string GroupSelect(const Query& query);
std::string VerdictSelect(const Query& query);

// A result's vetoes and advisories, each under a mark in its verdict's
// colour (the legend's), the values named.
std::string VerdictCell(const reports::VerdictSummary& v);

}  // namespace web

#endif  // BRENNA_WEB_PAGEPARTS_H
