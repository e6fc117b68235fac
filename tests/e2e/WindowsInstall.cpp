#include "WindowsInstall.h"

#include <filesystem>

#include "FreePort.h"

namespace fs = std::filesystem;

namespace {

// "端口号" in GBK, as the monitor reads its section.
const char kPortSectionGbk[] = "\xB6\xCB\xBF\xDA\xBA\xC5";

std::string Build(const std::string& name) {
  return std::string(BRENNA_WINDOWS_BUILD_DIR) + "/" + name;
}

}  // namespace

std::string WindowsPath(const std::string& linuxPath) {
  std::string path = "Z:" + linuxPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

WindowsInstall::WindowsInstall(const std::string& codePageLocale) {
  std::error_code ec;
  for (const std::string& dir : {root() + "/bin", base(), work(), root() + "/wine-tmp"})
    fs::create_directories(dir, ec);
  for (const char* file : {"BrennaCenter.exe", "libPallix.dll"}) {
    fs::copy_file(Build(std::string("bin/") + file), root() + "/bin/" + file, ec);
    if (ec) {
      m_error = "cannot copy " + Build(std::string("bin/") + file) + ": " + ec.message();
      return;
    }
  }
  WriteFileBytes(root() + "/bin/Pallix.ini", "[Site]\r\nBaseDir=" + WindowsPath(base()) + "\r\n");
  m_port = FreePort();
  if (m_port == 0) {
    m_error = "no free TCP port";
    return;
  }
  WriteFileBytes(base() + "/BrennaCenter.ini", std::string("[") + kPortSectionGbk +
                                                   "]\r\nPort=" + std::to_string(m_port) + "\r\n");
  m_monitor.runner = {BRENNA_WINE64};
  m_monitor.program = root() + "/bin/BrennaCenter.exe";
  m_monitor.stationTool = BRENNA_SEND_PATH;
  m_monitor.port = m_port;
  m_monitor.spool = spool();
  m_monitor.work = work();
  m_monitor.session = {
      "WINEPREFIX=" + Build("wineprefix"),
      "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=",
      "LOCPATH=" + Build("locales"),
      "LC_ALL=" + codePageLocale,
      // A wine server of its own: its desktop takes the display the
      // monitor is shown on.
      "TMPDIR=" + root() + "/wine-tmp",
  };
}

WindowsInstall::~WindowsInstall() {
  ChildProcess::Options options;
  options.env = m_monitor.session;
  RunProgram({BRENNA_WINESERVER, "-k"}, options, std::chrono::seconds(30));
}

std::vector<std::string> WindowsInstall::Windows(const std::string& program,
                                                 const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {BRENNA_WINE64, Build("bin/" + program)};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}
