// The Windows setup programs of the windows build. The x64 one under
// wine64, in a prefix of its own as a fresh PC whose user is 张三:
// installed silently with its entries, firewall rule and Apps & features
// entry; the monitor from the install folder receives and archives the
// demo, brenna-history.exe and brenna-web.exe show it; the monitor started
// from its Start-menu entry, brenna-send.exe with wildcards and Chinese
// names, the uninstaller refusing while the programs run, an upgrade with
// netsh failing, the uninstall with and without the site. On a German PC
// (code page 1252): English pages, a failed rule held in a box, a site in
// a Chinese folder, /REMOVESITE beside another program's files. The x86
// one's contents.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
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
#include "VirtualDisplay.h"
#include "WindowsInstall.h"
#include "platform/Gbk.h"

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

// The PC's wine programs but netsh, which then cannot be started.
const char kNetshFails[] = "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe,netsh.exe=";

std::string SetupProgram(const std::string& arch) {
  return std::string(BRENNA_WINDOWS_BUILD_DIR) +
         "/package/BrennaCenter-" BRENNA_PROJECT_VERSION "-" + arch + "-setup.exe";
}

// UTF-16LE text (with its byte-order mark) as UTF-8.
std::string FromUtf16(const std::string& bytes) {
  std::string out(bytes.size() * 2, '\0');
  iconv_t cd = iconv_open("UTF-8", "UTF-16");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  char* in = const_cast<char*>(bytes.data());
  char* to = &out[0];
  std::size_t inLeft = bytes.size(), outLeft = out.size();
  iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

class WindowsSetup : public ::testing::Test {
 protected:
  // A PC of this language (zh_CN.UTF-8: Chinese, code page 936; de_DE.UTF-8:
  // German, 1252) whose user is 张三.
  explicit WindowsSetup(const std::string& locale = "zh_CN.UTF-8") {
    std::error_code ec;
    fs::create_directories(m_dir.path() / "wine-tmp", ec);
    fs::create_directories(work(), ec);
    m_env = {
        "WINEPREFIX=" + (m_dir.path() / "prefix").string(),
        "WINEDEBUG=-all",
        "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=",
        "LOCPATH=" BRENNA_WINDOWS_BUILD_DIR "/locales",
        "LC_ALL=" + locale,
        // Wine names the PC's user after the Linux one.
        "USER=张三",
        "LOGNAME=张三",
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
    return drive() / "users" / "张三" / "AppData" / "Local" / "BrennaCenter";
  }
  // What every setup and uninstall wrote into their log, as UTF-8.
  std::string SetupLog() const {
    return FromUtf16(
        ReadFileBytes((drive() / "ProgramData" / "BrennaCenter" / "setup.log").string()));
  }

  ProgramRun Wine(const std::vector<std::string>& args, std::chrono::milliseconds limit,
                  const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {BRENNA_WINE64};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess::Options options;
    options.env = m_env;
    options.env.insert(options.env.end(), env.begin(), env.end());
    return RunProgram(argv, options, limit);
  }
  // The PC's wine made (its users' folders).
  void MakePc() {
    const ProgramRun made = Wine({"cmd", "/c", "exit", "0"}, kFirstStart);
    ASSERT_EQ(0, made.status) << made.Report();
    ASSERT_TRUE(fs::is_directory(site().parent_path())) << site() << " is not the user's folder";
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

  void InstallSilently(const std::vector<std::string>& options = {}, int status = 0,
                       const std::vector<std::string>& env = {}) {
    std::vector<std::string> args = {SetupProgram("x64"), "/S"};
    args.insert(args.end(), options.begin(), options.end());
    const ProgramRun run = Wine(args, kFirstStart, env);
    ASSERT_EQ(status, run.status) << "the setup: " << run.Report() << "\n" << SetupLog();
  }
  // The uninstaller returns once it has done: the programs are gone then;
  // uninstall.exe itself, which waited, and with it the folder go once it
  // has ended.
  void UninstallSilently(const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {(installDir() / "uninstall.exe").string(), "/S"};
    args.insert(args.end(), options.begin(), options.end());
    const ProgramRun run = Wine(args, kPatience);
    ASSERT_EQ(0, run.status) << "the uninstaller: " << run.Report();
    ASSERT_FALSE(fs::exists(installDir() / "BrennaCenter.exe")) << "returned before its work";
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (fs::exists(installDir()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(fs::exists(installDir())) << "the install folder is still there";
  }

  // The installed station tool as a station PC runs it from cmd: the
  // README's wildcard (which cmd leaves to the program), a Chinese file, a
  // Chinese transfer name; its temporary files under 张三's folder. Each
  // run's transfer names, from the frames it wrote.
  void ExpectChineseNamesAndWildcards() {
    const fs::path folder = drive() / "送检";
    fs::create_directories(folder);
    WriteFileBytes((folder / "声级.txt").string(),
                   ReadFileBytes(std::string(BRENNA_DEMO_DIR) + "/sound.txt"));
    std::vector<std::string> demo;
    for (const DemoFile& f : DemoFiles(BRENNA_DEMO_DIR)) demo.push_back(DemoName(f));
    std::sort(demo.begin(), demo.end());
    const std::pair<std::vector<std::string>, std::vector<std::string>> runs[] = {
        {{"C:\\Program Files\\BrennaCenter\\data\\demo\\*.txt"}, demo},
        {{"C:\\送检\\声级.txt"}, {Gbk("声级")}},
        {{"-n", "二号线-声级", "C:\\送检\\声级.txt"}, {Gbk("二号线-声级")}}};
    for (const auto& [operands, names] : runs) {
      std::vector<std::string> args = {"-t", "-o", "C:\\frames.bin"};
      args.insert(args.end(), operands.begin(), operands.end());
      const ProgramRun sent = Installed("brenna-send.exe", args);
      EXPECT_EQ(0, sent.status) << operands.back() << ": " << sent.Report();
      std::vector<std::string> sentNames;
      for (const std::string& frame : SplitFrames(ReadFileBytes((drive() / "frames.bin").string())))
        if (sentNames.empty() || sentNames.back() != TransferName(frame))
          sentNames.push_back(TransferName(frame));
      EXPECT_EQ(names, sentNames) << operands.back();
    }
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
  // A site that names its port, as an earlier install leaves it.
  ASSERT_NO_FATAL_FAILURE(MakePc());
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

    // While they run the uninstaller removes nothing, and its caller learns
    // why from its status.
    const ProgramRun refused = Installed("uninstall.exe", {"/S"});
    EXPECT_EQ(3, refused.status) << refused.Report();
    EXPECT_TRUE(fs::is_regular_file(installDir() / "brenna-history.exe"));
    web.Stop();
    monitor.Stop();
  }

  // Started from its Start-menu entry (no standard error; without a desktop
  // here, so it ends at once): its journal names its file in the user's
  // letters and takes no standard error for a stuck one.
  EndWineSession();
  const std::string journalBefore = ReadFileBytes((site() / "monitor.log").string());
  const ProgramRun shortcut =
      Wine({"start", "/unix", (startMenu() / "BrennaCenter" / "数据监控.lnk").string()}, kPatience);
  std::string journal;
  const auto ended = std::chrono::steady_clock::now() + kPatience;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    journal = ReadFileBytes((site() / "monitor.log").string()).substr(journalBefore.size());
  } while (journal.find("BrennaCenter stopped") == std::string::npos &&
           std::chrono::steady_clock::now() < ended);
  EXPECT_NE(journal.find("BrennaCenter stopped"), std::string::npos) << shortcut.Report() << "\n"
                                                                     << journal;
  EXPECT_NE(journal.find(
                "; journal C:\\\\users\\\\张三\\\\AppData\\\\Local\\\\BrennaCenter\\\\monitor.log"),
            std::string::npos)
      << journal;
  EXPECT_EQ(journal.find("standard error takes no more lines"), std::string::npos) << journal;

  // An upgrade: the setup again over the install, the site as it was; a
  // firewall rule that cannot be made is said, with its own status.
  const std::string settings = ReadFileBytes((site() / "BrennaCenter.ini").string());
  const auto archiveSize = fs::file_size(site() / "archive.sqlite");
  ASSERT_NO_FATAL_FAILURE(InstallSilently({"/NOAUTOSTART"}, 4, {kNetshFails}));
  EXPECT_EQ(settings, ReadFileBytes((site() / "BrennaCenter.ini").string()));
  EXPECT_EQ(archiveSize, fs::file_size(site() / "archive.sqlite"));
  EXPECT_TRUE(fs::is_regular_file(installDir() / "BrennaCenter.exe"));
  EXPECT_FALSE(fs::exists(startMenu() / "StartUp" / "BrennaCenter.lnk"))
      << "/NOAUTOSTART still starts the monitor at log-on";
  EXPECT_FALSE(fs::exists(startMenu() / "StartUp" / "brenna-web.lnk"));
  EXPECT_EQ(std::string::npos, Registry(kUninstallKey).find("FirewallRule"));
  const std::string log = SetupLog();
  EXPECT_NE(log.find("无法添加防火墙规则“BrennaCenter stations”"), std::string::npos) << log;
  EXPECT_NE(log.find("安装结束，退出状态 4"), std::string::npos) << log;
  ExpectChineseNamesAndWildcards();

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

namespace {

// A PC set up for German: code page 1252, and a language the setup has no
// texts of.
class WindowsSetupOnAGermanPc : public WindowsSetup {
 protected:
  WindowsSetupOnAGermanPc() : WindowsSetup("de_DE.UTF-8") {}

  // The setup's pages titled in English, or a box over them (a dialog of
  // its own); 0 when none came.
  VirtualDisplay::WindowId WaitForWindow(VirtualDisplay& display, ChildProcess& setup, bool box) {
    const auto deadline = std::chrono::steady_clock::now() + kFirstStart;
    while (std::chrono::steady_clock::now() < deadline && setup.Running()) {
      for (VirtualDisplay::WindowId w :
           display.FindWindows("brennacenter-" BRENNA_PROJECT_VERSION "-x64-setup.exe"))
        if (display.IsDialog(w) == box &&
            display.Title(w).rfind("BrennaCenter " BRENNA_PROJECT_VERSION " Setup", 0) == 0)
          return w;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
  }
};

}  // namespace

// The site in a Chinese folder, named by a GBK Pallix.ini in the install
// folder, with its spool in a folder another program keeps its files in.
// The setup's pages and entries are English; with netsh failing the rule's
// failure holds the pages in a box until read, and the setup ends with
// status 4. Run again it opens the port the site names; the uninstall with
// /REMOVESITE takes the monitor's files and leaves the other program's.
TEST_F(WindowsSetupOnAGermanPc, SpeaksEnglishReadsAChineseSiteAndRemovesOnlyTheMonitorsFiles) {
  ASSERT_NO_FATAL_FAILURE(MakePc());
  const int port = FreePort();
  ASSERT_NE(0, port);
  const fs::path base = drive() / "检测数据" / "二号线", spool = drive() / "linedata";
  fs::create_directories(base);
  fs::create_directories(spool);
  fs::create_directories(installDir());
  WriteFileBytes(
      (installDir() / "Pallix.ini").string(),
      "[Site]\r\nBaseDir=" + Gbk("C:\\检测数据\\二号线") + "\r\nSpoolDir=C:\\linedata\r\n");
  WriteFileBytes((base / "BrennaCenter.ini").string(),
                 std::string("[") + kPortSectionGbk + "]\r\nPort=" + std::to_string(port) + "\r\n");
  for (const char* mine : {"A0517.DOING", "B0517.compress", "rtdata.dat"})
    WriteFileBytes((spool / mine).string(), "result");
  WriteFileBytes((spool / "other-program.dat").string(), "not the monitor's");

  // Interactively, with netsh failing: Next, Install, then the box; in a
  // wine session of its own on the display, not the one that made the PC.
  EndWineSession();
  VirtualDisplay display;
  std::string error;
  ASSERT_TRUE(display.Start(work(), m_env, &error)) << error;
  ChildProcess setup;
  ChildProcess::Options options;
  options.env = m_env;
  options.env.push_back(kNetshFails);
  for (const std::string& e : display.ClientEnv()) options.env.push_back(e);
  options.logPath = work() + "/setup.log";
  ASSERT_TRUE(setup.Start({BRENNA_WINE64, SetupProgram("x64")}, options, &error)) << error;
  const VirtualDisplay::WindowId pages = WaitForWindow(display, setup, false);
  ASSERT_NE(0u, pages) << "no English setup window: " << setup.Describe();
  // Next (the folder's page), then Install: each Return goes to the page
  // shown when it comes, so it is pressed until the files arrive.
  for (int press = 0; press < 6 && !fs::exists(installDir() / "BrennaCenter.exe"); ++press) {
    ASSERT_TRUE(display.PressKey(pages, "Return"));
    const auto wait = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(installDir() / "BrennaCenter.exe") &&
           std::chrono::steady_clock::now() < wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const VirtualDisplay::WindowId box = WaitForWindow(display, setup, true);
  ASSERT_NE(0u, box) << "no box said the rule failed: " << setup.Describe() << "\n" << SetupLog();
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-windows-setup-firewall-failed.png"), &error))
      << error;
  ASSERT_TRUE(display.PressKey(box, "Return"));
  // The installing page waits for its Next, then the finish page (which
  // names the site) for Finish.
  for (int press = 0; press < 8 && setup.Running(); ++press) {
    EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-windows-setup-last-page.png"), &error))
        << error;
    ASSERT_TRUE(display.PressKey(pages, "Return"));
    setup.WaitExit(std::chrono::seconds(5));
  }
  ASSERT_TRUE(setup.WaitExit(kPatience)) << "the setup still runs";
  EXPECT_EQ(4, setup.ExitStatus()) << setup.Describe();
  display.Stop();
  for (const char* entry : {"BrennaCenter monitor.lnk", "BrennaCenter web view.url",
                            "Documents.lnk", "Uninstall BrennaCenter.lnk"})
    EXPECT_TRUE(fs::is_regular_file(startMenu() / "BrennaCenter" / entry)) << entry;
  EXPECT_EQ(std::string::npos, Registry(kUninstallKey).find("FirewallRule"));
  std::string log = SetupLog();
  EXPECT_NE(log.find("The firewall rule \"BrennaCenter stations\" could not be added"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("The site: C:\\检测数据\\二号线 (spool: C:\\linedata)"), std::string::npos)
      << log;
  EXPECT_NE(log.find("The setup ends with exit status 4"), std::string::npos) << log;

  // Again, silently with netsh: the rule lets in the port the site names.
  EndWineSession();
  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  EXPECT_NE(Registry(kUninstallKey).find("FirewallRule    REG_SZ    TCP " + std::to_string(port)),
            std::string::npos);
  ExpectChineseNamesAndWildcards();

  // The site removed: the monitor's files and folders, not the other
  // program's file nor its folder, and the log says what was kept.
  ASSERT_NO_FATAL_FAILURE(UninstallSilently({"/REMOVESITE"}));
  EXPECT_FALSE(fs::exists(base));
  EXPECT_TRUE(fs::exists(drive() / "检测数据"));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(spool)) left.push_back(entry.path().filename());
  EXPECT_EQ(std::vector<std::string>{"other-program.dat"}, left);
  log = SetupLog();
  EXPECT_NE(log.find("Kept C:\\linedata: it holds files that are not the monitor's"),
            std::string::npos)
      << log;
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
