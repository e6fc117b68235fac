// The Windows setup programs of the windows build. The x64 one under
// wine64, in a wine prefix of its own as a fresh PC: installed silently into
// Program Files, with its Start-menu entries, log-on starts, firewall rule
// for the site's port and Apps & features entry; the monitor started from
// the install folder on the default site receives the demo from this
// build's brenna-send and archives it; the installed brenna-history.exe
// lists the seven results and the installed brenna-web.exe serves the live
// panel and the list to chromium; the setup run again over it (an upgrade)
// keeps the site; the silent uninstall removes the programs and keeps the
// site, and with /REMOVESITE removes it. The x86 one cannot run under
// wine64: what makensis took into it is checked, every program 32-bit.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "DemoData.h"
#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "MonitorSession.h"
#include "Station.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "WindowsInstall.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// A fresh prefix is made at the first start, which takes a while.
constexpr auto kPatience = std::chrono::seconds(60);
constexpr auto kFirstStart = std::chrono::seconds(240);

// "端口号" in GBK, as the monitor reads its section.
const char kPortSectionGbk[] = "\xB6\xCB\xBF\xDA\xBA\xC5";
const char* const kPrograms[] = {"BrennaCenter.exe", "libPallix.dll", "brenna-send.exe",
                                 "brenna-history.exe", "brenna-web.exe"};
