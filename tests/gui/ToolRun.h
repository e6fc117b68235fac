// ToolRun - runs a program (the station tool) to its end while the window
// under test keeps running: its event loop turns, its timer ticks.
#ifndef BRENNA_TESTS_GUI_TOOLRUN_H
#define BRENNA_TESTS_GUI_TOOLRUN_H

#include <QTest>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

// Its exit status, or -1 when it could not start, was killed or did not end
// within `limitMs` (then it is stopped); its output and errors in *output.
// Started with a plain fork (ChildProcess), not QProcess, whose start shares
// our memory until exec and blinds ThreadSanitizer to our locks afterwards.
inline int RunWhileTheWindowRuns(const std::vector<std::string>& argv, int limitMs,
                                 std::string* output) {
  TempDir dir;
  ChildProcess::Options options;
  options.logPath = dir.file("output");
  ChildProcess tool;
  std::string error;
  if (!tool.Start(argv, options, &error)) {
    *output = error;
    return -1;
  }
  const bool ended = QTest::qWaitFor([&] { return !tool.Running(); }, limitMs);
  if (!ended) tool.Stop();
  *output = ReadFileBytes(options.logPath);
  return ended && tool.Exited() ? tool.ExitStatus() : -1;
}

#endif  // BRENNA_TESTS_GUI_TOOLRUN_H
