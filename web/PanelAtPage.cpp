// The panel at a moment (/panel?at=), for web/Pages.h: the panel as it
// stood, where each display got what it showed, and of a minute every
// moment the screen changed in it.
#include <iterator>
#include <map>
#include <vector>

#include "archive/ArchiveTime.h"
#include "panel/IdleLook.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "web/DisputeView.h"
#include "web/PageParts.h"
#include "web/Pages.h"
#include "web/PanelView.h"
#include "web/WebText.h"

namespace web {

namespace {

constexpr std::int64_t kMinuteMs = 60000;

// The moment `at` names: a local time, or a time of day (hh:mm[:ss]) of
// the query's `day` or of today; *minute when it names a whole minute.
bool ParseMoment(const Query& query, std::int64_t nowUtcMs, std::int64_t* utcMs, bool* minute) {
  std::string at = Param(query, "at");
  if (at.size() > kMaxField) return false;
  std::string normal;
  std::int64_t unit = 0;
  if (ParseClock(at, &normal, &unit)) {
    const std::string day = Param(query, "day");
    if (!day.empty() && !archive::IsDay(day)) return false;
    at = (day.empty() ? archive::ToLocal(nowUtcMs).day : day) + " " + at;
  }
  *minute = at.size() == 16;
  return archive::ParseLocalTime(at, utcMs);
}

struct Change {
  std::int64_t utcMs;
  std::string what;  // HTML
};

std::string Stamp(std::int64_t utcMs) { return archive::ToLocal(utcMs).text.substr(11, 12); }

// Every moment in the minute from `start` the screen changed: a result
// shown, the monitor's own writes (its idle state at a start), a stop.
bool ChangesInMinute(archive::ArchiveReader& reader, std::int64_t start, std::vector<Change>* out,
                     std::string* error) {
  std::multimap<std::int64_t, std::string> changes;
  archive::ResultFilter f;
  f.fromUtcMs = start;
  f.toUtcMs = start + kMinuteMs;
  const bool results = reader.ListResults(
      f,
      [&](const archive::ResultRow& r) {
        changes.emplace(r.shownUtcMs, "结果 " + std::to_string(r.id) + " · " +
                                          Html(GroupText(r.deviceGroup)) + " · 工号 " +
                                          Html(StationText(r.operatorText)) + " · " +
                                          Html(StationText(r.transfer)));
        return true;
      },
      error);
  if (!results) return false;
  const std::vector<int> own(std::begin(kOperatorDisplays), std::end(kOperatorDisplays));
  std::vector<archive::RunRow> runs;
  if (!reader.Runs(
          start, start + kMinuteMs,
          [&](const archive::RunRow& r) {
            runs.push_back(r);
            return true;
          },
          error))
    return false;
  for (const archive::RunRow& run : runs)
    if (run.stopped && run.heartbeatUtcMs >= start && run.heartbeatUtcMs < start + kMinuteMs)
      changes.emplace(run.heartbeatUtcMs, "监控程序退出");
  std::vector<std::int64_t> times;
  if (!reader.OwnWriteTimes(start, start + kMinuteMs, own, &times, error)) return false;
  for (std::int64_t t : times) changes.emplace(t, "监控程序显示设备空闲（启动）");
  for (const auto& [t, what] : changes) out->push_back({t, what});
  return true;
}

std::string ChangeList(const std::vector<Change>& changes, std::int64_t start) {
  const std::string minute = archive::ToLocal(start).text.substr(0, 16);
  std::string html = "<section class=\"minute\" id=\"minute\"><h2>" + Html(minute) +
                     " 这一分钟内屏幕变化 " + std::to_string(changes.size()) + " 次</h2>\n";
  if (changes.empty()) return html + "<p>这一分钟内屏幕没有变化。</p></section>\n";
  html += "<ol>\n";
  for (const Change& c : changes)
    html += "<li><a href=\"/panel?at=" + UrlEncode(archive::ToLocal(c.utcMs).text) + "\">" +
            Stamp(c.utcMs) + "</a> " + c.what + "</li>\n";
  return html + "</ol></section>\n";
}

}  // namespace

Page PanelAtPage(archive::ArchiveReader& reader, const Query& query, std::int64_t nowUtcMs) {
  std::int64_t utcMs = 0;
  bool minute = false;
  if (!ParseMoment(query, nowUtcMs, &utcMs, &minute))
    return ProblemPage(400, "时刻有误",
                       "“" + CleanUtf8(Param(query, "at").substr(0, kMaxField)) +
                           "”不是 YYYY-MM-DD hh:mm[:ss] 或 hh:mm[:ss] 形式的时刻");
  const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  archive::Panel panel;
  std::string error;
  if (!reader.PanelAt(utcMs, ids, &panel, &error)) return ProblemPage(503, "无法读取存档", error);
  const std::string when = SecondsText(utcMs);
  if (!panel.haveRun)
    return ProblemPage(404, when + " 时的面板", "存档中没有 " + when + " 及以前的记录");
  archive::ResultRow last;
  int count = -1;
  if (reader.LastResultOfRun(panel.run.id, utcMs, &last, &error))
    count = last.titleCount;
  else if (!error.empty())
    return ProblemPage(503, "无法读取存档", error);
  const std::string heard = SecondsText(panel.run.heartbeatUtcMs);
  const StateBox box =
      panel.running
          ? StateBox{"监控程序当时运行中", "启动于 " + SecondsText(panel.run.startedUtcMs), true}
          : StateBox{"监控程序当时未运行",
                     "此前最后联系 " + heard + (panel.run.stopped ? "（已退出）" : ""), false};
  const std::string title = when + " 时的面板";
  // Stepping: to the panel as each result before and after this moment
  // left it.
  archive::ResultRow shownBy, before, after;
  const bool hasShown = reader.ResultShownBy(utcMs, &shownBy, &error);
  const bool hasBefore = hasShown && reader.ResultBefore(shownBy.id, &before, &error);
  const bool hasAfter = error.empty() && reader.ResultShownAfter(utcMs, &after, &error);
  const std::vector<CellSource> sources = SourcesOf(panel);
  const std::map<int, DisplayValue> values = ValuesOf(panel);
  std::string table;
  std::vector<Change> changes;
  if (!error.empty() || !SourceTable(reader, sources, values, &table, &error) ||
      (minute && !ChangesInMinute(reader, utcMs, &changes, &error)))
    return ProblemPage(503, "无法读取存档", error);
  return {200, PageHead(title, "page") + PageBar(Html(title)) + "<main>\n" +
                   (minute ? ChangeList(changes, utcMs) : std::string()) +
                   StepLinks(hasBefore ? &before : nullptr, hasAfter ? &after : nullptr, true) +
                   "<p class=\"moment\">" + Html(WindowTitle(count)) + "</p>\n" + EarlierNote() +
                   "<div class=\"panel fixed" + std::string(panel.running ? "" : " down") +
                   "\" id=\"panel\">\n" + PanelMarkup(values, box, MarksOf(sources)) +
                   "</div>\n<h2>每个显示框的来源</h2>\n" + table + "</main>\n" + PageTail()};
}

}  // namespace web
