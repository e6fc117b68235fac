#include "MonitorSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::string ArtefactFolder() {
  std::string dir = ArtefactPath("");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir += "/e2e-logs/";
  dir += info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "session";
  std::error_code ec;
  fs::remove_all(dir, ec);  // logs of an earlier run of the same test
  fs::create_directories(dir, ec);
  return dir;
}

}  // namespace

std::string ArtefactPath(const std::string& name) {
  const char* root = std::getenv("BRENNA_TEST_ARTIFACTS");
  const std::string dir =
      root != nullptr && *root != '\0' ? root : fs::temp_directory_path().string();
  return name.empty() ? dir : dir + "/" + name;
}

std::string CountedTitle(int n) {
  return std::string(kMonitorTitle) + "(" + std::to_string(n) + ")";
}

MonitorSession::MonitorSession() : m_artefacts(ArtefactFolder()) {
  SetLogPath(m_artefacts + "/monitor.log");
}

MonitorSession::MonitorSession(const std::string& libraryPath)
    : MonitorProcess(libraryPath), m_artefacts(ArtefactFolder()) {
  SetLogPath(m_artefacts + "/monitor.log");
}

MonitorSession::MonitorSession(const InstalledMonitor& installed, const std::string& windowClass)
    : MonitorProcess(installed), m_artefacts(ArtefactFolder()), m_windowClass(windowClass) {
  SetLogPath(m_artefacts + "/monitor.log");
}

MonitorSession::~MonitorSession() {
  Stop();
  m_display.Stop();
}

bool MonitorSession::Start(std::string* error) {
  if (!m_display.Start(m_artefacts, Environment(), error)) return false;
  ShowOn(m_display.ClientEnv());
  return Launch(error);
}

bool MonitorSession::StartAndWaitForWindow(std::string* error) {
  if (!Start(error) || !WaitUntilListening(error)) return false;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (MainWindow() == 0) {
    if (!monitor().Running()) {
      *error = "the monitor ended (" + monitor().Describe() + ")";
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "no main window appeared";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

VirtualDisplay::WindowId MonitorSession::MainWindow() {
  for (VirtualDisplay::WindowId w : m_display.FindWindows(m_windowClass)) {
    if (m_display.Title(w).rfind(kMonitorTitle, 0) == 0) return w;
  }
  return 0;
}

bool MonitorSession::WaitForTitle(const std::string& title, std::chrono::milliseconds limit,
                                  std::string* lastSeen) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const VirtualDisplay::WindowId w = MainWindow();
    *lastSeen = w != 0 ? m_display.Title(w) : std::string("(no main window)");
    if (*lastSeen == title) return true;
    if (!monitor().Running()) {
      *lastSeen += " (the monitor ended: " + monitor().Describe() + ")";
      return false;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool MonitorSession::WaitForDialog(const std::string& caption, std::chrono::milliseconds limit,
                                   VirtualDisplay::WindowId* box, std::string* error) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    for (VirtualDisplay::WindowId w : m_display.FindWindows(m_windowClass)) {
      if (m_display.IsDialog(w) && m_display.Title(w) == caption) {
        *box = w;
        return true;
      }
    }
    if (!monitor().Running()) {
      *error = "the monitor ended without a box \"" + caption + "\" (" + monitor().Describe() +
               ")\nmonitor output:\n" + Log();
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "no box \"" + caption + "\" appeared";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}
