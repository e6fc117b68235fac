#include "MonitorProcess.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Station.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

// This build's monitor as the tree holds it, in a session of its own.
InstalledMonitor InTree(const InstallTree& tree) {
  const std::string home = tree.work() + "/home";
  std::error_code ec;
  fs::create_directories(home, ec);
  InstalledMonitor m;
  m.program = tree.program();
  m.stationTool = BRENNA_SEND_PATH;
  m.port = tree.port();
  m.spool = tree.spool();
  m.work = tree.work();
  m.session = {
      "HOME=" + home,
      "XDG_CONFIG_HOME=" + home + "/.config",
      "XDG_DATA_HOME=" + home + "/.local/share",
      "XDG_CACHE_HOME=" + home + "/.cache",
      "XDG_STATE_HOME=" + home + "/.local/state",
      "XDG_RUNTIME_DIR=" + tree.runtime(),
      "LSAN_OPTIONS=suppressions=" BRENNA_LSAN_SUPPRESSIONS,
  };
  return m;
}

}  // namespace

MonitorProcess::MonitorProcess()
    : MonitorProcess(std::string(BRENNA_PALLIX_DIR) + "/libPallix.so") {}

MonitorProcess::MonitorProcess(const std::string& libraryPath)
    : m_tree(std::in_place, InstallOptions{BRENNA_CENTER_PATH, libraryPath}),
      m_installed(InTree(*m_tree)),
      m_windowSystemEnv{"QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY"},
      m_logPath(m_installed.work + "/monitor.log") {}

MonitorProcess::MonitorProcess(const InstalledMonitor& installed)
    : m_installed(installed),
      m_windowSystemEnv{"QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY"},
      m_logPath(m_installed.work + "/monitor.log") {
  std::error_code ec;
  fs::create_directories(m_installed.work, ec);
}

MonitorProcess::~MonitorProcess() { m_monitor.Stop(); }

std::vector<std::string> MonitorProcess::Environment() const {
  std::vector<std::string> env = m_installed.session;
  env.insert(env.end(), m_windowSystemEnv.begin(), m_windowSystemEnv.end());
  return env;
}

void MonitorProcess::ShowOn(const std::vector<std::string>& displayEnv) {
  m_windowSystemEnv = displayEnv;
  m_windowSystemEnv.push_back("QT_QPA_PLATFORM=xcb");
}

bool MonitorProcess::Launch(std::string* error) {
  if (m_tree && !m_tree->ok()) {
    *error = m_tree->error();
    return false;
  }
  ChildProcess::Options options;
  options.env = Environment();
  options.env.insert(options.env.end(), m_monitorEnv.begin(), m_monitorEnv.end());
  options.logPath = m_logPath;
  options.openFileLimit = m_openFileLimit;
  std::vector<std::string> argv = m_installed.runner;
  argv.push_back(m_installed.program);
  return m_monitor.Start(argv, options, error);
}

bool MonitorProcess::WaitUntilListening(std::string* error) {
  if (!WaitForListener(m_installed.port, &m_monitor, std::chrono::seconds(60), error)) {
    *error += "\nmonitor output:\n" + Log();
    return false;
  }
  if (!m_watching) {
    m_watching = m_watch.Start(m_installed.spool);
    if (!m_watching) {
      *error = "cannot watch " + m_installed.spool;
      return false;
    }
  }
  return true;
}

bool MonitorProcess::Start(std::string* error) {
  if (Launch(error)) return WaitUntilListening(error);
  *error += "\nmonitor output:\n" + Log();
  return false;
}

bool MonitorProcess::Frames(const std::string& name, const std::vector<std::string>& descriptions,
                            std::vector<std::string>* frames, std::string* error) {
  const std::string out = m_installed.work + "/" + name + ".frames";
  std::vector<std::string> args = {"-t", "-n", name, "-o", out};
  for (size_t i = 0; i < descriptions.size(); ++i) {
    args.push_back(m_installed.work + "/" + name + "-" + std::to_string(i + 1) + ".txt");
    WriteFileBytes(args.back(), descriptions[i]);
  }
  std::string output;
  if (RunStationTool(args, &output) != 0) {
    *error = "brenna-send: " + output;
    return false;
  }
  *frames = SplitFrames(ReadFileBytes(out));
  if (frames->empty()) *error = "brenna-send wrote no frames";
  return !frames->empty();
}

int MonitorProcess::SendResults(const std::vector<std::string>& names,
                                const std::vector<std::string>& descriptions, std::string* output) {
  // A generous timeout: under load the monitor may take a while to let the
  // station in; the point is the status, not the speed.
  return SendWithTool({"-t", "-w", "60000"}, names, descriptions, output);
}

int MonitorProcess::SendResultsAsStation(const std::vector<std::string>& names,
                                         const std::vector<std::string>& descriptions,
                                         std::string* output) {
  return SendWithTool({"-t"}, names, descriptions, output);
}

int MonitorProcess::SendWithTool(std::vector<std::string> args,
                                 const std::vector<std::string>& names,
                                 const std::vector<std::string>& descriptions,
                                 std::string* output) {
  args.push_back("127.0.0.1:" + std::to_string(m_installed.port));
  for (size_t i = 0; i < names.size() && i < descriptions.size(); ++i) {
    args.push_back(m_installed.work + "/" + names[i] + ".txt");
    WriteFileBytes(args.back(), descriptions[i]);
  }
  return RunStationTool(args, output);
}

int MonitorProcess::RunStationTool(const std::vector<std::string>& args, std::string* output) {
  std::vector<std::string> argv = {m_installed.stationTool};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess::Options options;
  options.env = Environment();
  options.logPath = m_installed.work + "/brenna-send.log";
  const ProgramRun run = RunProgram(argv, options, std::chrono::seconds(180));
  *output = run.Report();
  return run.status;
}

long MonitorProcess::MemoryKb(const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(m_monitor.pid()) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

int MonitorProcess::OpenSockets() {
  const std::string dir = "/proc/" + std::to_string(m_monitor.pid()) + "/fd";
  int n = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::error_code linkEc;
    const std::string target = fs::read_symlink(it->path(), linkEc).string();
    if (!linkEc && target.rfind("socket:", 0) == 0) ++n;
  }
  return n;
}

std::string MonitorProcess::Log() const { return ReadFileBytes(m_logPath); }

std::string SmallResult(int device, const std::string& op) {
  return "7700 0 " + std::to_string(device) + "\n7701 0 " + op +
         "\n5071 1 1234\n5072 1 1187\n5075 2 23.4\n";
}

std::string LargeResult(unsigned seed, int items) {
  std::string text = "7700 0 3\n7701 0 " + std::to_string(2000 + seed) + "\n";
  for (int k = 0; k < items; ++k)
    text += std::to_string(9000 + k) + " 0 " +
            IncompressibleText(seed * 1000 + static_cast<unsigned>(k), 500) + "\n";
  return text;
}

std::string Concat(const std::vector<std::string>& frames, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < std::min(to, frames.size()); ++i) out += frames[i];
  return out;
}
