// DisputeView - the panel explained, for settling what a screen showed:
// for every value display which result wrote what it showed and when, and
// whether it was left from an earlier vehicle. The window never clears a
// display: a two-axle car's brake result leaves the third axle's values of
// the truck before it standing. A display counts as left from an earlier
// vehicle when the result that wrote it is older than the newest result
// that wrote its group's displays (its operator display is written with
// every result of the group). And the links that step to the result before
// and after.
#ifndef BRENNA_WEB_DISPUTEVIEW_H
#define BRENNA_WEB_DISPUTEVIEW_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "web/PanelView.h"

namespace web {

struct CellSource {
  int displayId = 0;
  bool written = false;       // false: nothing in that run wrote it
  std::int64_t resultId = 0;  // 0: the monitor's own write (the idle look)
  std::int64_t utcMs = 0;
  bool earlier = false;  // left from an earlier vehicle
};

// Where each display of an archived panel got what it shows; only the
// displays of `groups` (captions) when it is not empty.
std::vector<CellSource> SourcesOf(const archive::Panel& panel,
                                  const std::set<std::string>& groups = {});

// The panel's marks: "earlier" on what an earlier vehicle left, and on each
// written display which result wrote it and when.
std::map<int, CellMark> MarksOf(const std::vector<CellSource>& sources);

// The displays' sources as a table, group by group in the window's order
// and row by row within a group: where the display sits, what it showed,
// the result that wrote it (a link) and when, and whether that was an
// earlier vehicle. False with *error when the archive cannot be read.
bool SourceTable(archive::ArchiveReader& reader, const std::vector<CellSource>& sources,
                 const std::map<int, DisplayValue>& values, std::string* html, std::string* error);

// A note above a panel with marks: what the dashed frame means.
std::string EarlierNote();

// "◀ 上一条结果" and "下一条结果 ▶": to the result pages, or to the panel at
// the moment each was shown (`panels`). Null: there is none that way.
std::string StepLinks(const archive::ResultRow* before, const archive::ResultRow* after,
                      bool panels);

}  // namespace web

#endif  // BRENNA_WEB_DISPUTEVIEW_H
