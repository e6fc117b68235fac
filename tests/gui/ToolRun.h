// ToolRun - runs a program (the station tool) to its end while the window
// under test keeps running: its event loop turns, its timer ticks.
#ifndef BRENNA_TESTS_GUI_TOOLRUN_H
#define BRENNA_TESTS_GUI_TOOLRUN_H

#include <QTest>
#include <string>
#include <vector>

#include "ChildProcess.h"

// Its exit status, or -1 when it could not start, was killed or did not end
// within `limitMs` (then it is stopped); its output and errors in *output,
// followed by how it ended when that was not exit status 0.
inline int RunWhileTheWindowRuns(const std::vector<std::string>& argv, int limitMs,
                                 std::string* output) {
  const ProgramRun run =
      RunProgram(argv, {}, std::chrono::milliseconds(limitMs),
                 [](const std::function<bool()>& ended, std::chrono::milliseconds limit) {
                   return QTest::qWaitFor(ended, static_cast<int>(limit.count()));
                 });
  *output = run.Report();
  return run.status;
}

#endif  // BRENNA_TESTS_GUI_TOOLRUN_H