const char kUninstallKey[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BrennaCenter";

std::string SetupProgram(const std::string& arch) {
  return std::string(BRENNA_WINDOWS_BUILD_DIR) +
         "/package/BrennaCenter-" BRENNA_PROJECT_VERSION "-" + arch + "-setup.exe";
}

class WindowsSetup : public ::testing::Test {
 protected:
  WindowsSetup() {
    std::error_code ec;
    fs::create_directories(m_dir.path() / "wine-tmp", ec);
    fs::create_directories(work(), ec);
    m_env = {
        "WINEPREFIX=" + (m_dir.path() / "prefix").string(),
        "WINEDEBUG=-all",
        "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=",
        "LOCPATH=" BRENNA_WINDOWS_BUILD_DIR "/locales",
        "LC_ALL=zh_CN.UTF-8",
        // A wine server of this prefix alone.
        "TMPDIR=" + (m_dir.path() / "wine-tmp").string(),
    };
  }
  ~WindowsSetup() override { EndWineSession(); }

  // Ends the prefix's wine server and its desktop: a desktop made by a
  // program run without a display (the setup) would leave the monitor
  // started after it none to make its window on.
  void EndWineSession() {
    ChildProcess::Options options;
    options.env = m_env;
    RunProgram({BRENNA_WINESERVER, "-k"}, options, std::chrono::seconds(30));
  }

  std::string work() const { return (m_dir.path() / "work").string(); }
  fs::path drive() const { return m_dir.path() / "prefix" / "drive_c"; }
  fs::path installDir() const { return drive() / "Program Files" / "BrennaCenter"; }
  fs::path startMenu() const {
    return drive() / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs";
  }
  // The default site: %LOCALAPPDATA%\BrennaCenter of the user wine runs as.
  fs::path site() const {
    std::error_code ec;
    for (const auto& user : fs::directory_iterator(drive() / "users", ec))
      if (user.path().filename() != "Public" && fs::is_directory(user.path() / "AppData" / "Local"))
        return user.path() / "AppData" / "Local" / "BrennaCenter";
    return {};
  }

  ProgramRun Wine(const std::vector<std::string>& args, std::chrono::milliseconds limit,
                  const std::string& log = "") {
    std::vector<std::string> argv = {BRENNA_WINE64};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess::Options options;
    options.env = m_env;
    options.logPath = log;
    return RunProgram(argv, options, limit);
  }
  // A program of the install folder, started from there.
  ProgramRun Installed(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {(installDir() / program).string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Wine(argv, kPatience);
  }
  std::string Registry(const std::string& key) {
    return Wine({"reg", "query", key}, kPatience).output;
  }

  void InstallSilently(const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {SetupProgram("x64"), "/S"};
    args.insert(args.end(), options.begin(), options.end());
    const ProgramRun run = Wine(args, kFirstStart);
    ASSERT_EQ(0, run.status) << "the setup: " << run.Report();
  }
  // The uninstaller runs on from a copy of itself once it has started it:
  // done when the install folder is gone.
  void UninstallSilently(const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {(installDir() / "uninstall.exe").string(), "/S"};
    args.insert(args.end(), options.begin(), options.end());
    const ProgramRun run = Wine(args, kPatience);
    ASSERT_EQ(0, run.status) << "the uninstaller: " << run.Report();
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (fs::exists(installDir()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(fs::exists(installDir())) << "the install folder is still there";
  }

  TempDir m_dir;
  std::vector<std::string> m_env;
};

// The CSV's rows: a header and one for every value the window showed.
std::ptrdiff_t CsvLines(const std::vector<DemoFile>& demo) {
  std::ptrdiff_t lines = 1;
  for (const DemoFile& f : demo)
    for (const DemoLine& l : f.lines) lines += FindRoute(l.code) != nullptr;
  return lines;
}

}  // namespace

TEST_F(WindowsSetup, InstallsSilentlyRunsTheLineAndUninstallsKeepingTheSite) {
  ASSERT_TRUE(fs::is_regular_file(SetupProgram("x64"))) << SetupProgram("x64");
  // The PC's wine made (its users' folders), and a site that names its
  // port, as an earlier install leaves it.
  const ProgramRun made = Wine({"cmd", "/c", "exit", "0"}, kFirstStart);
  ASSERT_EQ(0, made.status) << made.Report();
  ASSERT_FALSE(site().empty()) << "no %LOCALAPPDATA% in the prefix";
  const int port = FreePort();
  ASSERT_NE(0, port);
  fs::create_directories(site());
  WriteFileBytes((site() / "BrennaCenter.ini").string(),
                 std::string("[") + kPortSectionGbk + "]\r\nPort=" + std::to_string(port) + "\r\n");

  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  for (const char* program : kPrograms)
    EXPECT_TRUE(fs::is_regular_file(installDir() / program)) << program;
  for (const char* doc : {"README.md", "docs/operations.md", "docs/site-config.md",
                          "data/demo/brake.txt", "uninstall.exe"})
    EXPECT_TRUE(fs::is_regular_file(installDir() / doc)) << doc;
  // Chinese Windows: the entries' Chinese names.
  for (const char* entry : {"数据监控.lnk", "网页查看.url", "文档.lnk", "卸载 BrennaCenter.lnk"})
    EXPECT_TRUE(fs::is_regular_file(startMenu() / "BrennaCenter" / entry)) << entry;
  EXPECT_NE(ReadFileBytes((startMenu() / "BrennaCenter" / "网页查看.url").string())
                .find("URL=http://127.0.0.1:10088/"),
            std::string::npos);
  for (const char* start : {"BrennaCenter.lnk", "brenna-web.lnk"})
    EXPECT_TRUE(fs::is_regular_file(startMenu() / "StartUp" / start)) << start;
  const std::string entry = Registry(kUninstallKey);
  EXPECT_NE(entry.find("DisplayVersion    REG_SZ    " BRENNA_PROJECT_VERSION), std::string::npos)
      << entry;
  EXPECT_NE(entry.find("InstallLocation    REG_SZ    C:\\Program Files\\BrennaCenter"),
            std::string::npos)
      << entry;
  EXPECT_NE(entry.find("UninstallString"), std::string::npos) << entry;
  // The rule lets in the port the site names (wine's netsh keeps no rules:
  // what the setup asked it for is noted beside the entry).
  EXPECT_NE(entry.find("FirewallRule    REG_SZ    TCP " + std::to_string(port)), std::string::npos)
      << entry;

  // The monitor from its install folder, on the default site, in a wine
  // session of its own on the display it is shown on.
  EndWineSession();
  InstalledMonitor installed;
  installed.runner = {BRENNA_WINE64};
  installed.program = (installDir() / "BrennaCenter.exe").string();
  installed.stationTool = BRENNA_SEND_PATH;
  installed.port = port;
  installed.spool = (site() / "spool").string();
  installed.work = work();
  installed.session = m_env;
  {
    MonitorSession monitor(installed, kWindowsMonitorClass);
    std::string error;
    ASSERT_TRUE(monitor.StartAndWaitForWindow(&error)) << error << "\n" << monitor.Log();
    const std::vector<DemoFile> demo = DemoFiles(BRENNA_DEMO_DIR);
    ASSERT_EQ(7u, demo.size());
    std::vector<std::string> args = {"-t", "127.0.0.1:" + std::to_string(port)};
    for (const DemoFile& f : demo) args.push_back(f.path);
    std::string output;
    ASSERT_EQ(0, monitor.RunStationTool(args, &output)) << output;
    std::string title;
    EXPECT_TRUE(monitor.WaitForTitle(CountedTitle(7), kPatience, &title)) << title << "\n"
                                                                          << monitor.Log();

    // The archive has them once the monitor's writer has caught up.
    ProgramRun csv;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    do {
      csv = Installed("brenna-history.exe", {"--csv"});
      if (csv.status == 0 &&
          std::count(csv.output.begin(), csv.output.end(), '\n') == CsvLines(demo))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(0, csv.status) << "brenna-history.exe --csv: " << csv.Report();
    EXPECT_EQ(CsvLines(demo), std::count(csv.output.begin(), csv.output.end(), '\n')) << csv.output;
    for (const DemoFile& f : demo)
      EXPECT_NE(csv.output.find("," + DemoName(f) + "\r\n"), std::string::npos)
          << DemoName(f) << " is not listed:\n"
          << csv.output;

    // brenna-web from the install folder, in chromium.
    const int webPort = FreePort();
    ASSERT_NE(0, webPort);
    ChildProcess web;
    ChildProcess::Options options;
    options.env = m_env;
    options.logPath = work() + "/brenna-web.log";
    ASSERT_TRUE(StartListening(&web,
                               {BRENNA_WINE64, (installDir() / "brenna-web.exe").string(),
                                "--listen", "127.0.0.1:" + std::to_string(webPort)},
                               options, webPort, kPatience, &error))
        << error;
    HeadlessBrowser browser;
    ASSERT_TRUE(browser.Start(monitor.Environment(), work() + "/chromium.log", 1280, 900, &error))
        << error;
    const std::string url = "http://127.0.0.1:" + std::to_string(webPort);
    ASSERT_TRUE(browser.Navigate(url + "/", &error)) << error;
    EXPECT_TRUE(
        browser.WaitFor("document.title === '数据监控(7)' && "
                        "document.getElementById('state-head').textContent === '监控程序运行中'",
                        kPatience, &error))
        << error << "\nbrenna-web:\n"
        << ReadFileBytes(options.logPath);
    ASSERT_TRUE(browser.Screenshot(ArtefactPath("e2e-windows-setup-web-live.png"), &error))
        << error;
    ASSERT_TRUE(browser.Navigate(url + "/results", &error)) << error;
    std::string rows;
    ASSERT_TRUE(browser.Evaluate(
        "[...document.querySelectorAll('table.results tbody tr')].map(r => r.cells[4].textContent)",
        &rows, &error))
        << error;
    std::set<std::string> names;
    for (const json& name : json::parse(rows, nullptr, false))
      if (name.is_string()) names.insert(name.get<std::string>());
    EXPECT_EQ(7u, names.size()) << rows;
    for (const DemoFile& f : demo) EXPECT_EQ(1u, names.count(DemoName(f))) << rows;
    browser.Stop();
    web.Stop();
    monitor.Stop();
  }

  // An upgrade: the setup again over the install, the site as it was.
  const std::string settings = ReadFileBytes((site() / "BrennaCenter.ini").string());
  const auto archiveSize = fs::file_size(site() / "archive.sqlite");
  ASSERT_NO_FATAL_FAILURE(InstallSilently({"/NOAUTOSTART"}));
  EXPECT_EQ(settings, ReadFileBytes((site() / "BrennaCenter.ini").string()));
  EXPECT_EQ(archiveSize, fs::file_size(site() / "archive.sqlite"));
  EXPECT_TRUE(fs::is_regular_file(installDir() / "BrennaCenter.exe"));
  EXPECT_FALSE(fs::exists(startMenu() / "StartUp" / "BrennaCenter.lnk"))
      << "/NOAUTOSTART still starts the monitor at log-on";
  EXPECT_FALSE(fs::exists(startMenu() / "StartUp" / "brenna-web.lnk"));

  // Uninstalled: the programs and their entries gone, the site kept.
  ASSERT_NO_FATAL_FAILURE(UninstallSilently());
  EXPECT_FALSE(fs::exists(startMenu() / "BrennaCenter"));
  EXPECT_EQ(std::string::npos, Registry(kUninstallKey).find("InstallLocation"));
  EXPECT_EQ(settings, ReadFileBytes((site() / "BrennaCenter.ini").string()));
  EXPECT_EQ(archiveSize, fs::file_size(site() / "archive.sqlite"));

  // Asked to, the uninstall takes the site with it.
  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  ASSERT_NO_FATAL_FAILURE(UninstallSilently({"/REMOVESITE"}));
  EXPECT_FALSE(fs::exists(site())) << "the site is still there";
}

// The x86 setup: makensis's own account of what it took in lists every
// file the x64 one has, each program from the x86 sub-build and 32-bit,
// and the setup program itself is 32-bit.
TEST(WindowsSetupX86, HoldsTheSameFilesEveryProgram32Bit) {
  const std::string setup = SetupProgram("x86");
  ASSERT_TRUE(fs::is_regular_file(setup)) << setup;
  const std::string log = ReadFileBytes(setup + ".log");
  const std::string stage = std::string(BRENNA_WINDOWS_BUILD_DIR) + "/packaging/windows-setup/x86";
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    EXPECT_NE(log.find(std::string("File: \"") + program + "\""), std::string::npos) << log;
    ChildProcess::Options options;
    const ProgramRun dump =
        RunProgram({BRENNA_MINGW_X86_OBJDUMP, "-f", stage + "/" + program}, options, kPatience);
    ASSERT_EQ(0, dump.status) << dump.Report();
    EXPECT_NE(dump.output.find("file format pei-i386"), std::string::npos) << dump.output;
  }
  EXPECT_NE(log.find("File: \"operations.md\""), std::string::npos) << log;
  EXPECT_NE(log.find("File: \"brake.txt\""), std::string::npos) << log;
  ChildProcess::Options options;
  const ProgramRun dump = RunProgram({BRENNA_MINGW_X86_OBJDUMP, "-f", setup}, options, kPatience);
  ASSERT_EQ(0, dump.status) << dump.Report();
  EXPECT_NE(dump.output.find("file format pei-i386"), std::string::npos) << dump.output;
}
