// brenna-web.exe, the Windows build's web view, under wine, as a monitor
// PC gets it: beside libPallix.dll and a Pallix.ini that names the site,
// whose archive (written on Windows) it serves without being told where.
// Debian's headless chromium finds the live panel and the day's results
// with the same values and colours as the Linux brenna-web gives for the
// same archive. It listens on this computer only unless told otherwise,
// its port is its own (a second one exits 1, saying why), Ctrl+C stops it
// as SIGINT stops the Linux one, and on the LAN its token stays its
// owner's: one that others may read is refused; a request with a Range
// header far longer than one range costs it no thread. It names its line,
// serves the TV's page and the dispute view, and with --site overviews a
// line, refusing a settings file whose tokens others may read. On a PC
// whose code page is 1252 it serves an archive in a Chinese folder. Both
// architectures hold all they need but Windows itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveSample.h"
#include "ChildProcess.h"
#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "PeImports.h"
#include "Station.h"
#include "TempDir.h"
#include "TestSocket.h"
#include "WebPageScripts.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr auto kPatience = std::chrono::seconds(90);

// Z:\ is the whole Linux file system in a wine prefix.
std::string WinePath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

// brenna-web.exe installed beside libPallix.dll, with a Pallix.ini naming
// the site's base directory, which holds an archive written on Windows.
class InstalledWindowsWeb {
 public:
  InstalledWindowsWeb() : program_(dir_.path() / "program"), site_(dir_.path() / "site") {
    fs::create_directories(program_);
    fs::create_directories(site_);
    fs::copy_file(BRENNA_WEB_WINDOWS, program_ / "brenna-web.exe");
    fs::copy_file(BRENNA_WINDOWS_PALLIX, program_ / "libPallix.dll");
    WriteFileBytes((program_ / "Pallix.ini").string(),
                   "[Site]\r\nBaseDir=" + WinePath(site_) + "\r\n");
  }

  // The archive, as the Windows build's writer makes it (here, or at `at`).
  ProgramRun FillArchive(const fs::path& at = {}) {
    ChildProcess::Options options;
    return RunProgram(
        {BRENNA_RUN_WINDOWS, BRENNA_WINDOWS_ARCHIVE_FILL, WinePath(at.empty() ? Archive() : at)},
        options, kPatience);
  }
  fs::path Archive() const { return site_ / "archive.sqlite"; }
  const fs::path& Site() const { return site_; }
  std::vector<std::string> Command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {BRENNA_RUN_WINDOWS, (program_ / "brenna-web.exe").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  // Its output kept where only its owner may read it.
  ChildProcess::Options Logged(const std::string& name) const {
    const std::string path = dir_.file(name);
    WriteFileBytes(path, "");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ChildProcess::Options options;
    options.logPath = path;
    return options;
  }
  std::string Log(const std::string& name) const { return ReadFileBytes(dir_.file(name)); }
  // Its output once it holds `text`: the port listens a moment before the
  // program says so.
  std::string LogOnceSaid(const std::string& name, const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::string said = Log(name);
    while (said.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      said = Log(name);
    }
    return said;
  }

 private:
  TempDir dir_;
  fs::path program_, site_;
};

// The local addresses that listen on `port` (from the system's own tables:
// "127.0.0.1", "0.0.0.0", "::", ...).
std::multiset<std::string> ListeningOn(int port) {
  std::multiset<std::string> found;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream lines(ReadFileBytes(table));
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      const auto colon = local.find(':');
      if (state != "0A" || colon == std::string::npos ||
          std::stoi(local.substr(colon + 1), nullptr, 16) != port)
        continue;
      const std::string hex = local.substr(0, colon);
      if (hex == "0100007F") {
        found.insert("127.0.0.1");
      } else if (hex == "00000000") {
        found.insert("0.0.0.0");
      } else if (hex == std::string(32, '0')) {
        found.insert("::");
      } else {
        found.insert(hex);
      }
    }
  }
  return found;
}

// What a page at `port` shows: the live panel's displays with their texts
// and colours, its title and state, and the sample day's list.
struct Shown {
  json displays, title, state, rows;
};

