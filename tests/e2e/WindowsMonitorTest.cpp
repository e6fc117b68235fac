// The Windows monitor (the windows build's BrennaCenter.exe, its window on
// the Windows API) under wine64 on a virtual display with a window manager,
// installed as a PC has it and fed by stations over TCP: it shows the demo
// results from this build's brenna-send and from brenna-send.exe display
// by display as the Linux window shows them, its port dialog stores the
// port, only the quit button and 是 end it, the end of the Windows session
// stops it and leaves what it has not shown in the spool, a PC whose code
// page is not 936 shows it the same, and a second start on its site ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "DemoData.h"
#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "Station.h"
#include "WindowsInstall.h"
#include "panel/IdleLook.h"
#include "panel/Resource.h"
#include "panel/ValueDisplayIds.h"
#include "platform/Gbk.h"

namespace {

// Wine starts a server and a desktop of its own first.
constexpr auto kPatience = std::chrono::seconds(60);

const Rgb kVerdictInks[] = {kRed, kBlue, kGreen, kBlack};

Rgb ToRgb(COLORREF c) {
  return Rgb{static_cast<uint8_t>(GetRValue(c)), static_cast<uint8_t>(GetGValue(c)),
             static_cast<uint8_t>(GetBValue(c))};
}

// The display's place, less the pixels rounding may move.
ScreenBox DisplayBox(int id, const ScreenBox& client) {
  const ScreenBox b = ControlOnScreen(id, client);
  return ScreenBox{b.x + 3, b.y + 3, std::max(0, b.width - 6), std::max(0, b.height - 6)};
}

// One screenshot of a session's main window.
struct Shot {
  ScreenImage image;
  ScreenBox client;
};

bool Take(MonitorSession& session, const std::string& png, Shot* shot, std::string* error) {
  if (!session.display().Geometry(session.MainWindow(), &shot->client)) {
    *error = "the main window is not there";
    return false;
  }
  return session.display().Screenshot(png, error) && shot->image.Load(png, session.work(), error);
}

// What the routing says the window shows for these results: every display
// in its judge colour, or without ink when it stays white; the operator of
// a device that sent nothing still idle, in red.
void ExpectDemo(ScreenChecks& check, const std::map<int, Shown>& screen) {
  check.Panel(IDC_ST_VETO, kRed, "veto legend");
  check.Panel(IDC_ST_PASSED, kBlue, "passed legend");
  check.Panel(IDC_ST_ADVISORY, kGreen, "advisory legend");
  check.Panel(IDC_ST_NOTJUDGED, kBlack, "not-judged legend");
  for (const int id : kValueDisplayIds) {
    const auto it = screen.find(id);
    const bool idle = it == screen.end() &&
                      std::find(std::begin(kOperatorDisplays), std::end(kOperatorDisplays), id) !=
                          std::end(kOperatorDisplays);
    const bool inked =
        it != screen.end() && !it->second.text.empty() && it->second.color != RGB(255, 255, 255);
    for (const Rgb& ink : kVerdictInks) {
      if (idle && ink == ToRgb(kIdleTextColor))
        check.Shows(id, ink, "operator still idle");
      else if (inked && ink == ToRgb(it->second.color))
        check.Shows(id, ink, "display in its verdict's colour");
      else
        check.Lacks(id, ink, "no other verdict's colour");
    }
  }
}

// The same display in the two windows: the text's ink of the same colour,
// of a like amount, at a like place and size within the display (the
// faces' rasterisers differ, so not to the pixel).
std::vector<std::string> CompareInk(const Shot& linux, const Shot& windows,
                                    const std::map<int, Shown>& screen) {
  std::vector<std::string> failures;
  for (const auto& [id, shown] : screen) {
    if (shown.text.empty() || shown.color == RGB(255, 255, 255)) continue;
    const Rgb ink = ToRgb(shown.color);
    const ScreenBox lb = DisplayBox(id, linux.client), wb = DisplayBox(id, windows.client);
    const ScreenBox le = linux.image.Extent(lb, ink), we = windows.image.Extent(wb, ink);
    const double ln = linux.image.Count(lb, ink), wn = windows.image.Count(wb, ink);
    if (le.width == 0 || we.width == 0) continue;  // ExpectDemo says which is missing
    // In fractions of the display: the centre across, the width and height.
    const double lc = (le.x - lb.x + le.width / 2.0) / lb.width;
    const double wc = (we.x - wb.x + we.width / 2.0) / wb.width;
    const double lw = static_cast<double>(le.width) / lb.width;
    const double ww = static_cast<double>(we.width) / wb.width;
    const double lh = static_cast<double>(le.height) / lb.height;
    const double wh = static_cast<double>(we.height) / wb.height;
    // Pixels per display area.
    const double ld = ln / (lb.width * lb.height), wd = wn / (wb.width * wb.height);
    const auto off = [](double a, double b, double ratio) {
      return a > b * ratio || b > a * ratio;
    };
    if (std::fabs(lc - wc) > 0.12 || off(lw, ww, 1.6) || off(lh, wh, 1.6) || off(ld, wd, 2.5)) {
      char text[320];
      std::snprintf(text, sizeof text,
                    "display %d (\"%s\"): Linux ink centre %.2f width %.2f height %.2f density "
                    "%.3f, Windows %.2f %.2f %.2f %.3f",
                    id, GbkToUtf8(shown.text).c_str(), lc, lw, lh, ld, wc, ww, wh, wd);
      failures.push_back(text);
    }
  }
  return failures;
}

std::vector<std::string> DemoPaths() {
  std::vector<std::string> paths;
  for (const DemoFile& f : DemoFiles(BRENNA_DEMO_DIR)) paths.push_back(f.path);
  return paths;
}

std::string Address(int port) { return "127.0.0.1:" + std::to_string(port); }

class WindowsMonitor : public ::testing::Test {
 protected:
  explicit WindowsMonitor(const std::string& locale = "zh_CN.UTF-8")
      : m_install(locale), m_windows(m_install.Monitor(), kWindowsMonitorClass) {}

