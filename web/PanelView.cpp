#include "web/PanelView.h"

#include <cstdio>

#include "archive/ArchiveTime.h"
#include "panel/Resource.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/VerdictLegend.h"
#include "web/LiveStateFormat.h"
#include "web/TvLayout.h"
#include "web/WebText.h"

namespace web {

namespace {

// A length as a percentage of the designed size, exactly enough for a
// pixel on any screen.
std::string Percent(int value, int of) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f%%", 100.0 * value / of);
  return text;
}

std::string Place(const CRect& r, const PanelSize& size) {
  return "left:" + Percent(r.left, size.width) + ";top:" + Percent(r.top, size.height) +
         ";width:" + Percent(r.right - r.left, size.width) +
         ";height:" + Percent(r.bottom - r.top, size.height);
}

std::string ElementId(const DlgControl& c, int index) {
  return c.kind == ControlKind::ValueDisplay ? "d" + std::to_string(c.id)
                                             : "k" + std::to_string(index);
}

// The place of all controls of a kind: the two buttons' (the state box's),
// the legend's (an idle line's notice, which covers no value there).
CRect PlaceOfAll(ControlKind kind) {
  const DlgTemplate& tpl = MainDialogTemplate();
  CRect box{};
  bool first = true;
  for (const DlgControl& c : tpl) {
    if (c.kind != kind) continue;
    const CRect r = DluToPixels(c.rect);
    if (first) {
      box = r;
      first = false;
    } else {
      box.left = std::min(box.left, r.left);
      box.top = std::min(box.top, r.top);
      box.right = std::max(box.right, r.right);
      box.bottom = std::max(box.bottom, r.bottom);
    }
  }
  return box;
}

std::string LocalSeconds(std::int64_t utcMs) {
  const std::string t = archive::ToLocal(utcMs).text;  // "YYYY-MM-DD hh:mm:ss.mmm"
  return t.substr(0, 19);
}

std::string ValueDisplayMarkup(int id, const DisplayValue* v, const CellMark* m) {
  const std::uint32_t fg = v ? v->textColor : 0xFFFFFF;
  const std::uint32_t bg = v ? v->background : 0xFFFFFF;
  const std::string text = v ? StationText(v->text) : std::string();
  const std::size_t bytes = v ? v->text.size() : 0;
  const std::string mark = m && !m->cls.empty() ? " " + m->cls : std::string();
  const std::string note =
      m && !m->note.empty() ? " title=\"" + Html(m->note) + "\"" : std::string();
  return "<div class=\"vd" + mark + "\" id=\"d" + std::to_string(id) + "\"" + note + " data-fg=\"" +
         CssColour(fg) + "\" data-bg=\"" + CssColour(bg) + "\" data-n=\"" + std::to_string(bytes) +
         "\"><span>" + Html(text) + "</span></div>\n";
}

}  // namespace

std::string PlaceOnPanel(const CRect& r) { return Place(r, DesignedPanelSize()); }

PanelSize DesignedPanelSize() {
  const DluRect& client = MainDialogTemplate().rect;
  return {DluToPixelsX(client.cx), DluToPixelsY(client.cy)};
}

std::string PanelStylesheet() {
  const PanelSize size = DesignedPanelSize();
  std::string css =
      "/* Made by brenna-web from the window's template: where each control is, as a share of "
      "the window's client area (" +
      std::to_string(size.width) + " x " + std::to_string(size.height) + " px designed). */\n";
  int index = 0;
  for (const DlgControl& c : MainDialogTemplate()) {
    const int at = index++;
    if (c.kind == ControlKind::CommandButton) continue;
    css += "#" + ElementId(c, at) + "{" + Place(DluToPixels(c.rect), size) + "}\n";
  }
  for (const PanelColors& p : kVerdictPanels) {
    const int at = ControlIndex(MainDialogTemplate(), p.controlId);
    css += "#k" + std::to_string(at) + "{background:" + CssColour(p.background) +
           ";color:" + CssColour(p.text) + "}\n";
    // A verdict told elsewhere (a site's overview) in its legend panel's
    // colours.
    css += ".verdict.v" + std::to_string(LookOf(p.verdict).judgeCode) +
           "{background:" + CssColour(p.background) + ";color:" + CssColour(p.text) + "}\n";
  }
  // The state box, and on a TV the line's name, where the window has its
  // buttons.
  css += "#state,#linebox{" + Place(PlaceOfAll(ControlKind::CommandButton), size) + "}\n";
  css += "#idle{" + Place(PlaceOfAll(ControlKind::VerdictPanel), size) + "}\n";
  // The panel keeps the window's proportions where it must fit a page.
  css += ".panel.fixed{aspect-ratio:" + std::to_string(size.width) + "/" +
         std::to_string(size.height) + "}\n";
  return css + TvStylesheet();
}

std::string StateHeadline(const MonitorState& s) {
  switch (s.kind) {
    case MonitorState::Kind::kRunning:
      return "监控程序运行中";
    case MonitorState::Kind::kUnreadable:
      return "无法读取存档";
    default:
      return "监控程序未运行";
  }
}

std::string StateDetail(const MonitorState& s) {
  switch (s.kind) {
    case MonitorState::Kind::kRunning:
      return "启动于 " + LocalSeconds(s.startedUtcMs);
    case MonitorState::Kind::kStopped:
      return "最后联系 " + LocalSeconds(s.lastHeardUtcMs) + "（已退出）";
    case MonitorState::Kind::kSilent:
      return "最后联系 " + LocalSeconds(s.lastHeardUtcMs) + "，此后再无心跳";
    case MonitorState::Kind::kNoArchive:
      return "尚无存档：监控程序还没有在本机运行过";
    case MonitorState::Kind::kUnreadable:
      return "存档无法读取（" + CleanUtf8(s.why) + "）";
  }
  return std::string();
}