Shown Look(HeadlessBrowser& browser, int port) {
  Shown shown;
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string error, value;
  EXPECT_TRUE(browser.Navigate(base + "/", &error)) << error;
  // The sample's last result, as the panel shows it once the page's script
  // has fitted every text into its display.
  if (!browser.WaitFor("document.getElementById('d1126').textContent === '=1+1' && "
                       "document.getElementById('state-head').textContent !== '' && "
                       "[...document.querySelectorAll('#panel .vd > *')].every(s => "
                       "s.textContent === '' || getComputedStyle(s).visibility === 'visible')",
                       kPatience, &error)) {
    browser.Evaluate(kPageSummary, &value, &error);
    ADD_FAILURE() << "port " << port << ": " << error << "\nthe page: " << value;
  }
  auto eval = [&](const std::string& expression) {
    std::string json, why;
    EXPECT_TRUE(browser.Evaluate(expression, &json, &why)) << why;
    return json::parse(json, nullptr, false);
  };
  shown.displays = eval(kReadDisplays);
  shown.title = eval("document.title");
  shown.state = eval(
      "[document.getElementById('state-head').textContent, "
      "document.getElementById('state-detail').textContent, "
      "document.getElementById('banner-head').textContent]");
  EXPECT_TRUE(browser.Navigate(base + "/results?day=" + kArchiveSampleDay, &error)) << error;
  shown.rows = eval(
      "[...document.querySelectorAll('table.results tbody tr')].map(r => "
      "[...r.cells].map(c => c.textContent))");
  return shown;
}

json Display(const json& displays, int id) {
  for (const json& d : displays)
    if (d["id"] == id) return d;
  return json();
}

}  // namespace

TEST(WebViewAcrossSystems, TheWindowsProgramServesThePanelAndResultsAsLinuxDoesOnAPortOfItsOwn) {
  InstalledWindowsWeb installed;
  const ProgramRun fill = installed.FillArchive();
  ASSERT_EQ(0, fill.status) << fill.Report();

  const int linuxPort = FreePort(), windowsPort = FreePort();
  ASSERT_NE(0, linuxPort);
  ASSERT_NE(0, windowsPort);
  std::string error;
  ChildProcess linuxWeb, windowsWeb;
  ASSERT_TRUE(StartListening(&linuxWeb,
                             {BRENNA_WEB_PATH, "--archive", installed.Archive().string(),
                              "--listen", "127.0.0.1:" + std::to_string(linuxPort)},
                             installed.Logged("linux.log"), linuxPort, kPatience, &error))
      << error;
  // The site's archive, found through the Pallix.ini beside the program.
  ASSERT_TRUE(StartListening(
      &windowsWeb, installed.Command({"--listen", "127.0.0.1:" + std::to_string(windowsPort)}),
      installed.Logged("windows.log"), windowsPort, kPatience, &error))
      << error;
  EXPECT_EQ("brenna-web: serving the line at http://127.0.0.1:" + std::to_string(windowsPort) +
                "/ (archive " + WinePath(installed.Archive()) + ")\n",
            installed.LogOnceSaid("windows.log", "\n"));

  HeadlessBrowser browser;
  TempDir browserLog;
  ASSERT_TRUE(browser.Start({}, browserLog.file("chromium.log"), 1280, 900, &error)) << error;
  const Shown onLinux = Look(browser, linuxPort);
  const Shown onWindows = Look(browser, windowsPort);
  EXPECT_EQ(onLinux.displays, onWindows.displays);
  EXPECT_EQ(onLinux.title, onWindows.title);
  EXPECT_EQ(onLinux.state, onWindows.state);
  EXPECT_EQ(onLinux.rows, onWindows.rows);
  // What they agree on: the sample's values in the colours they were shown
  // in, and its three results.
  const json op = Display(onWindows.displays, 1119), value = Display(onWindows.displays, 1126);
  EXPECT_EQ("工号7", op["text"]) << op;
  EXPECT_EQ("rgb(0, 0, 255)", op["fg"]) << op;
  EXPECT_EQ("rgb(255, 255, 255)", op["bg"]) << op;
  EXPECT_EQ("=1+1", value["text"]) << value;
  EXPECT_EQ("rgb(0, 0, 0)", value["fg"]) << value;
  ASSERT_EQ(3u, onWindows.rows.size()) << onWindows.rows;
  const std::string list = onWindows.rows.dump();
  for (const char* name : {"lane2-brake-0815", "lane2-speed-0815", "lane2-brake-0816"})
    EXPECT_NE(std::string::npos, list.find(name)) << list;
  EXPECT_EQ(json("监控程序未运行"), onWindows.state[0]) << "the sample's run has ended";
  browser.Stop();

  // More requests with a Range far longer than one range than it has
  // threads: each is answered and none costs a thread (each once did).
  std::string ranges = "bytes=0-1";
  while (ranges.size() < 8000) ranges += ",0-1";
  for (int i = 0; i <= 80; ++i) {
    const std::string request = (i < 80 ? "GET / HTTP/1.1\r\nRange: " + ranges + "\r\n"
                                        : std::string("GET /healthz HTTP/1.1\r\n")) +
                                "Connection: close\r\n\r\n";
    const test_socket::Handle s = test_socket::ConnectLoopback(windowsPort);
    test_socket::SendAll(s, request.data(), request.size());
    bool closed = false;
    const std::string answer = test_socket::Receive(s, 30000, &closed);
    test_socket::Close(s);
    ASSERT_EQ(0u, answer.rfind(i < 80 ? "HTTP/1.1 416 " : "HTTP/1.1 200 ", 0)) << i << answer;
  }

  // This computer only, and the port its own: a second brenna-web.exe, or
  // the Linux one, exits 1 saying why.
  EXPECT_EQ(std::multiset<std::string>{"127.0.0.1"}, ListeningOn(windowsPort));
  const std::string inUse =
      "brenna-web: cannot listen on 127.0.0.1:" + std::to_string(windowsPort) +
      " (Address already in use)\n";
  const ProgramRun second =
      RunProgram(installed.Command({"--listen", "127.0.0.1:" + std::to_string(windowsPort)}),
                 installed.Logged("second.log"), kPatience);
  EXPECT_EQ(1, second.status) << second.Report();
  EXPECT_EQ(inUse, second.output);
  const ProgramRun fromLinux =
      RunProgram({BRENNA_WEB_PATH, "--archive", installed.Archive().string(), "--listen",
                  "127.0.0.1:" + std::to_string(windowsPort)},
                 installed.Logged("linux-second.log"), kPatience);
  EXPECT_EQ(1, fromLinux.status) << fromLinux.Report();
  EXPECT_EQ(inUse, fromLinux.output);

  // Ctrl+C (wine hands SIGINT to the program as Ctrl+C) stops it in order.
  ASSERT_EQ(0, ::kill(windowsWeb.pid(), SIGINT));
  ASSERT_TRUE(windowsWeb.WaitExit(kPatience));
  EXPECT_EQ("exit status 0", windowsWeb.Describe());
  const std::string said = installed.Log("windows.log");
  EXPECT_EQ("brenna-web: stopped by Ctrl+C\n", said.substr(said.rfind("brenna-web:"))) << said;
  linuxWeb.Stop();
}

