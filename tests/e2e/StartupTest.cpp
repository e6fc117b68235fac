// The installed monitor when its start goes wrong, on a virtual display:
// without its library file it says so and ends with status -1 once the box
// is closed; with a library it cannot use, or with its port taken, it says
// so once, in a box beside a window that comes up complete, and runs on; on
// a desktop whose buses never answer, it comes up and receives all the same;
// a second one on a site already watched says so and ends with status 1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "SilentBus.h"
#include "Station.h"
#include "TempDir.h"
#include "panel/Resource.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

// The caption of the monitor's message boxes (its program name).
const char kBoxCaption[] = "BrennaCenter";

bool Listening(int port) {
  std::string error;
  return WaitForListener(port, nullptr, std::chrono::milliseconds(0), &error);
}

// What a window that got through its whole start shows: the legend in its
// colours (set after the pipeline) and "设备空闲" in red on the operator
// displays (the network task's first act).
void FullyStarted(ScreenChecks& check) {
  check.Panel(IDC_ST_VETO, kRed, "veto legend");
  check.Panel(IDC_ST_NOTJUDGED, kBlack, "not-judged legend");
  check.Shows(1119, kRed, "brake operator (idle)");
  check.Shows(1018, kRed, "speed operator (idle)");
}

// The monitor's dialog boxes on screen.
int DialogCount(MonitorSession& session) {
  int n = 0;
  for (VirtualDisplay::WindowId w : session.display().FindWindows(kMonitorClass))
    n += session.display().IsDialog(w) ? 1 : 0;
  return n;
}

// Waits until none of the monitor's dialog boxes is on screen.
bool WaitForNoDialog(MonitorSession& session) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (DialogCount(session) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A listener on every interface, as another program holding the port.
class PortHolder {
 public:
  explicit PortHolder(int port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
           listen(m_fd, 4) == 0;
  }
  ~PortHolder() {
    if (m_fd >= 0) close(m_fd);
  }
  bool ok() const { return m_ok; }

 private:
  int m_fd = -1;
  bool m_ok = false;
};

}  // namespace

TEST(MonitorStartup, WithoutItsLibraryItSaysSoAndEndsWithStatusMinusOne) {
  MonitorSession session(/*libraryPath=*/"");
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;
  VirtualDisplay& display = session.display();

  // The main window may already stand (it maximises before it loads the
  // library); the message is a dialog of its own with the program's caption.
  VirtualDisplay::WindowId box = 0;
  ASSERT_TRUE(session.WaitForDialog(kBoxCaption, kPatience, &box, &error)) << error;
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-missing-library.png"), &error)) << error;

  // While the box waits for the operator the program runs, but nothing of
  // the pipeline has started: no listener, and the site's spool directory
  // (which loading the site would create) does not exist.
  EXPECT_TRUE(session.monitor().Running());
  EXPECT_FALSE(Listening(session.tree().port()));
  EXPECT_FALSE(std::filesystem::exists(session.tree().spool()));

  // Closing the box (as its close button does) ends the program.
  ASSERT_TRUE(display.RequestClose(box));
  ASSERT_TRUE(session.monitor().WaitExit(kPatience))
      << "the monitor still runs after its message box was closed";
  EXPECT_TRUE(session.monitor().Exited()) << session.monitor().Describe();
  EXPECT_EQ(255, session.monitor().ExitStatus()) << session.monitor().Describe();
  EXPECT_FALSE(std::filesystem::exists(session.tree().spool()));
}

