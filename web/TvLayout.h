// TvLayout - the TV's panel (`/?tv`), read from across a waiting room: the
// panel as the window lays it out, but each group's top row made over to
// say whose car it is. Its caption stands large in the row's empty corner,
// the vehicle's key (reports/VehicleKey) above the group's values where
// the row has room, and the operator's display, narrowed to what an
// operator number or "设备空闲" needs, at the row's end with its "工号".
// The values keep their places; the page's script makes every text fill
// its box (web/assets/app.js). The window's own look is not touched: these
// places apply to the TV's page only.
#ifndef BRENNA_WEB_TVLAYOUT_H
#define BRENNA_WEB_TVLAYOUT_H

#include <string>
#include <vector>

namespace web {

// The TV's places, for /panel.css (every rule under `.tv`).
std::string TvStylesheet();

// Each group's caption and vehicle key for the TV's panel, in the window's
// order of the groups; `vehicles` their keys (UTF-8, made safe), as many as
// groups or fewer.
std::string TvGroupMarkup(const std::vector<std::string>& vehicles);

}  // namespace web

#endif  // BRENNA_WEB_TVLAYOUT_H
