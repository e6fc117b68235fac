#include "web/TvLayout.h"

#include <algorithm>

#include "panel/IdleLook.h"
#include "panel/Templates.h"
#include "web/PanelView.h"
#include "web/WebText.h"

namespace web {

namespace {

// Designed pixels between the row's pieces.
constexpr int kGap = 4;
// The operator's display on the TV: this many times as wide as it is high.
constexpr int kOperatorWidthPerHeight = 5;

struct GroupRow {
  std::string caption;
  int labelIndex = -1;  // the "工号" label's place in the template
  int operatorId = 0;   // the operator's display
  CRect group, label, display;
};

// Each group's top row: its "工号" label and operator display, in the
// window's order of the groups.
std::vector<GroupRow> GroupRows() {
  const DlgTemplate& tpl = MainDialogTemplate();
  std::vector<GroupRow> rows;
  for (const DlgControl& c : tpl)
    if (c.kind == ControlKind::GroupBox)
      rows.push_back({c.text, -1, 0, DluToPixels(c.rect), {}, {}});
  int index = 0;
  for (const DlgControl& c : tpl) {
    const int at = index++;
    if (c.kind != ControlKind::Label || std::string(c.text) != "工号") continue;
    for (GroupRow& r : rows) {
      if (GroupCaptionAt(c.rect) != r.caption) continue;
      r.labelIndex = at;
      r.label = DluToPixels(c.rect);
    }
  }
  for (int id : kOperatorDisplays) {
    for (GroupRow& r : rows) {
      if (GroupCaptionOf(id) != r.caption) continue;
      r.operatorId = id;
      r.display = DluToPixels(FindControl(tpl, id)->rect);
    }
  }
  return rows;
}

}  // namespace

std::string TvStylesheet() {
  std::string css = "/* The TV's rows: caption, vehicle, operator (web/TvLayout). */\n";
  const std::vector<GroupRow> rows = GroupRows();
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const GroupRow& r = rows[g];
    if (r.labelIndex < 0 || r.operatorId == 0) continue;
    CRect display = r.display;
    display.left = std::max(r.label.right + kGap,
                            r.display.right - kOperatorWidthPerHeight * r.display.Height());
    CRect label = r.label;
    label.right = display.left - kGap;
    label.left = label.right - r.label.Width();
    const CRect caption{r.group.left + kGap, r.group.top, r.label.left - kGap, r.label.bottom};
    const CRect vehicle{r.label.left, r.label.top, label.left - 2 * kGap, r.label.bottom};
    const std::string n = std::to_string(g);
    css += ".tv #d" + std::to_string(r.operatorId) + "{" + PlaceOnPanel(display) + "}\n";
    css += ".tv #k" + std::to_string(r.labelIndex) + "{" + PlaceOnPanel(label) + "}\n";
    css += "#tc" + n + "{" + PlaceOnPanel(caption) + "}\n";
    css += "#vk" + n + "{" + PlaceOnPanel(vehicle) + "}\n";
  }
  return css;
}

std::string TvGroupMarkup(const std::vector<std::string>& vehicles) {
  std::string html;
  const std::vector<GroupRow> rows = GroupRows();
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const std::string n = std::to_string(g);
    html += "<div class=\"tvcap\" id=\"tc" + n + "\"><span>" + Html(rows[g].caption) +
            "</span></div>\n<div class=\"veh\" id=\"vk" + n + "\"><span id=\"vk" + n + "-key\">" +
            (g < vehicles.size() ? Html(vehicles[g]) : std::string()) + "</span></div>\n";
  }
  return html;
}

}  // namespace web