TEST(MonitorStartup, WithALibraryOfTheWrongRecordSizeItSaysSoOnceAndRunsWithoutListening) {
  MonitorSession session(BRENNA_WRONG_SIZE_LIBRARY);
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;

  VirtualDisplay::WindowId box = 0;
  ASSERT_TRUE(session.WaitForDialog(kBoxCaption, kPatience, &box, &error)) << error;
  EXPECT_TRUE(session.display().Screenshot(ArtefactPath("e2e-wrong-library.png"), &error)) << error;

  // The box stands beside the window, which finishes its start without
  // waiting for it and without a second message.
  const std::vector<std::string> failures =
      LookUntilShown(session, ArtefactPath("e2e-wrong-library-after.png"), FullyStarted, kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;
  EXPECT_EQ(1, DialogCount(session));
  ASSERT_TRUE(session.display().RequestClose(box));
  ASSERT_TRUE(WaitForNoDialog(session)) << "the box did not close";

  // The site's settings are never read: no port from its INI, no spool
  // directory.
  EXPECT_TRUE(session.monitor().Running()) << session.monitor().Describe();
  EXPECT_NE(0u, session.MainWindow());
  EXPECT_FALSE(Listening(session.tree().port()));
  EXPECT_FALSE(std::filesystem::exists(session.tree().spool()));
}

TEST(MonitorStartup, WithItsPortTakenItSaysSoOnceAndRunsOn) {
  MonitorSession session;
  ASSERT_TRUE(session.tree().ok()) << session.tree().error();
  PortHolder holder(session.tree().port());
  ASSERT_TRUE(holder.ok()) << "cannot take port " << session.tree().port();
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;

  VirtualDisplay::WindowId box = 0;
  ASSERT_TRUE(session.WaitForDialog(kBoxCaption, kPatience, &box, &error)) << error;
  EXPECT_TRUE(session.display().Screenshot(ArtefactPath("e2e-port-in-use.png"), &error)) << error;

  // Complete beside the unanswered box, which then closes as asked.
  const std::vector<std::string> failures =
      LookUntilShown(session, ArtefactPath("e2e-port-in-use-after.png"), FullyStarted, kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;
  EXPECT_EQ(1, DialogCount(session));
  ASSERT_TRUE(session.display().RequestClose(box));
  ASSERT_TRUE(WaitForNoDialog(session)) << "the box did not close";
  EXPECT_TRUE(session.monitor().Running()) << session.monitor().Describe();
  // The site was read (its spool directory exists); only the port failed.
  EXPECT_TRUE(std::filesystem::is_directory(session.tree().spool()));
}

TEST(MonitorStartup, OnADesktopWhoseBusesNeverAnswerTheWindowAppearsAndReceives) {
  MonitorSession session;
  ASSERT_TRUE(session.tree().ok()) << session.tree().error();
  // The session bus and the accessibility bus take the connection and never
  // answer. Qt's accessibility bridge connects to them on the main thread
  // while the application object is being built.
  SilentBus silent(session.tree().work() + "/silent-bus");
  ASSERT_FALSE(silent.address().empty());
  session.AddMonitorEnvironment("DBUS_SESSION_BUS_ADDRESS=" + silent.address());
  session.AddMonitorEnvironment("AT_SPI_BUS_ADDRESS=" + silent.address());
  std::string error;
  ASSERT_TRUE(session.StartAndWaitForWindow(&error)) << error << "\nmonitor output:\n"
                                                     << session.Log();
  const std::vector<std::string> failures =
      LookUntilShown(session, ArtefactPath("e2e-silent-bus.png"), FullyStarted, kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;

  const std::string result = session.tree().work() + "/brake.txt";
  WriteFileBytes(result, "7700 0 25\n7701 0 0815\n5071 1 1234\n");
  std::string output;
  ASSERT_EQ(0, session.RunStationTool(
                   {"-t", "127.0.0.1:" + std::to_string(session.tree().port()), result}, &output))
      << output;
  std::string seen;
  EXPECT_TRUE(session.WaitForTitle(CountedTitle(1), kPatience, &seen)) << seen;
  EXPECT_EQ(0, DialogCount(session));
}

TEST(MonitorStartup, ASecondMonitorOnTheSameSiteSaysSoAndEndsHavingTakenNothing) {
  MonitorSession session;
  std::string error;
  ASSERT_TRUE(session.StartAndWaitForWindow(&error)) << error << "\n" << session.Log();
  ChildProcess second;
  ChildProcess::Options options;
  options.env = session.Environment();
  options.logPath = session.work() + "/second.log";
  ASSERT_TRUE(second.Start({session.tree().program()}, options, &error)) << error;
  VirtualDisplay::WindowId box = 0;
  ASSERT_TRUE(session.WaitForDialog(kBoxCaption, kPatience, &box, &error))
      << error << "\n"
      << ReadFileBytes(options.logPath);

  // While its box stands, a burst: every result is the first monitor's.
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back("burst-" + std::to_string(i));
  std::string output;
  ASSERT_EQ(0, session.SendResults(
                   names, std::vector<std::string>(names.size(), SmallResult(25, "0815")), &output))
      << output;
  ASSERT_TRUE(session.watch().WaitUntilShown({names.begin(), names.end()}, kPatience));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  const auto shownByFirst = [&] {
    int n = 0;
    for (const std::string& name : names)
      n += session.Log().find("result '" + name + "' shown") != std::string::npos ? 1 : 0;
    return n;
  };
  while (shownByFirst() < 12 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(12, shownByFirst()) << ReadFileBytes(options.logPath);

  ASSERT_TRUE(session.display().RequestClose(box));
  ASSERT_TRUE(second.WaitExit(kPatience)) << "the second monitor still runs after its box";
  EXPECT_EQ(1, second.ExitStatus()) << second.Describe();
  EXPECT_NE(std::string::npos, ReadFileBytes(options.logPath).find("already runs on this site"))
      << ReadFileBytes(options.logPath);
  // The first one's journal never heard of it.
  const std::string journal =
      ReadFileBytes(session.tree().work() + "/home/.local/state/brennacenter/monitor.log");
  EXPECT_EQ(std::string::npos, journal.find("without its stop line")) << journal;
  EXPECT_TRUE(session.monitor().Running());
}
