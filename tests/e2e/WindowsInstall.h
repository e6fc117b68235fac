// WindowsInstall - the Windows monitor installed as a PC has it, for the
// cross-platform tests of the Linux suite: the windows build's
// BrennaCenter.exe beside libPallix.dll and a Pallix.ini naming a private
// base directory, whose BrennaCenter.ini names a free port:
//
//   bin/BrennaCenter.exe  bin/libPallix.dll  bin/Pallix.ini
//   base/BrennaCenter.ini                    base/spool/ (made at start)
//
// It runs under wine64 in the windows build's prefix, with a wine server of
// its own (its own TMPDIR), so that its desktop is the display it is shown
// on, whatever other Windows programs of the suite run meanwhile. The
// server is ended with the install.
#ifndef BRENNA_E2E_WINDOWSINSTALL_H
#define BRENNA_E2E_WINDOWSINSTALL_H

#include <string>
#include <vector>

#include "MonitorProcess.h"
#include "TempDir.h"

// The window class wine gives the program's windows (its file name).
inline const char kWindowsMonitorClass[] = "brennacenter.exe";

class WindowsInstall {
 public:
  // The windows build's programs (BRENNA_WINDOWS_BUILD_DIR); `codePageLocale`
  // chooses the PC's code page (zh_CN.UTF-8: 936, C.UTF-8: 1252).
  explicit WindowsInstall(const std::string& codePageLocale = "zh_CN.UTF-8");
  ~WindowsInstall();  // ends its wine server
  WindowsInstall(const WindowsInstall&) = delete;
  WindowsInstall& operator=(const WindowsInstall&) = delete;

  bool ok() const { return m_error.empty(); }
  const std::string& error() const { return m_error; }

  std::string root() const { return m_dir.path().string(); }
  std::string base() const { return root() + "/base"; }
  std::string spool() const { return base() + "/spool"; }
  std::string work() const { return root() + "/work"; }
  int port() const { return m_port; }

  // The monitor as MonitorProcess runs it (this build's Linux brenna-send as
  // its station tool).
  const InstalledMonitor& Monitor() const { return m_monitor; }
  // argv of a Windows program of the windows build (brenna-send.exe ...)
  // run in the same wine prefix and server as the monitor.
  std::vector<std::string> Windows(const std::string& program,
                                   const std::vector<std::string>& args) const;
  // The environment those programs run with.
  const std::vector<std::string>& Session() const { return m_monitor.session; }

 private:
  TempDir m_dir;
  int m_port = 0;
  InstalledMonitor m_monitor;
  std::string m_error;
};

// A Linux path as the Windows programs see it: Z:\... under wine.
std::string WindowsPath(const std::string& linuxPath);

#endif  // BRENNA_E2E_WINDOWSINSTALL_H
