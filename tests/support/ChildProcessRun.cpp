// What waits for a program and runs it to its end, the same over both
// halves of ChildProcess (ChildProcess.cpp, ChildProcessWin.cpp).
#include <filesystem>
#include <thread>

#include "ChildProcess.h"
#include "TempDir.h"

bool ChildProcess::WaitExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

int RunToEnd(const std::vector<std::string>& argv, const ChildProcess::Options& options,
             std::chrono::milliseconds limit, std::string* how, const WaitForEnd& waitFor) {
  ChildProcess child;
  if (!child.Start(argv, options, how)) return -1;
  const bool ended =
      waitFor ? waitFor([&] { return !child.Running(); }, limit) : child.WaitExit(limit);
  if (!ended) {
    child.Stop();
    *how = "did not end within " + std::to_string(limit.count()) + " ms";
    return -1;
  }
  *how = child.Describe();
  return child.Exited() ? child.ExitStatus() : -1;
}

std::string ProgramRun::Report() const { return status == 0 ? output : output + "[" + how + "]"; }

ProgramRun RunProgram(const std::vector<std::string>& argv, ChildProcess::Options options,
                      std::chrono::milliseconds limit, const WaitForEnd& waitFor) {
  TempDir scratch;
  if (options.logPath.empty()) options.logPath = scratch.file("output");
  std::error_code ec;
  std::filesystem::remove(options.logPath, ec);
  ProgramRun run;
  run.status = RunToEnd(argv, options, limit, &run.how, waitFor);
  run.output = ReadFileBytes(options.logPath);
  return run;
}
