#include "web/DisputeView.h"

#include <algorithm>

#include "archive/ArchiveTime.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "web/WebText.h"

namespace web {

namespace {

std::string When(std::int64_t utcMs) { return archive::ToLocal(utcMs).text.substr(0, 19); }

std::string Group(int displayId) { return std::string(GroupCaptionOf(displayId)); }

// The groups in the window's order; within each, its displays row by row
// (a row is the band a display's middle falls in), left to right.
std::vector<std::pair<std::string, std::vector<int>>> DisplaysByGroup() {
  std::vector<std::pair<std::string, std::vector<int>>> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.push_back({c.text, {}});
  for (int id : kValueDisplayIds)
    for (auto& [caption, ids] : groups)
      if (caption == Group(id)) ids.push_back(id);
  auto place = [](int id) {
    const DluRect& r = FindControl(MainDialogTemplate(), id)->rect;
    return std::make_pair((r.y + r.cy / 2) / 10, r.x);
  };
  for (auto& group : groups)
    std::stable_sort(group.second.begin(), group.second.end(),
                     [&](int a, int b) { return place(a) < place(b); });
  return groups;
}

std::string ResultLink(std::int64_t id) {
  return "<a href=\"/results/" + std::to_string(id) + "\">结果 " + std::to_string(id) + "</a>";
}

std::string ColouredText(const DisplayValue& v) {
  return "<span class=\"val\" data-fg=\"" + CssColour(v.textColor) + "\" data-bg=\"" +
         CssColour(v.background) + "\">" + Html(StationText(v.text)) + "</span>";
}

}  // namespace

std::vector<CellSource> SourcesOf(const archive::Panel& panel,
                                  const std::set<std::string>& groups) {
  std::vector<CellSource> sources;
  std::map<std::string, std::int64_t> newest;
  for (const archive::PanelDisplay& d : panel.displays) {
    const std::string group = Group(d.displayId);
    if (!groups.empty() && groups.count(group) == 0) continue;
    sources.push_back({d.displayId, d.written, d.resultId, d.utcMs, false});
    if (d.written) newest[group] = std::max(newest[group], d.resultId);
  }
  for (CellSource& s : sources)
    s.earlier = s.written && s.resultId > 0 && s.resultId < newest[Group(s.displayId)];
  return sources;
}

std::map<int, CellMark> MarksOf(const std::vector<CellSource>& sources) {
  std::map<int, CellMark> marks;
  for (const CellSource& s : sources) {
    if (!s.written) continue;
    CellMark& m = marks[s.displayId];
    const std::string what = CellName(s.displayId) + "：";
    if (s.resultId == 0) {
      m.note = what + "监控程序于 " + When(s.utcMs) + " 写入（设备空闲）";
    } else {
      m.note = what + "结果 " + std::to_string(s.resultId) + " 于 " + When(s.utcMs) + " 写入";
      if (s.earlier) {
        m.cls = "earlier";
        m.note += "，前车遗留";
      }
    }
  }
  return marks;
}

bool SourceTable(archive::ArchiveReader& reader, const std::vector<CellSource>& sources,
                 const std::map<int, DisplayValue>& values, std::string* html, std::string* error) {
  std::map<int, const CellSource*> byId;
  for (const CellSource& s : sources) byId[s.displayId] = &s;
  // The results named, each read once.
  std::map<std::int64_t, archive::ResultRow> rows;
  for (const CellSource& s : sources) {
    if (s.resultId <= 0 || rows.count(s.resultId)) continue;
    archive::ResultRow row;
    if (reader.ResultById(s.resultId, &row, error))
      rows[s.resultId] = row;
    else if (!error->empty())
      return false;
  }
  *html =
      "<table class=\"sources\"><thead><tr><th>位置</th><th>显示的文字</th><th>写入者</th>"
      "<th>写入时间</th><th>来源</th></tr></thead>\n<tbody>\n";
  for (const auto& [caption, ids] : DisplaysByGroup()) {
    std::int64_t newest = 0;
    bool any = false;
    for (int id : ids) {
      const auto it = byId.find(id);
      if (it == byId.end()) continue;
      any = true;
      if (it->second->written) newest = std::max(newest, it->second->resultId);
    }
    if (!any) continue;
    std::string head = Html(caption);
    const auto latest = rows.find(newest);
    if (latest != rows.end()) {
      const archive::ResultRow& r = latest->second;
      head += " · 最新结果 " + ResultLink(r.id) + "（" + Html(When(r.shownUtcMs)) + "，工号 " +
              Html(StationText(r.operatorText)) + "，传输名 " + Html(StationText(r.transfer)) +
              "）";
    }
    *html += "<tr class=\"group\"><th colspan=\"5\">" + head + "</th></tr>\n";
    for (int id : ids) {
      const auto it = byId.find(id);
      if (it == byId.end()) continue;
      const CellSource& s = *it->second;
      const auto value = values.find(id);
      std::string cells = "<td>" + Html(CellName(id)) + "</td>";
      if (!s.written || value == values.end()) {
        *html += "<tr class=\"unwritten\">" + cells +
                 "<td class=\"none\">（未写入）</td><td></td><td></td><td></td></tr>\n";
        continue;
      }
      cells += "<td>" + ColouredText(value->second) + "</td>";
      if (s.resultId == 0)
        cells += "<td>监控程序</td><td>" + Html(When(s.utcMs)) + "</td><td>设备空闲</td>";
      else
        cells += "<td>" + ResultLink(s.resultId) + "</td><td>" + Html(When(s.utcMs)) + "</td><td>" +
                 (s.earlier ? "<b class=\"earlier\">前车遗留</b>" : std::string("最新结果")) +
                 "</td>";
      *html += std::string("<tr") + (s.earlier ? " class=\"earlier\"" : "") + " data-display=\"" +
               std::to_string(id) + "\">" + cells + "</tr>\n";
    }
  }
  *html += "</tbody></table>\n";
  return true;
}

std::string EarlierNote() {
  return "<p class=\"earlier-note\"><span class=\"sample\"></span>"
         "虚线框：前车遗留，不是这个设备组最新一条结果写入的数值。"
         "指向一个显示框，可看到是哪条结果在何时写入的。</p>\n";
}

std::string StepLinks(const archive::ResultRow* before, const archive::ResultRow* after,
                      bool panels) {
  auto href = [&](const archive::ResultRow& r) {
    return panels ? "/panel?at=" + UrlEncode(r.shownLocal) : "/results/" + std::to_string(r.id);
  };
  auto link = [&](const archive::ResultRow* r, const std::string& label, const char* rel) {
    if (r == nullptr) return "<span class=\"step none\">" + label + "</span>";
    return "<a class=\"step\" rel=\"" + std::string(rel) + "\" href=\"" + Html(href(*r)) + "\">" +
           label + "<small>结果 " + std::to_string(r->id) + "，" +
           Html(CleanUtf8(r->shownLocal.substr(0, 19))) + "</small></a>";
  };
  return "<nav class=\"steps\">" + link(before, "◀ 上一条结果", "prev") +
         link(after, "下一条结果 ▶", "next") + "</nav>\n";
}

}  // namespace web
