// LiveStateFormat - the names in a line's live updates (`/events`,
// docs/web-view.md, "The live updates"): written by the line's brenna-web
// (web/PanelView, web/LineSummary) and read by its page's script and by a
// site's overview (web/LineWatch). One place, so writer and reader cannot
// drift apart.
#ifndef BRENNA_WEB_LIVESTATEFORMAT_H
#define BRENNA_WEB_LIVESTATEFORMAT_H

namespace web::live {

// The events of the stream.
inline constexpr char kStateEvent[] = "state";  // data: the state below
inline constexpr char kPingEvent[] = "ping";    // every 10 s when nothing changed
inline constexpr char kAgainEvent[] = "again";  // the stream ends; connect again at once

// The state: one JSON object.
inline constexpr char kTitle[] = "title";      // "数据监控(7)"
inline constexpr char kRunning[] = "running";  // the monitor runs
inline constexpr char kHead[] = "head";        // its state, in words
inline constexpr char kDetail[] = "detail";
inline constexpr char kDisplays[] = "d";  // [[id, text, text colour, background, GBK bytes]...]
inline constexpr char kIdle[] = "idle";   // null, or {head, detail}: the line is idle
inline constexpr char kKeep[] = "keep";   // displays that show the idle look
inline constexpr char kLine[] = "line";   // the line itself, below

// "line": {name, last, today: {results, vetoed}, groups: [{g, id, t, op, v, n, k}...]}
inline constexpr char kName[] = "name";             // the line's name, "" when none
inline constexpr char kLast[] = "last";             // its last result, ms since 1970 UTC; 0: none
inline constexpr char kToday[] = "today";           // the local day's results so far:
inline constexpr char kTodayResults[] = "results";  // how many
inline constexpr char kTodayVetoed[] = "vetoed";    // how many with a value shown as a veto
inline constexpr char kGroups[] = "groups";  // the seven device groups, in the window's order
inline constexpr char kGroup[] = "g";        // the group's caption
inline constexpr char kResult[] = "id";      // its newest result; 0: none
inline constexpr char kShown[] = "t";        // when it was shown, ms since 1970 UTC
inline constexpr char kOperator[] = "op";    // its operator, as shown
inline constexpr char kJudge[] = "v";        // its most severe verdict shown, as a judge code; 0
inline constexpr char kVetoes[] = "n";       // how many of its values were shown as vetoes
inline constexpr char kVehicle[] = "k";      // its vehicle (the key its transfer name gives)

}  // namespace web::live

#endif  // BRENNA_WEB_LIVESTATEFORMAT_H