  void StartWindows() {
    ASSERT_TRUE(m_install.ok()) << m_install.error();
    std::string error;
    ASSERT_TRUE(m_windows.StartAndWaitForWindow(&error)) << error << "\nmonitor output:\n"
                                                         << m_windows.Log();
  }

  // The station tool of this build sends `files` to the session's monitor.
  void Send(MonitorSession& session, const std::vector<std::string>& args) {
    std::string output;
    ASSERT_EQ(0, session.RunStationTool(args, &output)) << "brenna-send: " << output;
  }

  void ExpectTitle(MonitorSession& session, int count) {
    std::string seen;
    EXPECT_TRUE(session.WaitForTitle(CountedTitle(count), kPatience, &seen))
        << "the title reads \"" << seen << "\", not \"" << CountedTitle(count)
        << "\"\nmonitor output:\n"
        << session.Log();
  }

  WindowsInstall m_install;
  MonitorSession m_windows;
};

}  // namespace

TEST_F(WindowsMonitor, ShowsTheDemoFromBothStationToolsAsTheLinuxWindowDoes) {
  ASSERT_NO_FATAL_FAILURE(StartWindows());
  MonitorSession linux;
  std::string error;
  ASSERT_TRUE(linux.StartAndWaitForWindow(&error)) << error;

  const std::map<int, Shown> screen = ExpectedScreen(DemoFiles(BRENNA_DEMO_DIR));
  std::vector<std::string> args = {"-t", Address(linux.port())};
  for (const std::string& p : DemoPaths()) args.push_back(p);
  ASSERT_NO_FATAL_FAILURE(Send(linux, args));
  args[1] = Address(m_windows.port());
  ASSERT_NO_FATAL_FAILURE(Send(m_windows, args));
  ExpectTitle(linux, 7);
  ExpectTitle(m_windows, 7);

  const auto demo = [&](ScreenChecks& check) { ExpectDemo(check, screen); };
  const std::string linuxPng = ArtefactPath("e2e-windows-linux-demo.png");
  const std::string windowsPng = ArtefactPath("e2e-windows-demo.png");
  for (const std::string& f : LookUntilShown(linux, linuxPng, demo, kPatience))
    ADD_FAILURE() << "Linux window: " << f;
  for (const std::string& f : LookUntilShown(m_windows, windowsPng, demo, kPatience))
    ADD_FAILURE() << "Windows window: " << f;
  Shot linuxShot, windowsShot;
  ASSERT_TRUE(Take(linux, linuxPng, &linuxShot, &error)) << error;
  ASSERT_TRUE(Take(m_windows, windowsPng, &windowsShot, &error)) << error;
  for (const std::string& f : CompareInk(linuxShot, windowsShot, screen))
    ADD_FAILURE() << f << " (" << linuxPng << ", " << windowsPng << ")";

  // The same results again from the Windows station tool, under wine.
  std::vector<std::string> windowsArgs = {"-t", Address(m_windows.port())};
  for (const std::string& p : DemoPaths()) windowsArgs.push_back(WindowsPath(p));
  ChildProcess::Options options;
  options.env = m_install.Session();
  const ProgramRun sent =
      RunProgram(m_install.Windows("brenna-send.exe", windowsArgs), options, kPatience);
  ASSERT_EQ(0, sent.status) << "brenna-send.exe: " << sent.Report();
  ExpectTitle(m_windows, 14);
  const std::string againPng = ArtefactPath("e2e-windows-demo-from-windows.png");
  for (const std::string& f : LookUntilShown(m_windows, againPng, demo, kPatience))
    ADD_FAILURE() << "Windows window, from brenna-send.exe: " << f;
  ASSERT_TRUE(Take(m_windows, againPng, &windowsShot, &error)) << error;
  for (const std::string& f : CompareInk(linuxShot, windowsShot, screen))
    ADD_FAILURE() << f << " (" << linuxPng << ", " << againPng << ")";

  // The journal and the archive lie beside BrennaCenter.ini, in the
  // site's base directory, where brenna-history.exe looks for the archive.
  EXPECT_NE(ReadFileBytes(m_install.base() + "/monitor.log").find(" starting, process "),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(m_install.base() + "/archive.sqlite"));
  EXPECT_TRUE(std::filesystem::is_empty(m_install.spool()));
}

