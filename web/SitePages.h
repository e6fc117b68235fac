// SitePages - a site's overview (brenna-web --site, docs/web-view.md): one
// card per line with its name (a link to the line's own panel), whether
// its monitor runs or the line cannot be reached, when it showed its last
// result and whether it is idle, and for each of the seven device groups
// the newest result's operator, time and verdict. The page is made on the
// server and then follows the overview's updates (/events), whose JSON is
// made here from the same texts. Nothing of a line's token is in either.
#ifndef BRENNA_WEB_SITEPAGES_H
#define BRENNA_WEB_SITEPAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "web/LineWatch.h"
#include "web/Pages.h"
#include "web/SiteSettings.h"

namespace web {

struct SiteState;

// A moment as the overviews tell it: "10:41:07" today, "12-06 17:31"
// another day of the year, the date before it otherwise; "—" for none (0).
std::string ClockText(std::int64_t utcMs, std::int64_t nowUtcMs);

// The overview's update: {"lines":[{name, href, card, state, stateClass,
// detail, title, last, idle, groups: [{op, t, v, vc}...]}...]}.
std::string OverviewJson(const std::vector<SiteLine>& lines, const std::vector<LineView>& views,
                         std::int64_t nowUtcMs);

// "/" of the overview, as the feed has it now.
Page OverviewPage(const std::vector<SiteLine>& lines, const SiteState& state,
                  std::int64_t nowUtcMs);

}  // namespace web

#endif  // BRENNA_WEB_SITEPAGES_H
