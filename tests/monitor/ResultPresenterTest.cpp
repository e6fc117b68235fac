// The result loop without a window (the Windows window's as much as Qt's):
// a scripted window lends the displays, the title, the notice and the
// pause timer, and the test plays the window's events.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ChunkBuilder.h"
#include "Gzip.h"
#include "PallixForTests.h"
#include "RecordBuilder.h"
#include "RecordingBoard.h"
#include "TempDir.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "monitor/Globals.h"
#include "monitor/IdleStateTask.h"
#include "monitor/ResultPresenter.h"
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

class ScriptedWindow : public ResultWindow {
 public:
  IDisplayBoard& Board() override { return board; }
  // Each title counts a result: the brake group's operator then on screen
  // says which.
  void ShowTitle(const std::string& gbkTitle) override {
    title = GbkToUtf8(gbkTitle);
    shown.push_back(board.at(OperatorDisplayForDevice(kBrakeDevice)).text());
  }
  void PostPublishedNotice() override { ++notices; }
  void StartPause(std::chrono::milliseconds delay) override {
    pauses.push_back(delay);
    pausing = true;
  }
  void StopPause() override { pausing = false; }

  static constexpr int kBrakeDevice = 25;
  RecordingBoard board;
  std::vector<std::string> shown;
  std::string title;
  int notices = 0;
  std::vector<std::chrono::milliseconds> pauses;
  bool pausing = false;
};

// A brake result of operator `op` with its left force in tenths of 10 N.
std::string BrakeRecord(const std::string& op, int force) {
  return RecordBuilder()
      .Item(7700, 0, "25")
      .Item(7701, 0, op)
      .Item(5071, 1, std::to_string(force))
      .Bytes();
}

class ResultPresenterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }

  // Sends the record through the chunk writer, as the network worker does:
  // published under the spool lock, which tells the presenter's hook.
  void Publish(const std::string& name, const std::string& record) {
    SpoolIo io;
    std::lock_guard<std::mutex> lock(spoolLock);
    for (const std::string& chunk : ChunkRecords(name, Gzip(record)))
      ASSERT_GT(SaveRecvChunkIn(io, spool, chunk.data(), FILE_CHUNK_SIZE), 0);
  }

  // What passes for the pause timer's firing once it is due.
  void PauseRunsOut() {
    ASSERT_TRUE(window.pausing);
    std::this_thread::sleep_for(ResultPresenter::kResultPause);
    window.pausing = false;
    presenter.OnPauseOver();
  }

  TempDir dir;
  std::string spool = dir.path().string();
  std::mutex spoolLock;
  SpoolAccess access{&spoolLock, [this] { return spool; }};
  ScriptedWindow window;
  ResultPresenter presenter{window, access};
};

}  // namespace

// Results waiting at the start come one at a time, oldest first, each
// counted in the title and held alone on screen for its half second: a
// notice or a timer tick meanwhile shows nothing new.
TEST_F(ResultPresenterTest, EachResultIsCountedInTheTitleAndHeldForItsHalfSecond) {
  WriteFileBytes(dir.file("first.DOING"), BrakeRecord("0815", 1234));
  WriteFileBytes(dir.file("second.DOING"), BrakeRecord("0816", 4321));
  fs::last_write_time(dir.file("first.DOING"),
                      fs::last_write_time(dir.file("second.DOING")) - std::chrono::seconds(10));

  presenter.Start();
  EXPECT_EQ(window.notices, 1) << "the first waiting result follows as soon as the window runs";
  EXPECT_TRUE(window.shown.empty());
  presenter.OnPublishedNotice();
  EXPECT_EQ(window.shown, std::vector<std::string>{"0815"});
  EXPECT_EQ(window.title, "数据监控(1)");
  EXPECT_EQ(window.board.at(FindRoute(5071)->displayId).text(), "123") << "in tenths";
  EXPECT_FALSE(fs::exists(dir.file("first.DOING")));
  EXPECT_EQ(window.pauses, std::vector<std::chrono::milliseconds>{ResultPresenter::kResultPause});

  presenter.OnPublishedNotice();
  EXPECT_EQ(presenter.Scan(), 1);
  EXPECT_EQ(window.shown.size(), 1u) << "the first result keeps its half second";

  PauseRunsOut();
  EXPECT_EQ(window.shown, (std::vector<std::string>{"0815", "0816"}));
  EXPECT_EQ(window.title, "数据监控(2)");
  EXPECT_EQ(presenter.ShownFiles(), 2);

  PauseRunsOut();
  EXPECT_FALSE(window.pausing) << "nothing waits: no pause";
  EXPECT_EQ(presenter.ShownFiles(), 2);
}

// A result the chunk writer publishes while the window runs is shown on one
// notice (however many publications it stands for); once the window ends,
// nothing more is shown and what waits stays in the spool.
TEST_F(ResultPresenterTest, APublishedResultIsShownOnItsNoticeAndNothingOnceTheWindowEnds) {
  presenter.Start();
  presenter.OnPublishedNotice();
  EXPECT_TRUE(window.shown.empty());

  Publish("lane1", BrakeRecord("0815", 1234));
  EXPECT_EQ(window.notices, 2);
  Publish("lane2", BrakeRecord("0816", 4321));
  EXPECT_EQ(window.notices, 2) << "one notice on its way is enough";
  presenter.OnPublishedNotice();
  EXPECT_EQ(window.shown, std::vector<std::string>{"0815"});

  presenter.End();
  EXPECT_FALSE(window.pausing) << "the pause timer is stopped";
  presenter.OnPauseOver();
  presenter.OnPublishedNotice();
  EXPECT_EQ(presenter.Scan(), 1);
  EXPECT_EQ(window.shown, std::vector<std::string>{"0815"});
  EXPECT_TRUE(fs::exists(dir.file("lane2.DOING"))) << "left for the next start";

  presenter.RemovePublicationHook();
  Publish("lane3", BrakeRecord("0817", 1));
  EXPECT_EQ(window.notices, 2) << "no notice once the hook is removed";
}

// The network worker's first task puts the idle look on each operator
// display, its colours before its text, and touches no other display.
TEST(IdleStateTask, ShowsTheIdleLookOnEachOperatorDisplayColoursFirst) {
  RecordingBoard board;
  g_pMainDlg = &board;
  EXPECT_EQ(IdleStateTask(), 1);
  g_pMainDlg = nullptr;

  const auto log = board.log();
  ASSERT_EQ(log.size(), 2 * std::size(kOperatorDisplays));
  for (std::size_t k = 0; k < std::size(kOperatorDisplays); ++k) {
    SCOPED_TRACE(kOperatorDisplays[k]);
    const RecordingDisplay::Call& colours = log[2 * k];
    const RecordingDisplay::Call& text = log[2 * k + 1];
    EXPECT_EQ(colours.displayId, kOperatorDisplays[k]);
    EXPECT_FALSE(colours.isText) << "colours first";
    EXPECT_EQ(text.displayId, kOperatorDisplays[k]);
    ASSERT_TRUE(text.isText);
    EXPECT_EQ(text.text, Gbk("设备空闲"));
    EXPECT_EQ(text.background, kIdleBackground);
    EXPECT_EQ(text.textColor, kIdleTextColor);
  }
}