// Esc and the close box do nothing; 端口设置 stores a new port in
// BrennaCenter.ini and says it takes effect at the next start; the quit
// question answered 否, Esc or its close box leaves the monitor running, 是
// ends it with status 0.
TEST_F(WindowsMonitor, ThePortDialogStoresThePortAndOnlyYesQuits) {
  ASSERT_NO_FATAL_FAILURE(StartWindows());
  VirtualDisplay& display = m_windows.display();
  const VirtualDisplay::WindowId main = m_windows.MainWindow();
  ASSERT_NE(0u, main);
  ASSERT_TRUE(display.PressKey(main, "Escape"));
  ASSERT_TRUE(display.RequestClose(main));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(m_windows.monitor().Running()) << m_windows.Log();
  EXPECT_NE(0u, m_windows.MainWindow());

  // The focus starts on 退出程序; the next tab stop is 端口设置.
  ASSERT_TRUE(display.PressKey(main, "Tab"));
  ASSERT_TRUE(display.PressKey(main, "Return"));
  VirtualDisplay::WindowId dialog = 0;
  std::string error;
  ASSERT_TRUE(m_windows.WaitForDialog("端口设置", kPatience, &dialog, &error)) << error;
  // 确定 has the focus; the entry for the new port is two tab stops on.
  const int newPort = m_install.port() == 20001 ? 20002 : 20001;
  ASSERT_TRUE(display.PressKey(dialog, "Tab"));
  ASSERT_TRUE(display.PressKey(dialog, "Tab"));
  for (const char digit : std::to_string(newPort)) {
    const char key[2] = {digit, '\0'};
    ASSERT_TRUE(display.PressKey(dialog, key));
  }
  ASSERT_TRUE(display.PressKey(dialog, "Return"));
  VirtualDisplay::WindowId told = 0;
  ASSERT_TRUE(m_windows.WaitForDialog(kAppName, kPatience, &told, &error)) << error;
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-windows-port-saved.png"), &error)) << error;
  ASSERT_TRUE(display.PressKey(told, "Return"));
  const std::string ini = ReadFileBytes(m_install.base() + "/BrennaCenter.ini");
  EXPECT_NE(ini.find("Port=" + std::to_string(newPort)), std::string::npos) << ini;
  EXPECT_NE(ini.find(Gbk("[端口号]")), std::string::npos) << ini;

  // Back on 端口设置; the tab stop after it is 退出程序 again.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (m_windows.WaitForDialog("端口设置", std::chrono::milliseconds(0), &dialog, &error) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(display.PressKey(main, "Tab"));
  ASSERT_TRUE(display.PressKey(main, "Return"));
  VirtualDisplay::WindowId question = 0;
  ASSERT_TRUE(m_windows.WaitForDialog("提示信息", kPatience, &question, &error)) << error;
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-windows-quit-question.png"), &error)) << error;
  ASSERT_TRUE(display.PressKey(question, "n"));  // 否(N)
  // Esc and the question's close box are no 是 either: each time the
  // question can be asked again.
  const auto askAgain = [&] {
    const auto gone = std::chrono::steady_clock::now() + kPatience;
    while (m_windows.WaitForDialog("提示信息", std::chrono::milliseconds(0), &question, &error) &&
           std::chrono::steady_clock::now() < gone)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(display.PressKey(main, "Return"));
    ASSERT_TRUE(m_windows.WaitForDialog("提示信息", kPatience, &question, &error)) << error;
  };
  ASSERT_NO_FATAL_FAILURE(askAgain());
  ASSERT_TRUE(display.PressKey(question, "Escape"));
  ASSERT_NO_FATAL_FAILURE(askAgain());
  ASSERT_TRUE(display.RequestClose(question));
  ASSERT_NO_FATAL_FAILURE(askAgain());
  ASSERT_TRUE(display.PressKey(question, "Return"));  // 是, the default
  ASSERT_TRUE(m_windows.monitor().WaitExit(kPatience)) << "the monitor still runs after 是";
  EXPECT_TRUE(m_windows.monitor().Exited()) << m_windows.monitor().Describe();
  EXPECT_EQ(0, m_windows.monitor().ExitStatus()) << m_windows.monitor().Describe();
  EXPECT_NE(m_windows.Log().find("BrennaCenter stopped"), std::string::npos) << m_windows.Log();
}