StateBox BoxOf(const MonitorState& state) {
  return {StateHeadline(state), StateDetail(state), state.Running()};
}

std::string PanelMarkup(const std::map<int, DisplayValue>& values, const StateBox& box,
                        const std::map<int, CellMark>& marks) {
  std::string html;
  int index = 0;
  for (const DlgControl& c : MainDialogTemplate()) {
    const int at = index++;
    const std::string id = ElementId(c, at);
    switch (c.kind) {
      case ControlKind::GroupBox:
        html += "<div class=\"gb\" id=\"" + id +
                "\"><div class=\"frame\"></div><span class=\"cap\">" + Html(c.text) +
                "</span></div>\n";
        break;
      case ControlKind::Label: {
        const bool centred = (c.style & dlgstyle::kStaticTypeMask) == dlgstyle::kCenter;
        html += "<div class=\"lb" + std::string(centred ? " centre" : "") + "\" id=\"" + id +
                "\"><span>" + Html(c.text) + "</span></div>\n";
        break;
      }
      case ControlKind::VerdictPanel:
        html += "<div class=\"vp\" id=\"" + id + "\"><span>" + Html(c.text) + "</span></div>\n";
        break;
      case ControlKind::ValueDisplay: {
        const auto it = values.find(c.id);
        const auto mark = marks.find(c.id);
        html += ValueDisplayMarkup(c.id, it == values.end() ? nullptr : &it->second,
                                   mark == marks.end() ? nullptr : &mark->second);
        break;
      }
      default:
        break;  // the buttons: the page does not act
    }
  }
  html += "<div id=\"state\" class=\"" + std::string(box.up ? "up" : "down") +
          "\"><b id=\"state-head\">" + Html(box.head) + "</b><span id=\"state-detail\">" +
          Html(box.detail) + "</span></div>\n";
  return html;
}

std::string PanelJson(const std::string& title, const MonitorState& state,
                      const std::map<int, DisplayValue>& values, const std::string& more) {
  auto key = [](const char* name) { return std::string("\"") + name + "\":"; };
  std::string json = "{" + key(live::kTitle) + Json(title) + "," + key(live::kRunning) +
                     (state.Running() ? "true" : "false") + "," + key(live::kHead) +
                     Json(StateHeadline(state)) + "," + key(live::kDetail) +
                     Json(StateDetail(state)) + "," + key(live::kDisplays) + "[";
  bool first = true;
  for (int id : kValueDisplayIds) {
    const auto it = values.find(id);
    const DisplayValue blank{id, "", 0xFFFFFF, 0xFFFFFF};
    const DisplayValue& v = it == values.end() ? blank : it->second;
    json += (first ? "[" : ",[") + std::to_string(id) + "," + Json(StationText(v.text)) + "," +
            Json(CssColour(v.textColor)) + "," + Json(CssColour(v.background)) + "," +
            std::to_string(v.text.size()) + "]";
    first = false;
  }
  return json + "]" + more + "}";
}

std::map<int, DisplayValue> ValuesOf(const archive::Panel& panel) {
  std::map<int, DisplayValue> values;
  for (const archive::PanelDisplay& d : panel.displays)
    if (d.written) values[d.displayId] = {d.displayId, d.text, d.textColor, d.background};
  return values;
}

std::map<int, DisplayValue> ValuesOf(const std::vector<archive::DisplayWrite>& writes) {
  std::map<int, DisplayValue> values;
  for (const archive::DisplayWrite& w : writes)
    values[w.displayId] = {w.displayId, w.text, w.textColor, w.background};
  return values;
}

std::string DisplayCaption(int displayId) {
  const std::string group(GroupCaptionOf(displayId));
  if (IsOperatorDisplay(displayId)) return group + " 工号";
  return group;
}

namespace {

// A label's words with the blanks that space them out in the window made
// one: "一   轴" -> "一 轴".
std::string Words(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += *p;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::string CellName(int displayId) {
  if (IsOperatorDisplay(displayId)) return "工号";
  const DlgTemplate& tpl = MainDialogTemplate();
  const DlgControl* cell = FindControl(tpl, displayId);
  if (cell == nullptr) return std::string();
  const std::string group(GroupCaptionOf(displayId));
  const DluRect& d = cell->rect;
  const int middle = d.x + d.cx / 2;
  // Headings above it that span its middle, top down; the row's caption to
  // its left, on its line.
  std::vector<const DlgControl*> above;
  const DlgControl* row = nullptr;
  for (const DlgControl& c : tpl) {
    if (c.kind != ControlKind::Label || GroupCaptionAt(c.rect) != group) continue;
    const DluRect& r = c.rect;
    const bool heading = (c.style & dlgstyle::kStaticTypeMask) == dlgstyle::kCenter;
    if (heading && r.y + r.cy <= d.y && r.x <= middle && middle < r.x + r.cx) above.push_back(&c);
    if (!heading && r.x + r.cx <= d.x && r.y <= d.y + d.cy / 2 && d.y + d.cy / 2 < r.y + r.cy &&
        (row == nullptr || r.x > row->rect.x))
      row = &c;
  }
  std::string name;
  for (const DlgControl* c : above) name += (name.empty() ? "" : " ") + Words(c->text);
  if (row != nullptr) name += (name.empty() ? "" : " ") + Words(row->text);
  return name;
}

}  // namespace web
