// MonitorProcess - the installed monitor run out of process, the one way the
// end-to-end, package, fault and load tests and the end-to-end benchmark
// drive it: its install tree and private environment (or an unpacked
// package's program and session), the program (which may be killed and
// started again on the same tree), a watch on its spool directory, the
// station tool, and what /proc tells about it.
//
// It runs on Qt's offscreen platform unless shown on a display. Without a
// window system the title cannot be read; a result counts as shown once the
// window has read its "<name>.DOING" and removed it, which the window does
// for every result it shows and counts, and for nothing else.
#ifndef BRENNA_E2E_MONITORPROCESS_H
#define BRENNA_E2E_MONITORPROCESS_H

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallTree.h"
#include "SpoolWatch.h"

// A monitor as installed: this build's in a private install tree, or one
// installed elsewhere (an unpacked package) that finds its site by itself.
struct InstalledMonitor {
  std::string program;      // the BrennaCenter to run
  std::string stationTool;  // the brenna-send installed with it
  int port = 0;             // the port its site settings name
  std::string spool;        // the spool directory its site names
  std::string work;         // a folder for the harness's own files (logs, results to send)
  // The session it runs in: environment entries as ChildProcess takes them.
  std::vector<std::string> session;
  // What runs the program (wine64 for a Windows one); empty: it runs itself.
  std::vector<std::string> runner;
};

class MonitorProcess {
 public:
  // This build's program with this build's library, or the file given
  // (empty: no library at all), in a private install tree.
  MonitorProcess();
  explicit MonitorProcess(const std::string& libraryPath);
  // A monitor installed elsewhere, run as it is, with its own station tool.
  explicit MonitorProcess(const InstalledMonitor& installed);
  ~MonitorProcess();
  MonitorProcess(const MonitorProcess&) = delete;
  MonitorProcess& operator=(const MonitorProcess&) = delete;

  // The private install tree (not of a monitor installed elsewhere).
  InstallTree& tree() { return *m_tree; }
  // A folder for the harness's own files.
  const std::string& work() const { return m_installed.work; }
  // The port the monitor listens on.
  int port() const { return m_installed.port; }
  ChildProcess& monitor() { return m_monitor; }
  SpoolWatch& watch() { return m_watch; }

  // The environment every program started here runs with: the session
  // (of this build's monitor: private home, XDG and runtime directories,
  // and in a sanitizer build exit statuses that stay the program's own) and
  // the window system (offscreen unless ShowOn).
  std::vector<std::string> Environment() const;
  // The monitor shows its window on the display whose client environment
  // this is, instead of offscreen.
  void ShowOn(const std::vector<std::string>& displayEnv);
  // An entry "NAME=value" for the monitor's environment alone, set before
  // it starts.
  void AddMonitorEnvironment(const std::string& entry) { m_monitorEnv.push_back(entry); }
  // Where the monitor's output goes (monitor.log in the work folder unless
  // set).
  void SetLogPath(const std::string& path) { m_logPath = path; }
  // The monitor may open at most this many files (soft and hard limit).
  void SetOpenFileLimit(long limit) { m_openFileLimit = limit; }

  // Starts the program (again, after it ended) without waiting for it.
  bool Launch(std::string* error);
  // Waits until the running program listens; the first time also begins
  // watching the spool directory, which the library has made by then.
  bool WaitUntilListening(std::string* error);
  // Launch(), then WaitUntilListening().
  bool Start(std::string* error);
  void Stop() { m_monitor.Stop(); }

  // The frames of one transfer per description, built by the station tool
  // from text descriptions (docs/brenna-send.md): named `name`, or with
  // several, name-1, name-2, ...
  bool Frames(const std::string& name, const std::vector<std::string>& descriptions,
              std::vector<std::string>* frames, std::string* error);

  // Sends results to the running program with the station tool, one
  // transfer per result, named by `names`, over one connection. The tool's
  // exit status (0: the monitor confirmed every frame), or -1 when it did
  // not run to its end; *output gets what it printed.
  int SendResults(const std::vector<std::string>& names,
                  const std::vector<std::string>& descriptions, std::string* output);
  // The same with the tool's own timeout, as a station runs it: it gives up
  // (status 3) once 5 s pass without the monitor confirming anything more.
  int SendResultsAsStation(const std::vector<std::string>& names,
                           const std::vector<std::string>& descriptions, std::string* output);

  // Runs the station tool with these arguments; its exit status (-1 when it
  // did not end), what it printed in *output (with how it ended, unless
  // with status 0).
  int RunStationTool(const std::vector<std::string>& args, std::string* output);

  // A "Vm...:" figure of /proc/<pid>/status of the running program in kB
  // (VmRSS resident now, VmHWM resident at most); -1 when unknown.
  long MemoryKb(const std::string& key);
  // Sockets the program holds open (listener and connections).
  int OpenSockets();

  // The monitor's standard output and error so far.
  std::string Log() const;

 private:
  // The station tool with `options` before the address and the files.
  int SendWithTool(std::vector<std::string> options, const std::vector<std::string>& names,
                   const std::vector<std::string>& descriptions, std::string* output);

  std::optional<InstallTree> m_tree;
  InstalledMonitor m_installed;
  ChildProcess m_monitor;
  SpoolWatch m_watch;
  bool m_watching = false;
  std::vector<std::string> m_windowSystemEnv;
  std::vector<std::string> m_monitorEnv;
  std::string m_logPath;
  long m_openFileLimit = 0;
};

// A result of device `device` with operator `op` and a few items: one
// frame's worth.
std::string SmallResult(int device, const std::string& op);
// A result whose compressed file needs several chunks: `items` values of
// 500 characters that do not compress.
std::string LargeResult(unsigned seed, int items);

// The frames as one byte stream.
std::string Concat(const std::vector<std::string>& frames, size_t from = 0,
                   size_t to = static_cast<size_t>(-1));

#endif  // BRENNA_E2E_MONITORPROCESS_H
