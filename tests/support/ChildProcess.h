// ChildProcess - the one way a test starts a program, and always takes it
// down again: the monitor (through MonitorProcess), the station tool, the
// virtual display and its window manager, a browser, a session bus, the
// reference tools. A child dies with the thread that started it, so a test
// killed by its timeout leaves no X server or monitor behind.
//
// ChildProcess.cpp is the POSIX half (fork and exec); ChildProcessWin.cpp
// the Windows one (CreateProcess, in a job object that ends the child with
// the test), which knows no descriptors to pass, no limit of open files and
// no gentle stop: Stop ends the child at once, and Signalled() then holds
// with TermSignal() 9.
#ifndef BRENNA_TESTS_CHILDPROCESS_H
#define BRENNA_TESTS_CHILDPROCESS_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  struct Options {
    // "NAME=value" sets a variable, a bare "NAME" removes it; a later entry
    // wins over an earlier one of the same name; everything else is
    // inherited.
    std::vector<std::string> env;
    // Standard output and error go here (appended); /dev/null when empty.
    std::string logPath;
    // Standard error alone goes here instead (appended), when set.
    std::string errorPath;
    // The child's working directory; the test's own when empty.
    std::string workDir;
    // Descriptors handed to the child as descriptors 3, 4, ... in order.
    // Every other descriptor above 2 is closed in the child.
    std::vector<int> passFds;
    // The child's limit of open files, soft and hard (0: as inherited).
    long openFileLimit = 0;
  };

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a path) with the given arguments. False, with the reason
  // in *error, when it cannot even be started.
  bool Start(const std::vector<std::string>& argv, const Options& options, std::string* error);

  pid_t pid() const { return m_pid; }
  // Whether it was started and has not been reaped yet.
  bool Running();
  // Waits until it ends or `limit` passes; true when it ended.
  bool WaitExit(std::chrono::milliseconds limit);
  // SIGTERM, then SIGKILL if it is still there after `grace`; reaps it.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

  // How it ended (valid once Running() is false after a start).
  bool Exited() const;
  int ExitStatus() const;  // 0..255 when Exited()
  bool Signalled() const;
  int TermSignal() const;
  std::string Describe() const;  // "exit status 255", "killed by signal 15", "running"

 private:
  void Reap(int status);

  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_status = 0;
#ifdef _WIN32
  void* m_process = nullptr;  // HANDLEs
  void* m_job = nullptr;
  bool m_killed = false;
  void Close();
#endif
};

// How a run to the end waits: true once ended() holds, false when `limit`
// passed first. Without one it sleeps between looks; a test whose event
// loop must keep turning meanwhile passes one that turns it.
using WaitForEnd =
    std::function<bool(const std::function<bool()>& ended, std::chrono::milliseconds limit)>;

// Runs a program to its end (at most `limit`) and returns its exit status,
// or -1 when it could not start, was killed, or did not end in time (then it
// is stopped); *how says which.
int RunToEnd(const std::vector<std::string>& argv, const ChildProcess::Options& options,
             std::chrono::milliseconds limit, std::string* how,
             const WaitForEnd& waitFor = nullptr);

#ifndef _WIN32
// A figure of a running process's /proc/PID/status ("VmHWM", "VmRSS",
// "Threads": kB or a count); -1 when it cannot be read.
long ProcessStatus(pid_t pid, const std::string& key);
#endif

// A program run to its end, with what it printed.
struct ProgramRun {
  int status = -1;     // as RunToEnd returns it
  std::string how;     // as RunToEnd tells it
  std::string output;  // standard output, and standard error unless options.errorPath
  // What it printed, followed by how it ended when that was not exit status
  // 0: the text for a failure message.
  std::string Report() const;
};

// RunToEnd, its output kept in options.logPath (written afresh) or, when
// that is empty, in a temporary file, and read back.
ProgramRun RunProgram(const std::vector<std::string>& argv, ChildProcess::Options options,
                      std::chrono::milliseconds limit, const WaitForEnd& waitFor = nullptr);

#endif  // BRENNA_TESTS_CHILDPROCESS_H