// Windows ends the session (wine's end of session sends the same
// WM_QUERYENDSESSION and WM_ENDSESSION): the monitor stops receiving, says
// so in its journal and ends; the results it has not shown yet stay in the
// spool for the next start.
TEST_F(WindowsMonitor, TheEndOfTheSessionStopsItAndLeavesUnshownResultsInTheSpool) {
  ASSERT_NO_FATAL_FAILURE(StartWindows());
  constexpr int kResults = 20;
  std::vector<std::string> args = {"-t", Address(m_windows.port())};
  const std::string brake = ReadFileBytes(std::string(BRENNA_DEMO_DIR) + "/brake.txt");
  for (int i = 0; i < kResults; ++i) {
    args.push_back(m_windows.work() + "/brake-" + std::to_string(i) + ".txt");
    WriteFileBytes(args.back(), brake);
  }
  // Every result is in the spool once the tool has its receipts; each
  // takes half a second on screen.
  ASSERT_NO_FATAL_FAILURE(Send(m_windows, args));
  ChildProcess::Options options;
  options.env = m_install.Session();
  RunProgram({BRENNA_WINE64, "wineboot", "--end-session"}, options, kPatience);
  ASSERT_TRUE(m_windows.monitor().WaitExit(kPatience)) << "the monitor outlived its session";

  const std::string log = m_windows.Log();
  EXPECT_NE(log.find(": stopping reception"), std::string::npos) << log;
  EXPECT_NE(log.find("BrennaCenter stopped by "), std::string::npos) << log;
  int shown = 0;
  for (std::string::size_type at = log.find("' shown: "); at != std::string::npos;
       at = log.find("' shown: ", at + 1))
    ++shown;
  int waiting = 0;
  for (const auto& entry : std::filesystem::directory_iterator(m_install.spool()))
    if (entry.path().extension() == ".DOING") ++waiting;
  EXPECT_GT(waiting, 0) << "every result was shown before the session ended";
  EXPECT_EQ(kResults, shown + waiting) << log;
}

