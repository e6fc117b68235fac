// RunLines - the journal's lines about the run itself, whatever window
// runs the monitor: the start line, the warning that the previous run
// ended without its stop line, the line that says the monitor still runs
// after a long silence, and the stop lines. They are written whatever the
// thresholds say: they tell a crew when the monitor was up. Also the plain
// route of the core's lines into the journal writer, for a window without
// logging categories of its own.
#ifndef BRENNA_JOURNAL_RUNLINES_H
#define BRENNA_JOURNAL_RUNLINES_H

#include <chrono>
#include <string>

#include "journal/Journal.h"

namespace journal {

// A line straight to the process's journal writer, whatever the thresholds.
void WriteAlways(Level level, Category category, const std::string& text);

// "<program> <version> starting, process <n>; journal <file>", then,
// when the journal file's previous lines end without their run's stop
// line ("<program> stopped"), the warning that says when that run was last
// heard of. The writer has been started.
void WriteStartLines(const char* version, const char* program = "BrennaCenter");

// The end of the run, once per call: every folded flood summarised, the
// counts since the last hourly line, "BrennaCenter stopped[ <how>]", and
// all of it written out before this returns.
void WriteProcessEnding(const char* how);

// One look of the heartbeat (taken ten times a period): when nothing has
// been written for `period`, a line says the monitor still runs.
void WriteHeartbeatWhenSilent(std::chrono::milliseconds period);

// A router (SetRouter) that writes each line into the process's journal
// writer, formatted as every other line.
void RouteToWriter(Level level, Category category, const char* text);

// Whether the previous run of `program`, whose last lines are `tail`,
// ended without its stop line; *last is then the time of its last line (or
// the line itself when it has none).
bool EndedWithoutStop(const std::string& tail, std::string* last,
                      const char* program = "BrennaCenter");

}  // namespace journal

#endif  // BRENNA_JOURNAL_RUNLINES_H
