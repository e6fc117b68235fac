#include "MonitorSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Station.h"

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

MonitorSession::MonitorSession()
    : MonitorSession(std::string(BRENNA_PALLIX_DIR) + "/libPallix.so") {}

MonitorSession::MonitorSession(const std::string& libraryPath)
    : m_tree(InstallOptions{BRENNA_CENTER_PATH, libraryPath}), m_artefacts(ArtefactFolder()) {}

MonitorSession::~MonitorSession() {
  m_monitor.Stop();
  m_display.Stop();
}

std::vector<std::string> MonitorSession::Environment() const {
  const std::string home = m_tree.work() + "/home";
  std::error_code ec;
  fs::create_directories(home, ec);
  std::vector<std::string> env = {
      "HOME=" + home,
      "XDG_CONFIG_HOME=" + home + "/.config",
      "XDG_DATA_HOME=" + home + "/.local/share",
      "XDG_CACHE_HOME=" + home + "/.cache",
      "XDG_STATE_HOME=" + home + "/.local/state",
      "XDG_RUNTIME_DIR=" + m_tree.runtime(),
  };
  for (const std::string& e : m_display.ClientEnv()) env.push_back(e);
  return env;
}

bool MonitorSession::Start(std::string* error) {
  if (!m_tree.ok()) {
    *error = m_tree.error();
    return false;
  }
  if (!m_display.Start(m_artefacts, Environment(), error)) return false;
  ChildProcess::Options options;
  options.env = Environment();
  options.env.push_back("QT_QPA_PLATFORM=xcb");
  // In a sanitizer build, exit statuses stay the program's own.
  options.env.push_back("LSAN_OPTIONS=suppressions=" BRENNA_LSAN_SUPPRESSIONS);
  options.env.insert(options.env.end(), m_monitorEnv.begin(), m_monitorEnv.end());
  options.logPath = m_artefacts + "/monitor.log";
  return m_monitor.Start({m_tree.program()}, options, error);
}

bool MonitorSession::StartAndWaitForWindow(std::string* error) {
  if (!Start(error)) return false;
  if (!WaitForListener(m_tree.port(), &m_monitor, std::chrono::seconds(30), error)) return false;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (MainWindow() == 0) {
    if (!m_monitor.Running()) {
      *error = "the monitor ended (" + m_monitor.Describe() + ")";
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
  for (VirtualDisplay::WindowId w : m_display.FindWindows(kMonitorClass)) {
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
    if (!m_monitor.Running()) {
      *lastSeen += " (the monitor ended: " + m_monitor.Describe() + ")";
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
    for (VirtualDisplay::WindowId w : m_display.FindWindows(kMonitorClass)) {
      if (m_display.IsDialog(w) && m_display.Title(w) == caption) {
        *box = w;
        return true;
      }
    }
    if (!m_monitor.Running()) {
      *error = "the monitor ended without a box \"" + caption + "\" (" + m_monitor.Describe() +
               ")\nmonitor output:\n" + MonitorLog();
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "no box \"" + caption + "\" appeared";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

int MonitorSession::RunStationTool(const std::vector<std::string>& args, std::string* output) {
  std::vector<std::string> argv = {BRENNA_SEND_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess::Options options;
  options.env = Environment();
  const std::string log = m_tree.work() + "/brenna-send.log";
  std::remove(log.c_str());
  options.logPath = log;
  std::string how;
  const int status = RunToEnd(argv, options, std::chrono::seconds(60), &how);
  *output = ReadFileBytes(log) + "[" + how + "]";
  return status;
}

std::string MonitorSession::MonitorLog() const {
  return ReadFileBytes(m_artefacts + "/monitor.log");
}
