#include "MonitorProcess.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Station.h"
#include "TempDir.h"

namespace fs = std::filesystem;

MonitorProcess::MonitorProcess()
    : m_tree(InstallOptions{BRENNA_CENTER_PATH, std::string(BRENNA_PALLIX_DIR) + "/libPallix.so"}) {
}

MonitorProcess::~MonitorProcess() { m_monitor.Stop(); }

std::vector<std::string> MonitorProcess::Environment() const {
  const std::string home = m_tree.work() + "/home";
  std::error_code ec;
  fs::create_directories(home, ec);
  return {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
          "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CACHE_HOME=" + home + "/.cache",
          "XDG_STATE_HOME=" + home + "/.local/state", "XDG_RUNTIME_DIR=" + m_tree.runtime(),
          "QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY",
          // In a sanitizer build, exit statuses stay the program's own.
          "LSAN_OPTIONS=suppressions=" BRENNA_LSAN_SUPPRESSIONS};
}

bool MonitorProcess::Start(std::string* error) {
  if (!m_tree.ok()) {
    *error = m_tree.error();
    return false;
  }
  ChildProcess::Options options;
  options.env = Environment();
  options.logPath = m_tree.work() + "/monitor.log";
  if (!m_monitor.Start({m_tree.program()}, options, error) ||
      !WaitForListener(m_tree.port(), &m_monitor, std::chrono::seconds(60), error)) {
    *error += "\nmonitor output:\n" + Log();
    return false;
  }
  if (!m_watching) {
    // The library has created the spool directory by the time it listens.
    m_watching = m_watch.Start(m_tree.spool());
    if (!m_watching) {
      *error = "cannot watch " + m_tree.spool();
      return false;
    }
  }
  return true;
}

bool MonitorProcess::Frames(const std::string& name, const std::string& description,
                            std::vector<std::string>* frames, std::string* error) {
  const std::string text = m_tree.work() + "/" + name + ".txt";
  const std::string out = m_tree.work() + "/" + name + ".frames";
  WriteFileBytes(text, description);
  ChildProcess::Options options;
  options.env = Environment();
  options.logPath = m_tree.work() + "/brenna-send.log";
  std::string how;
  if (RunToEnd({BRENNA_SEND_PATH, "-t", "-n", name, "-o", out, text}, options,
               std::chrono::seconds(60), &how) != 0) {
    *error = "brenna-send: " + how + "\n" + ReadFileBytes(options.logPath);
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
  std::vector<std::string> argv = {BRENNA_SEND_PATH, "-t", "-w", "60000",
                                   "127.0.0.1:" + std::to_string(m_tree.port())};
  for (size_t i = 0; i < names.size() && i < descriptions.size(); ++i) {
    const std::string text = m_tree.work() + "/" + names[i] + ".txt";
    WriteFileBytes(text, descriptions[i]);
    argv.push_back(text);
  }
  ChildProcess::Options options;
  options.env = Environment();
  options.logPath = m_tree.work() + "/brenna-send-net.log";
  std::error_code ec;
  fs::remove(options.logPath, ec);
  std::string how;
  const int status = RunToEnd(argv, options, std::chrono::seconds(180), &how);
  *output = how + "\n" + ReadFileBytes(options.logPath);
  return status;
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

std::string MonitorProcess::Log() const { return ReadFileBytes(m_tree.work() + "/monitor.log"); }

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
