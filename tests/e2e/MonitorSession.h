// MonitorSession - one installed monitor running on its own virtual display,
// for the end-to-end tests: the monitor as MonitorProcess drives it, Xvfb +
// openbox, and the questions the tests ask about its windows.
#ifndef BRENNA_E2E_MONITORSESSION_H
#define BRENNA_E2E_MONITORSESSION_H

#include <chrono>
#include <string>
#include <vector>

#include "MonitorProcess.h"
#include "VirtualDisplay.h"

// The window class the monitor's windows carry (its application name).
inline const char kMonitorClass[] = "BrennaCenter";
// The main window's title, UTF-8, before the count.
inline const char kMonitorTitle[] = "数据监控";

class MonitorSession : public MonitorProcess {
 public:
  // This build's library, or the file given (empty: no library at all).
  MonitorSession();
  explicit MonitorSession(const std::string& libraryPath);
  // A monitor installed elsewhere (the Windows one), whose windows carry
  // `windowClass`.
  MonitorSession(const InstalledMonitor& installed, const std::string& windowClass);
  ~MonitorSession();

  VirtualDisplay& display() { return m_display; }

  // A folder of $BRENNA_TEST_ARTIFACTS for this test's screenshots and logs.
  const std::string& artefacts() const { return m_artefacts; }

  // Display and monitor, without waiting for the monitor; false (with
  // *error) when either fails.
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

 private:
  VirtualDisplay m_display;
  std::string m_artefacts;
  std::string m_windowClass = kMonitorClass;
};

// $BRENNA_TEST_ARTIFACTS/name (the temp directory when unset).
std::string ArtefactPath(const std::string& name);

// "数据监控(n)"
std::string CountedTitle(int n);

#endif  // BRENNA_E2E_MONITORSESSION_H