// On a PC whose code page is 1252 the arguments are read as Windows gives
// them, in Unicode: an archive in a Chinese folder is found and served.
TEST(WebViewAcrossSystems, TheWindowsProgramServesAnArchiveInAChineseFolderOnAWesternPc) {
  InstalledWindowsWeb installed;
  const fs::path archive = installed.Site() / "二号线" / "archive.sqlite";
  fs::create_directories(archive.parent_path());
  const ProgramRun fill = installed.FillArchive(archive);
  ASSERT_EQ(0, fill.status) << fill.Report();
  const int port = FreePort();
  ASSERT_NE(0, port);
  ChildProcess::Options options = installed.Logged("western.log");
  options.env = {"BRENNA_WINDOWS_LOCALE=C.UTF-8"};
  ChildProcess web;
  std::string error;
  ASSERT_TRUE(StartListening(&web,
                             installed.Command({"--archive", WinePath(archive), "--listen",
                                                "127.0.0.1:" + std::to_string(port)}),
                             options, port, kPatience, &error))
      << error;
  EXPECT_EQ("brenna-web: serving the line at http://127.0.0.1:" + std::to_string(port) +
                "/ (archive " + WinePath(archive) + ")\n",
            installed.LogOnceSaid("western.log", "\n"));
  HeadlessBrowser browser;
  TempDir browserLog;
  ASSERT_TRUE(browser.Start({}, browserLog.file("chromium.log"), 1280, 900, &error)) << error;
  EXPECT_EQ(3u, Look(browser, port).rows.size());
  browser.Stop();
  web.Stop();
}

