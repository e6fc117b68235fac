#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "PallixForTests.h"
#include "RecordingBoard.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "platform/Gbk.h"
#include "presentation/ResultDecoder.h"
#include "presentation/SpoolScan.h"

namespace fs = std::filesystem;

namespace {

// Records what the scan asks of the window, and checks the files as it goes.
// Results are shown by the window's own decoder.
class RecordingHost : public SpoolScanHost {
 public:
  void ShowResultFile(const std::string& path) override {
    events.push_back("show " + fs::path(path).filename().string());
    existedWhenShown.push_back(fs::exists(path));
    lastShown = path;
    DecodeResultFile(path, buffer.data(), board);
  }
  void PauseAfterResult() override {
    events.push_back("pause");
    existedDuringPause.push_back(fs::exists(lastShown));
    if (duringPause) duringPause(lastShown);
  }
  void SetTitle(const std::string& gbkTitle) override {
    events.push_back("title " + GbkToUtf8(gbkTitle));
  }

  std::vector<std::string> events;
  std::vector<bool> existedWhenShown, existedDuringPause;
  std::string lastShown;
  std::function<void(const std::string&)> duringPause;
  std::vector<unsigned char> buffer = std::vector<unsigned char>(kResultBufferSize);
  RecordingBoard board;
};

class SpoolScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }

  int Scan() { return ScanSpoolDirectory(spool, shown, host); }

  TempDir dir;
  std::string spool = dir.path().string();
  int shown = 0;
  RecordingHost host;
};

TEST_F(SpoolScanTest, AnEmptyDirectoryChangesNothing) {
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(shown, 0);
}

TEST_F(SpoolScanTest, EveryReadyFileIsShownPausedOverDeletedAndCounted) {
  for (const char* name : {"a.DOING", "b.DOING", "c.DOING"}) WriteFileBytes(dir.file(name), name);
  std::vector<std::string> order;
  for (const auto& e : fs::directory_iterator(dir.path()))
    order.push_back(e.path().filename().string());
  shown = 4;

  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(shown, 7);
  const std::vector<std::string> expected = {"show " + order[0], "pause", "title 数据监控(5)",
                                             "show " + order[1], "pause", "title 数据监控(6)",
                                             "show " + order[2], "pause", "title 数据监控(7)"};
  EXPECT_EQ(host.events, expected);
  EXPECT_EQ(host.existedWhenShown, std::vector<bool>(3, true));
  EXPECT_EQ(host.existedDuringPause, std::vector<bool>(3, false)) << "taken out as it is read";
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A result of the same name published while the last one is on screen is
// kept for the next scan, shown and counted.
TEST_F(SpoolScanTest, AResultRepublishedDuringThePauseWaitsForTheNextScan) {
  WriteFileBytes(dir.file("r.DOING"), "first");
  host.duringPause = [](const std::string& path) {
    if (!fs::exists(path)) WriteFileBytes(path, "second");
  };
  Scan();
  host.duringPause = nullptr;
  EXPECT_EQ(ReadFileBytes(dir.file("r.DOING")), "second");
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(shown, 2);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(SpoolScanTest, TheFirstFileSetsTheTitle) {
  WriteFileBytes(dir.file("x.DOING"), "x");
  Scan();
  ASSERT_FALSE(host.events.empty());
  EXPECT_EQ(host.events.back(), "title 数据监控(1)");
}

TEST_F(SpoolScanTest, OnlyResultFilesAreTouched) {
  fs::create_directory(dir.file("folder.DOING"));
  // Neither a FIFO nor a link is a result: opening them could make the
  // window wait, or read a file elsewhere.
  ASSERT_TRUE(MakeFifo(dir.file("fifo.DOING")));
  WriteFileBytes(dir.file("elsewhere"), "keep");
  fs::create_symlink(dir.file("elsewhere"), dir.file("link.DOING"));
  for (const char* name :
       {"t.compress", "rtdata.dat", "t.DOING.part", "t.DOINGx", "DOING", "note.txt"})
    WriteFileBytes(dir.file(name), "keep");
  WriteFileBytes(dir.file("lower.doing"), "shown");  // the pattern never cared for case
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(host.events,
            (std::vector<std::string>{"show lower.doing", "pause", "title 数据监控(1)"}));
  for (const char* name : {"folder.DOING", "t.compress", "rtdata.dat", "t.DOING.part", "t.DOINGx",
                           "DOING", "note.txt", "fifo.DOING", "link.DOING", "elsewhere"})
    EXPECT_TRUE(fs::exists(dir.file(name))) << name;
}

TEST_F(SpoolScanTest, WithoutTheLibraryNoFileIsReadyAndNoneIsLost) {
  UnloadPallix();
  WriteFileBytes(dir.file("wait.DOING"), "x");
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(fs::exists(dir.file("wait.DOING")));
  ASSERT_TRUE(LoadBuiltPallix());
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(shown, 1) << "the file waited for its tick";
}

TEST_F(SpoolScanTest, AMissingSpoolDirectoryIsAnEmptyOne) {
  spool = dir.file("gone");
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(host.events.empty());
}

TEST_F(SpoolScanTest, OverlongPathsAreSkippedNotOverrun) {
  // The pattern "<dir>/*.DOING" must fit 259 characters.
  const std::string tooDeep = spool + "/" + std::string(259 - 8 - spool.size(), 'p');
  fs::create_directory(tooDeep);
  WriteFileBytes(tooDeep + "/a.DOING", "x");
  EXPECT_EQ(ScanSpoolDirectory(tooDeep, shown, host), 1);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(fs::exists(tooDeep + "/a.DOING"));

  // One character less fits the pattern; then a file path must fit 499.
  const std::string deep = spool + "/" + std::string(259 - 8 - spool.size() - 1, 'q');
  fs::create_directory(deep);
  const std::string longName = std::string(499 - deep.size() - 6, 'n') + ".DOING";
  WriteFileBytes(deep + "/" + longName, "x");
  WriteFileBytes(deep + "/s.DOING", "x");
  EXPECT_EQ(ScanSpoolDirectory(deep, shown, host), 1);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(fs::exists(deep + "/" + longName));
  EXPECT_FALSE(fs::exists(deep + "/s.DOING"));
}

TEST(ResultFileName, MatchesTheDoingSuffixInAnyCase) {
  EXPECT_TRUE(IsResultFileName("x.DOING"));
  EXPECT_TRUE(IsResultFileName("x.Doing"));
  EXPECT_TRUE(IsResultFileName(".DOING"));
  EXPECT_FALSE(IsResultFileName("x.DOING.part"));
  EXPECT_FALSE(IsResultFileName("xDOING"));
  EXPECT_FALSE(IsResultFileName("DOING"));
  EXPECT_FALSE(IsResultFileName(""));
}

}  // namespace
