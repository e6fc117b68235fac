// PanelView - the window's panel as a web page, laid out from the very
// template the window is built from (panel/MainDialogTemplate): every group
// box, heading, value display and legend panel where the window has it, in
// pixels of the designed window (dialog units through the dialog font's
// base units) and placed in the page as fractions of the panel, so the
// panel scales to the browser window as the window's controls scale to the
// screen. The two buttons' place holds the monitor's state instead: the
// page only looks.
//
// What a display shows comes in the markup (for a page that stands still:
// a result, the panel at a moment) or as JSON (the live panel's updates),
// always as text: the page's script puts it in with textContent.
#ifndef BRENNA_WEB_PANELVIEW_H
#define BRENNA_WEB_PANELVIEW_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "util/Rect.h"

namespace web {

// The designed client area of the window, in pixels.
struct PanelSize {
  int width;
  int height;
};
PanelSize DesignedPanelSize();

// The stylesheet that places the controls (served as /panel.css), made
// from the template; with the TV's own places (web/TvLayout).
std::string PanelStylesheet();

// "left:..;top:..;width:..;height:.." of a rectangle of the designed
// window, as shares of the panel.
std::string PlaceOnPanel(const CRect& r);

// What one value display shows.
struct DisplayValue {
  int id = 0;
  std::string text;  // GBK, as drawn
  std::uint32_t textColor = 0xFFFFFF;
  std::uint32_t background = 0xFFFFFF;  // unwritten: white on white
};

// How a page marks a display beside its value: a class ("keep": it keeps
// its look on an idle panel; "earlier": left from an earlier vehicle), and
// which result wrote it and when (UTF-8, shown on pointing at it). Never a
// station's text.
struct CellMark {
  std::string cls;
  std::string note;
};

// Whether the monitor runs, in the words the page shows.
struct MonitorState {
  enum class Kind {
    kRunning,     // its heartbeat is at most 5 s old
    kStopped,     // its run has a stop
    kSilent,      // no stop, but no heartbeat for more than 5 s
    kNoArchive,   // no archive yet: the monitor never ran here
    kUnreadable,  // the archive cannot be read
  };
  Kind kind = Kind::kNoArchive;
  std::int64_t startedUtcMs = 0;
  std::int64_t lastHeardUtcMs = 0;  // the heartbeat, or the stop
  std::string why;                  // kUnreadable: the reader's words

  bool Running() const { return kind == Kind::kRunning; }
  bool operator==(const MonitorState& o) const {
    return kind == o.kind && startedUtcMs == o.startedUtcMs && lastHeardUtcMs == o.lastHeardUtcMs &&
           why == o.why;
  }
};
// "监控程序运行中", "监控程序未运行", "无法读取存档".
std::string StateHeadline(const MonitorState& state);
// The line below it: since when it runs, or when it was last heard of.
std::string StateDetail(const MonitorState& state);

// What the box in the buttons' place says: the monitor's state on the live
// panel, what the panel is on a page that stands still.
struct StateBox {
  std::string head;    // UTF-8
  std::string detail;  // UTF-8
  bool up = true;      // false: shown as a warning, the values dimmed
};
StateBox BoxOf(const MonitorState& state);

// The panel's markup: the controls, each value display with its value
// (missing ones empty, white on white), and the state box.
std::string PanelMarkup(const std::map<int, DisplayValue>& values, const StateBox& box,
                        const std::map<int, CellMark>& marks = {});

// The live panel's update: title, state and all value displays, as JSON
// (web/LiveStateFormat), and the members in `more` (each led by a comma).
std::string PanelJson(const std::string& title, const MonitorState& state,
                      const std::map<int, DisplayValue>& values, const std::string& more = "");

// The value displays of an archived panel.
std::map<int, DisplayValue> ValuesOf(const archive::Panel& panel);
// A result's writes, each display's last one.
std::map<int, DisplayValue> ValuesOf(const std::vector<archive::DisplayWrite>& writes);

// The caption of the value display's group and what it shows (heading
// texts), UTF-8; empty when it has none.
std::string DisplayCaption(int displayId);

// Where a value display sits in its group, in the window's own words: the
// headings above it and the row caption beside it ("最大制动力 左 X10N 一 轴"),
// "工号" for an operator display.
std::string CellName(int displayId);

}  // namespace web

#endif  // BRENNA_WEB_PANELVIEW_H
