// MonitorSession - one installed monitor running on its own virtual display,
// for the end-to-end tests: the install tree, Xvfb + openbox, the program
// itself, and the questions the tests ask about its windows.
#ifndef BRENNA_E2E_MONITORSESSION_H
#define BRENNA_E2E_MONITORSESSION_H

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallTree.h"
#include "VirtualDisplay.h"

// The window class the monitor's windows carry (its application name).
inline const char kMonitorClass[] = "BrennaCenter";
// The main window's title, UTF-8, before the count.
inline const char kMonitorTitle[] = "数据监控";

class MonitorSession {
 public:
  // This build's library, or the file given (empty: no library at all).
  MonitorSession();
  explicit MonitorSession(const std::string& libraryPath);
  ~MonitorSession();

  InstallTree& tree() { return m_tree; }
  VirtualDisplay& display() { return m_display; }
  ChildProcess& monitor() { return m_monitor; }

  // A folder of $BRENNA_TEST_ARTIFACTS for this test's screenshots and logs.
  const std::string& artefacts() const { return m_artefacts; }
  // The environment every program of this session runs with: private home,
  // XDG and runtime directories, and the virtual display.
  std::vector<std::string> Environment() const;

  // An entry "NAME=value" for the monitor's environment alone, set before
  // Start.
  void AddMonitorEnvironment(const std::string& entry) { m_monitorEnv.push_back(entry); }

  // Tree, display and monitor; false (with *error) when any of them fails.
  bool Start(std::string* error);
  // Start(), then waits for the listener and the main window.
  bool StartAndWaitForWindow(std::string* error);

  // The monitor's main window (titled 数据监控...), 0 when none is shown.
  VirtualDisplay::WindowId MainWindow();
  // Waits (at most `limit`) until the main window's title is `title`; the
  // last title seen otherwise.
  bool WaitForTitle(const std::string& title, std::chrono::milliseconds limit,
                    std::string* lastSeen);

  // Waits (at most `limit`) for a dialog box of the monitor with this
  // caption; false with the reason in *error.
  bool WaitForDialog(const std::string& caption, std::chrono::milliseconds limit,
                     VirtualDisplay::WindowId* box, std::string* error);

  // Runs the station tool with these arguments; its exit status (-1 when it
  // did not end), its output in *output.
  int RunStationTool(const std::vector<std::string>& args, std::string* output);

  // The monitor's standard output and error so far.
  std::string MonitorLog() const;

 private:
  InstallTree m_tree;
  VirtualDisplay m_display;
  ChildProcess m_monitor;
  std::string m_artefacts;
  std::vector<std::string> m_monitorEnv;
};

// $BRENNA_TEST_ARTIFACTS/name (the temp directory when unset).
std::string ArtefactPath(const std::string& name);

// "数据监控(n)"
std::string CountedTitle(int n);

#endif  // BRENNA_E2E_MONITORSESSION_H