TEST(WebViewAcrossSystems, TheWindowsProgramListensOnThisComputerOnlyByDefaultAndKeepsItsToken) {
  InstalledWindowsWeb installed;
  const ProgramRun fill = installed.FillArchive();
  ASSERT_EQ(0, fill.status) << fill.Report();
  std::string error;

  // Nothing set: the site's archive, on 127.0.0.1:10088 and nowhere else.
  {
    ChildProcess web;
    ASSERT_TRUE(StartListening(&web, installed.Command({}), installed.Logged("default.log"), 10088,
                               kPatience, &error))
        << error;
    EXPECT_EQ("brenna-web: serving the line at http://127.0.0.1:10088/ (archive " +
                  WinePath(installed.Archive()) + ")\n",
              installed.LogOnceSaid("default.log", "\n"));
    EXPECT_EQ(std::multiset<std::string>{"127.0.0.1"}, ListeningOn(10088));
    ASSERT_EQ(0, ::kill(web.pid(), SIGINT));
    ASSERT_TRUE(web.WaitExit(kPatience));
    EXPECT_EQ("exit status 0", web.Describe());
  }

  // The LAN, set in brenna-web.ini beside the monitor's settings: the token
  // is made in the site's base directory, used again on the next start, and
  // refused once others may read it.
  const int port = FreePort();
  ASSERT_NE(0, port);
  WriteFileBytes((installed.Site() / "brenna-web.ini").string(),
                 "[brenna-web]\r\nListen=0.0.0.0:" + std::to_string(port) + "\r\n");
  const fs::path tokenFile = installed.Site() / "web-token";
  auto get = [&](const std::string& path, const std::string& headers) {
    return GetFromTheLan(port, path, headers);
  };
  for (const char* log : {"lan.log", "lan-again.log"}) {
    SCOPED_TRACE(log);
    ChildProcess web;
    ASSERT_TRUE(
        StartListening(&web, installed.Command({}), installed.Logged(log), port, kPatience, &error))
        << error;
    const std::string said = installed.LogOnceSaid(log, "brenna-web: serving the line on");
    EXPECT_NE(std::string::npos,
              said.find("brenna-web: serving the line on 0.0.0.0:" + std::to_string(port)))
        << said;
    const std::string token = ReadFileBytes(tokenFile.string()).substr(0, 64);
    ASSERT_EQ(64u, token.size());
    EXPECT_EQ(std::string::npos, said.find(token)) << "the token is never printed";
    EXPECT_EQ(
        std::string(log) == "lan.log",
        said.find("a new access token was made (" + WinePath(tokenFile) + ")") != std::string::npos)
        << said;
    EXPECT_EQ(0u, get("/", "").rfind("HTTP/1.1 403 ", 0));
    EXPECT_EQ(0u,
              get("/metrics", "Authorization: Bearer " + token + "\r\n").rfind("HTTP/1.1 200 ", 0));
    ASSERT_EQ(0, ::kill(web.pid(), SIGINT));
    ASSERT_TRUE(web.WaitExit(kPatience));
  }
  // Wine shows the file's access list to Windows programs from its mode:
  // others' read bits become an entry for Everyone.
  fs::permissions(tokenFile, fs::perms::others_read, fs::perm_options::add);
  const ProgramRun refused =
      RunProgram(installed.Command({}), installed.Logged("refused.log"), kPatience);
  EXPECT_EQ(1, refused.status) << refused.Report();
  EXPECT_NE(std::string::npos,
            refused.output.find("brenna-web: the token file " + WinePath(tokenFile) +
                                " may be read by others ("))
      << refused.output;
  EXPECT_NE(std::string::npos,
            refused.output.find("let only yourself read it (its Properties, Security) if the "
                                "token has not gone astray, or delete it for a new one"))
      << refused.output;
}

