// The installed monitor on a virtual display with a window manager, fed by
// stations over real TCP: results from the station tool reach their device
// groups and the title counts them; chunks reassemble in any order and in
// any pieces across the transport; hostile streams neither stop reception
// nor write outside the spool directory; quitting asks first.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "Station.h"
#include "TempDir.h"
#include "panel/Resource.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

// The installation as the tests build it; the monitor adds the spool
// directory and must add nothing else.
const std::set<std::string> kInstalled = {
    "bin",
    "bin/BrennaCenter",
    "lib",
    "lib/brennacenter",
    "lib/brennacenter/libPallix.so",
    "lib/brennacenter/Pallix.ini",
    "base",
    "base/BrennaCenter.ini",
    "base/spool",
};

std::string Join(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "(nothing)" : out;
}

class MonitorOnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m_session.StartAndWaitForWindow(&error)) << error << "\nmonitor output:\n"
                                                         << m_session.Log();
  }

  std::string Work(const std::string& name) { return m_session.tree().work() + "/" + name; }

  // brenna-send with these arguments must succeed.
  void Station(const std::vector<std::string>& args) {
    std::string output;
    const int status = m_session.RunStationTool(args, &output);
    ASSERT_EQ(0, status) << "brenna-send failed: " << output;
  }

  bool WaitForDialog(const std::string& caption, VirtualDisplay::WindowId* box) {
    std::string error;
    const bool found = m_session.WaitForDialog(caption, kPatience, box, &error);
    EXPECT_TRUE(found) << error;
    return found;
  }

  std::string Address() { return "127.0.0.1:" + std::to_string(m_session.tree().port()); }

  void ExpectTitle(int count) {
    std::string seen;
    EXPECT_TRUE(m_session.WaitForTitle(CountedTitle(count), kPatience, &seen))
        << "the title reads \"" << seen << "\", not \"" << CountedTitle(count) << "\""
        << "\nmonitor output:\n"
        << m_session.Log();
  }

  // The installation holds nothing it did not hold before the results, and
  // every result has left the spool directory.
  void ExpectNothingLeftBehind() {
    EXPECT_EQ(kInstalled, m_session.tree().InstalledPaths())
        << "in the install tree: " << Join(m_session.tree().InstalledPaths());
    EXPECT_TRUE(m_session.tree().SpoolNames().empty())
        << "left in the spool directory: " << Join(m_session.tree().SpoolNames());
  }

  MonitorSession m_session;
  std::string m_error;
};

const char kBrake[] =
    "# brake station, lane 2\n"
    "7700 0 25\n"
    "7701 0 0815\n"
    "5071 1 1234\n"
    "5072 1 1187\n"
    "5075 2 23.4\n"
    "5076 1 5.1\n";

const char kHeadlamp[] =
    "# headlamp station\n"
    "7700 0 11\n"
    "7701 0 0816\n"
    "5157 1 15000\n"
    "5159 3 0.85\n";

const char kSpeed[] =
    "# speedometer\n"
    "7700 0 3\n"
    "7701 0 0817\n"
    "5000 2 36.1\n"
    "5001 4 -9.8\n";

}  // namespace