namespace {

// A Western European Windows: the system's code page is 1252.
class WindowsMonitorOnAWesternPc : public WindowsMonitor {
 protected:
  WindowsMonitorOnAWesternPc() : WindowsMonitor("C.UTF-8") {}
};

}  // namespace

// The texts are Unicode inside and GBK converted through code page 936:
// the title and the displays read right, and transfer names whose GBK
// bytes mean other letters in code page 1252 (a trail byte 0x5C among
// them) are spool names as on a Chinese PC.
TEST_F(WindowsMonitorOnAWesternPc, ShowsChineseAndTakesGbkTransferNames) {
  ASSERT_NO_FATAL_FAILURE(StartWindows());
  const std::string brake = std::string(BRENNA_DEMO_DIR) + "/brake.txt";
  ASSERT_NO_FATAL_FAILURE(
      Send(m_windows, {"-t", "-n", "錦-0815", Address(m_windows.port()), brake}));
  ASSERT_NO_FATAL_FAILURE(
      Send(m_windows, {"-t", "-n", "二号线-制动", Address(m_windows.port()), brake}));
  ExpectTitle(m_windows, 2);
  EXPECT_TRUE(std::filesystem::is_empty(m_install.spool()));
  const std::map<int, Shown> screen = ExpectedScreen({ReadDemo(brake)});
  const std::vector<std::string> failures = LookUntilShown(
      m_windows, ArtefactPath("e2e-windows-code-page-1252.png"),
      [&](ScreenChecks& check) { ExpectDemo(check, screen); }, kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;
  const std::string log = m_windows.Log();
  EXPECT_NE(log.find("result '錦-0815' shown"), std::string::npos) << log;
  EXPECT_NE(log.find("result '二号线-制动' shown"), std::string::npos) << log;
}

// One monitor per site: a second start on the same installation says so
// and ends, and the first one goes on receiving.
TEST_F(WindowsMonitor, ASecondStartOnTheSameSiteSaysSoAndEnds) {
  ASSERT_NO_FATAL_FAILURE(StartWindows());
  ChildProcess second;
  ChildProcess::Options options;
  options.env = m_windows.Environment();
  options.logPath = m_windows.work() + "/second.log";
  std::string error;
  ASSERT_TRUE(second.Start({BRENNA_WINE64, m_install.Monitor().program}, options, &error)) << error;
  // The box has no owner: a top-level window of the program, captioned
  // with its name.
  VirtualDisplay::WindowId box = 0;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (box == 0 && std::chrono::steady_clock::now() < deadline && second.Running()) {
    for (VirtualDisplay::WindowId w : m_windows.display().FindWindows(kWindowsMonitorClass))
      if (m_windows.display().Title(w) == kAppName) box = w;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_NE(0u, box) << "no box \"" << kAppName << "\": " << second.Describe() << "\n"
                     << ReadFileBytes(options.logPath);
  EXPECT_TRUE(m_windows.display().Screenshot(ArtefactPath("e2e-windows-second-start.png"), &error))
      << error;
  ASSERT_TRUE(m_windows.display().PressKey(box, "Return"));
  ASSERT_TRUE(second.WaitExit(kPatience));
  EXPECT_EQ(1, second.ExitStatus()) << second.Describe();
  EXPECT_NE(ReadFileBytes(options.logPath).find("already runs on this site"), std::string::npos)
      << ReadFileBytes(options.logPath);

  EXPECT_TRUE(m_windows.monitor().Running());
  ASSERT_NO_FATAL_FAILURE(Send(
      m_windows, {"-t", Address(m_windows.port()), std::string(BRENNA_DEMO_DIR) + "/speed.txt"}));
  ExpectTitle(m_windows, 1);
}