// The line's name, the TV's page, the dispute view and a site's overview,
// from brenna-web.ini in the site's base directory; the overview reads a
// (Linux) line and refuses a settings file with tokens that others may read.
TEST(WebViewAcrossSystems, TheWindowsProgramNamesItsLineAndOverviewsASiteWithItsTokensKeptPrivate) {
  InstalledWindowsWeb installed;
  const ProgramRun fill = installed.FillArchive();
  ASSERT_EQ(0, fill.status) << fill.Report();
  const int linePort = FreePort(), windowsPort = FreePort(), sitePort = FreePort();
  ASSERT_NE(0, linePort);
  ASSERT_NE(0, windowsPort);
  ASSERT_NE(0, sitePort);
  const fs::path settings = installed.Site() / "brenna-web.ini";
  WriteFileBytes(settings.string(),
                 "[brenna-web]\r\nLineName=二号线\r\n[site]\r\nListen=127.0.0.1:" +
                     std::to_string(sitePort) + "\r\nLine1=127.0.0.1:" + std::to_string(linePort) +
                     "\r\nToken1=" + std::string(64, 'a') + "\r\nName1=一号线\r\n");
  fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write);
  std::string error;

  ChildProcess line, windowsWeb, site;
  ASSERT_TRUE(StartListening(&line,
                             {BRENNA_WEB_PATH, "--archive", installed.Archive().string(),
                              "--listen", "127.0.0.1:" + std::to_string(linePort)},
                             installed.Logged("line.log"), linePort, kPatience, &error))
      << error;
  ASSERT_TRUE(StartListening(
      &windowsWeb, installed.Command({"--listen", "127.0.0.1:" + std::to_string(windowsPort)}),
      installed.Logged("windows.log"), windowsPort, kPatience, &error))
      << error;
  const std::string panel = GetFrom(windowsPort, "127.0.0.1", "/", "");
  EXPECT_EQ(0u, panel.rfind("HTTP/1.1 200 ", 0)) << panel;
  EXPECT_NE(std::string::npos, panel.find("<span class=\"line\" id=\"line-name\">二号线</span>"))
      << panel;
  EXPECT_NE(std::string::npos, panel.find("<title>二号线 · ")) << panel;
  const std::string tv = GetFrom(windowsPort, "127.0.0.1", "/?tv", "");
  EXPECT_NE(std::string::npos, tv.find("<body class=\"live tv\">")) << tv;
  const std::string result = GetFrom(windowsPort, "127.0.0.1", "/results/1", "");
  EXPECT_EQ(0u, result.rfind("HTTP/1.1 200 ", 0)) << result;
  EXPECT_NE(std::string::npos, result.find("<table class=\"sources\">")) << result;
  EXPECT_NE(std::string::npos, result.find("<nav class=\"steps\">")) << result;

  // The overview, its settings file its user's alone, reaches the line.
  ASSERT_TRUE(StartListening(&site, installed.Command({"--site"}), installed.Logged("site.log"),
                             sitePort, kPatience, &error))
      << error;
  EXPECT_EQ("brenna-web: serving the overview of 1 lines at http://127.0.0.1:" +
                std::to_string(sitePort) + "/\n",
            installed.LogOnceSaid("site.log", "\n"));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::string health = GetFrom(sitePort, "127.0.0.1", "/healthz", "");
  while (health.find("lines reached: 1 of 1") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    health = GetFrom(sitePort, "127.0.0.1", "/healthz", "");
  }
  EXPECT_NE(std::string::npos, health.find("lines reached: 1 of 1")) << health;
  const std::string overview = GetFrom(sitePort, "127.0.0.1", "/", "");
  EXPECT_EQ(std::string::npos, overview.find(std::string(64, 'a'))) << "the token stays here";
  for (ChildProcess* p : {&site, &windowsWeb}) {
    ASSERT_EQ(0, ::kill(p->pid(), SIGINT));
    ASSERT_TRUE(p->WaitExit(kPatience));
    EXPECT_EQ("exit status 0", p->Describe());
  }
  line.Stop();

  // Wine shows others' read bits as an entry for Everyone.
  fs::permissions(settings, fs::perms::others_read, fs::perm_options::add);
  const ProgramRun refused =
      RunProgram(installed.Command({"--site"}), installed.Logged("refused.log"), kPatience);
  EXPECT_EQ(1, refused.status) << refused.Report();
  EXPECT_NE(std::string::npos,
            refused.output.find("brenna-web: the settings file " + WinePath(settings) +
                                " holds the lines' access tokens and may be read by others ("))
      << refused.output;
  EXPECT_NE(std::string::npos,
            refused.output.find("let only yourself read it (its Properties, Security) and check "
                                "that the tokens have not gone astray"))
      << refused.output;
}

TEST(WebViewAcrossSystems, BothArchitecturesImportOnlyWindowsOwnDlls) {
  const struct {
    const char* path;
    std::uint16_t machine;
    bool pe32Plus;
  } programs[] = {{BRENNA_WEB_WINDOWS, 0x8664, true}, {BRENNA_WEB_WINDOWS_X86, 0x014C, false}};
  for (const auto& p : programs) {
    SCOPED_TRACE(p.path);
    EXPECT_EQ("", WhyNotStandalone(p.path, p.machine, p.pe32Plus));
  }
}
