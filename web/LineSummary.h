// LineSummary - what a line says of itself beside its panel: its name,
// whether it is idle and when it showed its last result, and per device
// group the newest result's operator, time and verdict. The line's own
// pages put the idle notice over the panel from it; a site's overview
// (brenna-web --site) reads it from the line's live updates.
//
// The line is idle while its monitor runs and either has shown no result
// since it started (the operator displays show the idle look), or has
// shown none for the settings' IdleMinutes.
#ifndef BRENNA_WEB_LINESUMMARY_H
#define BRENNA_WEB_LINESUMMARY_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/VehicleKey.h"
#include "web/PanelView.h"

namespace web {

struct GroupSummary {
  std::string group;          // the caption, UTF-8
  std::int64_t resultId = 0;  // the group's newest result; 0: none
  std::int64_t shownUtcMs = 0;
  std::string operatorText;  // GBK, as shown
  int judge = 0;   // the most severe verdict its values were shown in, as a judge code; 0: none
  int vetoes = 0;  // values shown as vetoes
  std::string vehicle;  // GBK: its vehicle (reports/VehicleKey); empty: none

  bool operator==(const GroupSummary& o) const {
    return group == o.group && resultId == o.resultId && shownUtcMs == o.shownUtcMs &&
           operatorText == o.operatorText && judge == o.judge && vetoes == o.vetoes &&
           vehicle == o.vehicle;
  }
};

// The group's summary from its newest result: its values' colours as the
// window drew them (the operator aside), veto before advisory before
// passed before not judged; its vehicle as `vehicles` tells it.
GroupSummary SummariseResult(const archive::ResultDetail& result,
                             const reports::VehicleRule& vehicles = reports::VehicleRule());

struct LineSummary {
  std::string name;                  // UTF-8; empty: not named
  std::int64_t lastResultUtcMs = 0;  // the archive's last result; 0: none
  std::vector<GroupSummary> groups;  // the window's seven groups, in its order
  bool idle = false;
  std::string idleHead;           // "最后结果 10:42", "尚无结果"
  std::string idleDetail;         // why it counts as idle
  std::int64_t todayResults = 0;  // results shown today (the local day)
  std::int64_t todayVetoed = 0;   // of those, with a value shown as a veto

  bool operator==(const LineSummary& o) const {
    return name == o.name && lastResultUtcMs == o.lastResultUtcMs && groups == o.groups &&
           idle == o.idle && idleHead == o.idleHead && idleDetail == o.idleDetail &&
           todayResults == o.todayResults && todayVetoed == o.todayVetoed;
  }
  bool operator!=(const LineSummary& o) const { return !(*this == o); }
};

// The seven groups, none shown yet.
std::vector<GroupSummary> NoGroupResults();

// When the line last showed a result, for the idle notice: "最后结果 10:42"
// on the day of `nowUtcMs`, with the date ("最后结果 12-06 17:31") or the
// year before it otherwise; "尚无结果" when it never did.
std::string LastResultText(std::int64_t lastResultUtcMs, std::int64_t nowUtcMs);

// Whether the display shows the idle look, "设备空闲" in red on white: it
// keeps its colour while the rest of an idle panel is dimmed.
bool ShowsIdleLook(const DisplayValue& v);

// The live update's members beside the panel's (PanelJson's `more`): the
// idle notice, the displays that keep their look, and the line itself.
std::string LineMembers(const LineSummary& line, const std::map<int, DisplayValue>& values);

}  // namespace web

#endif  // BRENNA_WEB_LINESUMMARY_H