TEST_F(MonitorOnDisplay, ShowsEachStationsResultInItsGroupAndCountsIt) {
  WriteFileBytes(Work("brake.txt"), kBrake);
  WriteFileBytes(Work("headlamp.txt"), kHeadlamp);
  WriteFileBytes(Work("speed.txt"), kSpeed);
  // Three stations, one connection each.
  ASSERT_NO_FATAL_FAILURE(Station({"-t", "-n", "lane2-brake-0815", Address(), Work("brake.txt")}));
  ASSERT_NO_FATAL_FAILURE(
      Station({"-t", "-n", "lane2-headlamp-0816", Address(), Work("headlamp.txt")}));
  ASSERT_NO_FATAL_FAILURE(Station({"-t", "-n", "lane2-speed-0817", Address(), Work("speed.txt")}));

  ExpectTitle(3);
  ExpectNothingLeftBehind();

  // The window repaints once the scan has gone back to the event loop.
  const std::vector<std::string> failures = LookUntilShown(
      m_session, ArtefactPath("e2e-monitor.png"),
      [](ScreenChecks& check) {
        check.Panel(IDC_ST_VETO, kRed, "veto legend");
        check.Panel(IDC_ST_PASSED, kBlue, "passed legend");
        check.Panel(IDC_ST_ADVISORY, kGreen, "advisory legend");
        check.Panel(IDC_ST_NOTJUDGED, kBlack, "not-judged legend");
        // Operator numbers in blue where "设备空闲" was red.
        check.Shows(1119, kBlue, "brake operator");
        check.Lacks(1119, kRed, "brake operator");
        check.Shows(1157, kBlue, "headlamp operator");
        check.Lacks(1157, kRed, "headlamp operator");
        check.Shows(1018, kBlue, "speed operator");
        check.Lacks(1018, kRed, "speed operator");
        // Values in their verdict's colour.
        check.Shows(1126, kBlack, "brake force left (judged)");
        check.Shows(1138, kRed, "brake sum (veto)");
        check.Shows(1082, kBlue, "headlamp intensity (passed)");
        check.Shows(1092, kGreen, "headlamp offset (advisory)");
        check.Shows(1019, kRed, "speed value (veto)");
        check.Shows(1020, kBlack, "speed error (not judged)");
        // A group no station reported to is still idle.
        check.Shows(1073, kRed, "sound level operator (idle)");
      },
      kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;
}

namespace {

// A speed result with values that do not compress, so its transfer takes
// several chunks.
std::string ManyChunkDescription() {
  std::string text = "7700 0 3\n7701 0 4711\n5000 1 40.2\n";
  for (int i = 0; i < 16; ++i)
    text += std::to_string(9001 + i) + " 0 " + IncompressibleText(100 + i, 500) + "\n";
  return text;
}

}  // namespace

TEST_F(MonitorOnDisplay, ReassemblesChunksInAnyOrderAndSurvivesHostileStreams) {
  // The frames the station tool would send, written to files instead.
  WriteFileBytes(Work("many.txt"), ManyChunkDescription());
  WriteFileBytes(Work("headlamp.txt"), kHeadlamp);
  WriteFileBytes(Work("brake.txt"), kBrake);
  ASSERT_NO_FATAL_FAILURE(
      Station({"-t", "-n", "speed-many-chunks", "-o", Work("many.frames"), Work("many.txt")}));
  ASSERT_NO_FATAL_FAILURE(Station(
      {"-t", "-n", "headlamp-then-garbage", "-o", Work("headlamp.frames"), Work("headlamp.txt")}));
  ASSERT_NO_FATAL_FAILURE(
      Station({"-t", "-n", "to-be-renamed", "-o", Work("brake.frames"), Work("brake.txt")}));
  const std::vector<std::string> many = SplitFrames(ReadFileBytes(Work("many.frames")));
  const std::vector<std::string> headlamp = SplitFrames(ReadFileBytes(Work("headlamp.frames")));
  const std::vector<std::string> brake = SplitFrames(ReadFileBytes(Work("brake.frames")));
  ASSERT_GE(many.size(), 3u) << "the transfer should span several chunks";
  ASSERT_FALSE(headlamp.empty());
  ASSERT_EQ(1u, brake.size());

  // Connection A: two complete transfers whose names lead out of the spool
  // directory, then the many-chunk transfer with its last chunk first, the
  // first chunk next, the last one again, and the rest backwards. One
  // connection's frames are taken in order, so the bad names are dealt with
  // before the good transfer can show.
  std::vector<std::string> streamA = {WithTransferName(brake[0], "../x"),
                                      WithTransferName(brake[0], "../../x")};
  const size_t n = many.size();
  streamA.push_back(many[n - 1]);
  streamA.push_back(many[0]);
  streamA.push_back(many[n - 1]);
  for (size_t i = n - 2; i >= 1; --i) streamA.push_back(many[i]);
  // Connection B: bytes that are not frames at all.
  const std::string streamB = IncompressibleText(7, 3 * 2072);
  // Connection C: a complete transfer, then a frame whose trailer is wrong.
  std::string broken = headlamp[0];
  broken[broken.size() - 1] = 'X';
  const std::string streamC = Concat(headlamp) + broken + IncompressibleText(8, 500);

  const int port = m_session.tree().port();
  StreamOutcome a, b, c;
  std::thread ta([&] { a = SendStream(port, Concat(streamA), kPatience); });
  std::thread tb([&] { b = SendStream(port, streamB, kPatience); });
  std::thread tc([&] { c = SendStream(port, streamC, kPatience); });
  ta.join();
  tb.join();
  tc.join();
  EXPECT_TRUE(a.closedByPeer) << "stream A: " << a.error;
  EXPECT_TRUE(b.closedByPeer) << "the monitor kept a stream of garbage open: " << b.error;
  EXPECT_TRUE(c.closedByPeer) << "the monitor kept a stream with a bad frame open: " << c.error;

  // The reordered transfer and the one before the bad frame; nothing else.
  ExpectTitle(2);
  ExpectNothingLeftBehind();

  // Reception goes on for the next station.
  ASSERT_NO_FATAL_FAILURE(Station({"-t", "-n", "after-the-storm", Address(), Work("brake.txt")}));
  ExpectTitle(3);
  ExpectNothingLeftBehind();
}

TEST_F(MonitorOnDisplay, QuitAsksFirstAndOnlyYesEndsTheProgramWithStatusZero) {
  VirtualDisplay& display = m_session.display();
  const VirtualDisplay::WindowId main = m_session.MainWindow();
  ASSERT_NE(0u, main);

  // No sizing frame: the window manager offers to move and minimise the
  // window, never to drag its edges (it revises its offer once it has seen
  // the window's final size hints).
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (display.Offers(main, "_NET_WM_ACTION_RESIZE") &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(display.Offers(main, "_NET_WM_ACTION_RESIZE"));
  EXPECT_TRUE(display.Offers(main, "_NET_WM_ACTION_MINIMIZE"));
  EXPECT_TRUE(display.Offers(main, "_NET_WM_ACTION_MOVE"));

  // The keyboard focus starts on 退出程序, so Enter asks the question.
  ASSERT_TRUE(display.PressKey(main, "Return"));
  VirtualDisplay::WindowId question = 0;
  ASSERT_TRUE(WaitForDialog("提示信息", &question));
  EXPECT_TRUE(display.Screenshot(ArtefactPath("e2e-quit-question.png"), &m_error)) << m_error;

  // Closing the box without a choice is 否: the monitor runs on and still
  // receives.
  ASSERT_TRUE(display.RequestClose(question));
  WriteFileBytes(Work("speed.txt"), kSpeed);
  ASSERT_NO_FATAL_FAILURE(Station({"-t", Address(), Work("speed.txt")}));
  ExpectTitle(1);
  EXPECT_TRUE(m_session.monitor().Running());

  // Asked again, 是 (the default button) ends it with status 0.
  ASSERT_TRUE(display.PressKey(main, "Return"));
  ASSERT_TRUE(WaitForDialog("提示信息", &question));
  ASSERT_TRUE(display.PressKey(question, "Return"));
  ASSERT_TRUE(m_session.monitor().WaitExit(kPatience)) << "the monitor still runs after 是";
  EXPECT_TRUE(m_session.monitor().Exited()) << m_session.monitor().Describe();
  EXPECT_EQ(0, m_session.monitor().ExitStatus()) << m_session.monitor().Describe();
}

TEST_F(MonitorOnDisplay, ShowsResultsSentUnderChineseTransferNames) {
  WriteFileBytes(Work("brake.txt"), kBrake);
  ASSERT_NO_FATAL_FAILURE(Station({"-t", "-n", "二号线-制动-0815", Address(), Work("brake.txt")}));
  ExpectTitle(1);
  // "錦" is E5 5C in GBK: its second byte is a backslash, yet part of the
  // character, so the name is fine for the monitor.
  ASSERT_NO_FATAL_FAILURE(
      Station({"-t", "-n", "placeholder", "-o", Work("brake.frames"), Work("brake.txt")}));
  const std::vector<std::string> frames = SplitFrames(ReadFileBytes(Work("brake.frames")));
  ASSERT_EQ(1u, frames.size());
  const StreamOutcome sent =
      SendStream(m_session.tree().port(), WithTransferName(frames[0], "\xE5\x5C-0815"), kPatience);
  EXPECT_TRUE(sent.closedByPeer) << sent.error;
  ExpectTitle(2);
  ExpectNothingLeftBehind();
}

// A name whose GBK form has a 0x5C trail byte ("錦" is E5 5C) holds no
// backslash: the station tool sends it, as the monitor takes it.
TEST_F(MonitorOnDisplay, StationToolSendsNamesWithABackslashTrailByte) {
  WriteFileBytes(Work("brake.txt"), kBrake);
  ASSERT_NO_FATAL_FAILURE(Station({"-t", "-n", "錦-0815", Address(), Work("brake.txt")}));
  ExpectTitle(1);
}

// The monitor drops a transfer whose name holds a control character; the
// station tool refuses such a name before sending, so the station knows.
TEST_F(MonitorOnDisplay, StationToolNeverReportsSuccessForANameTheMonitorDrops) {
  WriteFileBytes(Work("brake.txt"), kBrake);
  std::string output;
  const int status =
      m_session.RunStationTool({"-t", "-n", "lane\t2", Address(), Work("brake.txt")}, &output);
  EXPECT_EQ(status, 2) << output;
  EXPECT_NE(output.find("transfer name"), std::string::npos) << output;
}

TEST_F(MonitorOnDisplay, FramesInPiecesArriveWhileASilentStationHoldsItsConnection) {
  WriteFileBytes(Work("many.txt"), ManyChunkDescription());
  WriteFileBytes(Work("speed.txt"), kSpeed);
  ASSERT_NO_FATAL_FAILURE(
      Station({"-t", "-n", "in-pieces", "-o", Work("many.frames"), Work("many.txt")}));
  const std::string many = ReadFileBytes(Work("many.frames"));
  ASSERT_GE(SplitFrames(many).size(), 3u);

  // Half a frame, then silence: the monitor waits for the rest of it on
  // that connection only (whether it has dropped the connection as silent
  // by the end depends on how long the test took, so that is not checked).
  SilentStation silent(m_session.tree().port(), many.substr(0, 1000));
  ASSERT_TRUE(silent.ok());

  // A transfer in 333-byte pieces (frames split anywhere, even inside the
  // magic and the trailer), and a station sending as usual.
  const StreamOutcome pieces =
      SendStream(m_session.tree().port(), many, kPatience, 333, std::chrono::milliseconds(1));
  EXPECT_TRUE(pieces.closedByPeer) << pieces.error;
  ASSERT_NO_FATAL_FAILURE(Station({"-t", Address(), Work("speed.txt")}));
  ExpectTitle(2);
  ExpectNothingLeftBehind();
}
