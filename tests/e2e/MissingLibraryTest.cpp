// The installed monitor without its library file: it tells the operator in
// a message box, waits for the box to be closed, and then ends with status
// -1 without ever listening or reading its site.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "MonitorSession.h"
#include "Station.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);

// The caption of the monitor's message boxes (its program name).
const char kBoxCaption[] = "BrennaCenter";

bool Listening(int port) {
  std::string error;
  return WaitForListener(port, nullptr, std::chrono::milliseconds(0), &error);
}

}  // namespace

TEST(MissingLibrary, TheMonitorSaysSoAndEndsWithStatusMinusOneOnceTheBoxIsClosed) {
  MonitorSession session(/*withLibrary=*/false);
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;
  VirtualDisplay& display = session.display();

  // The main window may already stand (it maximises before it loads the
  // library); the box is a dialog of its own with the program's caption.
  VirtualDisplay::WindowId box = 0;
  const auto deadline = Clock::now() + kPatience;
  while (box == 0) {
    for (VirtualDisplay::WindowId w : display.FindWindows(kMonitorClass)) {
      if (display.IsDialog(w) && display.Title(w) == kBoxCaption) box = w;
    }
    if (box != 0) break;
    ASSERT_TRUE(session.monitor().Running())
        << "the monitor ended without a message (" << session.monitor().Describe()
        << ")\nmonitor output:\n" << session.MonitorLog();
    ASSERT_LT(Clock::now(), deadline) << "no message box appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  std::string shotError;
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-missing-library.png"), &shotError))
      << shotError;

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
