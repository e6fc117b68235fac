#include "web/LineSummary.h"

#include "archive/ArchiveTime.h"
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/Verdicts.h"
#include "web/LiveStateFormat.h"
#include "web/WebText.h"

namespace web {

namespace {

std::string Key(const char* name) { return std::string("\"") + name + "\":"; }

}  // namespace

GroupSummary SummariseResult(const archive::ResultDetail& result,
                             const reports::VehicleRule& vehicles) {
  GroupSummary g;
  g.vehicle = vehicles.KeyOf(result.row.transfer);
  g.group = result.row.deviceGroup;
  g.resultId = result.row.id;
  g.shownUtcMs = result.row.shownUtcMs;
  g.operatorText = result.row.operatorText;
  std::size_t worst = std::size(kVerdictSeverity);
  for (const archive::DisplayWrite& w : result.writes) {
    if (IsOperatorDisplay(w.displayId)) continue;
    for (std::size_t k = 0; k < std::size(kVerdictSeverity); ++k) {
      if (LookOf(kVerdictSeverity[k]).color != w.textColor) continue;
      worst = std::min(worst, k);
      if (kVerdictSeverity[k] == Verdict::kVeto) ++g.vetoes;
    }
  }
  g.judge = worst < std::size(kVerdictSeverity) ? LookOf(kVerdictSeverity[worst]).judgeCode : 0;
  return g;
}

std::vector<GroupSummary> NoGroupResults() {
  std::vector<GroupSummary> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.push_back(GroupSummary{c.text, 0, 0, {}, 0, 0, {}});
  return groups;
}

std::string LastResultText(std::int64_t lastResultUtcMs, std::int64_t nowUtcMs) {
  if (lastResultUtcMs <= 0) return "尚无结果";
  const archive::LocalTime last = archive::ToLocal(lastResultUtcMs);
  const std::string today = archive::ToLocal(nowUtcMs).day;
  // "YYYY-MM-DD hh:mm:ss.mmm"
  const std::string clock = last.text.substr(11, 5);
  if (last.day == today) return "最后结果 " + clock;
  if (last.day.substr(0, 4) == today.substr(0, 4))
    return "最后结果 " + last.day.substr(5) + " " + clock;
  return "最后结果 " + last.day + " " + clock;
}

bool ShowsIdleLook(const DisplayValue& v) {
  return v.text == IdleStateText() && v.textColor == kIdleTextColor &&
         v.background == kIdleBackground;
}

std::string LineMembers(const LineSummary& line, const std::map<int, DisplayValue>& values) {
  std::string json = "," + Key(live::kIdle);
  json += line.idle ? "{" + Key(live::kHead) + Json(line.idleHead) + "," + Key(live::kDetail) +
                          Json(line.idleDetail) + "}"
                    : std::string("null");
  json += "," + Key(live::kKeep) + "[";
  bool first = true;
  for (const auto& [id, v] : values) {
    if (!ShowsIdleLook(v)) continue;
    json += (first ? "" : ",") + std::to_string(id);
    first = false;
  }
  json += "]," + Key(live::kLine) + "{" + Key(live::kName) + Json(line.name) + "," +
          Key(live::kLast) + std::to_string(line.lastResultUtcMs) + "," + Key(live::kToday) + "{" +
          Key(live::kTodayResults) + std::to_string(line.todayResults) + "," +
          Key(live::kTodayVetoed) + std::to_string(line.todayVetoed) + "}," + Key(live::kGroups) +
          "[";
  first = true;
  for (const GroupSummary& g : line.groups) {
    json += std::string(first ? "" : ",") + "{" + Key(live::kGroup) + Json(CleanUtf8(g.group)) +
            "," + Key(live::kResult) + std::to_string(g.resultId) + "," + Key(live::kShown) +
            std::to_string(g.shownUtcMs) + "," + Key(live::kOperator) +
            Json(StationText(g.operatorText)) + "," + Key(live::kJudge) + std::to_string(g.judge) +
            "," + Key(live::kVetoes) + std::to_string(g.vetoes) + "," + Key(live::kVehicle) +
            Json(StationText(g.vehicle)) + "}";
    first = false;
  }
  return json + "]}";
}

}  // namespace web
