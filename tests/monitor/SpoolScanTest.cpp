#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>

#include "ChunkBuilder.h"
#include "Gzip.h"
#include "PallixForTests.h"
#include "RecordBuilder.h"
#include "RecordingBoard.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/PublicationHook.h"
#include "acquisition/SpoolIo.h"
#include "monitor/ResultDecoder.h"
#include "monitor/SpoolScan.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

// Records what the scan asks of the window, and checks the files as it goes.
// Results are shown by the window's own decoder.
class RecordingHost : public SpoolScanHost {
 public:
  void ShowResultFile(const std::string& path) override {
    events.push_back("show " + fs::path(path).filename().string());
    existedWhenShown.push_back(fs::exists(path));
    TakeAndShowResultFile(path, buffer.data(), board, spoolLock);
    existedAfterShown.push_back(fs::exists(path));
  }
  void SetTitle(const std::string& gbkTitle) override {
    events.push_back("title " + GbkToUtf8(gbkTitle));
  }

  std::vector<std::string> events;
  std::vector<bool> existedWhenShown, existedAfterShown;
  std::vector<unsigned char> buffer = std::vector<unsigned char>(kResultBufferSize);
  RecordingBoard board;
  // The lock the chunk writer publishes under.
  std::mutex spoolLock;
};

class SpoolScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }

  // One look, then every result shown, as the window does with time
  // between them.
  int Scan() { return Scan(spool); }
  int Scan(const std::string& directory) {
    const int result = scan.FindResults(directory);
    while (scan.ShowNextResult(directory, shown)) {
    }
    return result;
  }

  // Writes a result file last written `seconds` from the test's start.
  void WriteAged(const std::string& name, const std::string& bytes, int seconds) {
    WriteFileBytes(dir.file(name), bytes);
    fs::last_write_time(dir.file(name), start + std::chrono::seconds(seconds));
  }

  const fs::file_time_type start = fs::file_time_type::clock::now();
  TempDir dir;
  std::string spool = dir.path().string();
  int shown = 0;
  RecordingHost host;
  SpoolScan scan{host, host.spoolLock};
};

TEST_F(SpoolScanTest, AnEmptyDirectoryChangesNothing) {
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(shown, 0);
}

// Results found waiting (there before the start) are shown one at a time,
// oldest first, the name deciding between equal times; each is taken out
// of the spool as it is read and counted. One published afterwards follows
// them, even when its file's time is older (a clock set back).
TEST_F(SpoolScanTest, ResultsFoundWaitingAreShownOneAtATimeOldestFirstThenThoseOfThisRun) {
  WriteAged("b.DOING", "b", -10);
  WriteAged("d.DOING", "d", -30);
  WriteAged("a.DOING", "a", -20);
  WriteAged("c.DOING", "c", -30);
  shown = 4;
  ASSERT_EQ(scan.FindResults(spool), 1);
  EXPECT_EQ(scan.Waiting(), 4u);
  WriteAged("0.DOING", "0", -3600);
  scan.Published(dir.file("0.DOING"));

  ASSERT_TRUE(scan.ShowNextResult(spool, shown));
  EXPECT_EQ(host.events, (std::vector<std::string>{"show c.DOING", "title 数据监控(5)"}))
      << "one result per call";
  while (scan.ShowNextResult(spool, shown)) {
  }
  EXPECT_EQ(shown, 9);
  EXPECT_EQ(host.events,
            (std::vector<std::string>{"show c.DOING", "title 数据监控(5)", "show d.DOING",
                                      "title 数据监控(6)", "show a.DOING", "title 数据监控(7)",
                                      "show b.DOING", "title 数据监控(8)", "show 0.DOING",
                                      "title 数据监控(9)"}));
  EXPECT_EQ(host.existedWhenShown, std::vector<bool>(5, true));
  EXPECT_EQ(host.existedAfterShown, std::vector<bool>(5, false)) << "taken out as it is read";
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_EQ(scan.Waiting(), 0u);
}

// Rounds of results for one device group, published by the chunk writer in
// an order unlike their names' and unlike the directory's: they are shown
// in the order published, and the screen ends on the last one.
TEST_F(SpoolScanTest, ResultsAreShownInTheOrderTheyWerePublished) {
  const std::vector<std::string> names = {"round-a", "round-b", "round-c", "round-d", "round-e"};
  // The directory's own order of these names (by hash on ext4, by name on
  // NTFS), from files made and removed again.
  for (const std::string& n : names) WriteFileBytes(dir.file(n + ".DOING"), "x");
  std::vector<std::string> listed;
  ASSERT_TRUE(ListFileNames(spool, &listed));
  ASSERT_EQ(listed.size(), names.size());
  for (const std::string& n : names) fs::remove(dir.file(n + ".DOING"));
  // Published in neither order: the listing turned by one, or by two when
  // that is the names' order.
  std::vector<std::string> order = listed;
  std::rotate(order.begin(), order.begin() + 1, order.end());
  std::vector<std::string> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  if (order == sorted) std::rotate(order.begin(), order.begin() + 1, order.end());

  std::vector<std::string> told;
  std::vector<bool> inPlaceWhenTold;
  SetResultPublishedHook(host.spoolLock, [&](const std::string& path) {
    told.push_back(fs::path(path).filename().string());
    inPlaceWhenTold.push_back(fs::exists(path));
    scan.Published(path);
  });
  SpoolIo io;
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string record = RecordBuilder()
                                   .Item(7700, 0, "25")
                                   .Item(7701, 0, "op" + std::to_string(i))
                                   .Item(5071, 1, std::to_string(1000 * (i + 1)))
                                   .Bytes();
    const std::string stem = order[i].substr(0, order[i].size() - 6);
    for (const std::string& chunk : ChunkRecords(stem, Gzip(record)))
      SaveRecvChunkIn(io, spool, chunk.data(), FILE_CHUNK_SIZE);
  }
  SetResultPublishedHook(host.spoolLock, nullptr);
  EXPECT_EQ(told, order) << "the writer tells of each result once, as it is published";
  EXPECT_EQ(inPlaceWhenTold, std::vector<bool>(order.size(), true));

  // The timer's look finds them all, known already in their order.
  EXPECT_EQ(Scan(), 1);
  std::vector<std::string> showns;
  for (const std::string& e : host.events)
    if (e.rfind("show ", 0) == 0) showns.push_back(e.substr(5));
  EXPECT_EQ(showns, order);
  EXPECT_EQ(shown, 5);
  EXPECT_EQ(host.board.at(1119).text(), "op4") << "the last published is on screen";
  EXPECT_EQ(host.board.at(1126).text(), "500");
}

// A result of a name published again before it was shown is shown once, in
// the place of its latest publication, with the newer values; one published
// again while the last one is on screen is shown after it, and counted.
TEST_F(SpoolScanTest, AResultPublishedAgainIsShownOnceInItsLatestPlace) {
  WriteFileBytes(dir.file("r.DOING"), "first");
  scan.Published(dir.file("r.DOING"));
  WriteFileBytes(dir.file("q.DOING"), "q");
  scan.Published(dir.file("q.DOING"));
  WriteFileBytes(dir.file("r.DOING"), "second");
  scan.Published(dir.file("r.DOING"));
  ASSERT_TRUE(scan.ShowNextResult(spool, shown));
  ASSERT_TRUE(scan.ShowNextResult(spool, shown));
  EXPECT_FALSE(scan.ShowNextResult(spool, shown));
  EXPECT_EQ(host.events, (std::vector<std::string>{"show q.DOING", "title 数据监控(1)",
                                                   "show r.DOING", "title 数据监控(2)"}));

  // On screen now; the same name published again is a new result.
  WriteFileBytes(dir.file("r.DOING"), "third");
  scan.Published(dir.file("r.DOING"));
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(shown, 3);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A result that went before its turn (removed by hand) is neither shown nor
// counted, and the next one is.
TEST_F(SpoolScanTest, AResultThatWentBeforeItsTurnIsSkipped) {
  for (const char* name : {"gone.DOING", "next.DOING"}) {
    WriteFileBytes(dir.file(name), name);
    scan.Published(dir.file(name));
  }
  fs::remove(dir.file("gone.DOING"));
  EXPECT_TRUE(scan.ShowNextResult(spool, shown));
  EXPECT_EQ(host.events, (std::vector<std::string>{"show next.DOING", "title 数据监控(1)"}));
  EXPECT_EQ(scan.Waiting(), 0u);
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
  EXPECT_EQ(host.events, (std::vector<std::string>{"show lower.doing", "title 数据监控(1)"}));
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
  EXPECT_EQ(Scan(tooDeep), 1);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(fs::exists(tooDeep + "/a.DOING"));

  // One character less fits the pattern; then a file path must fit 499.
  const std::string deep = spool + "/" + std::string(259 - 8 - spool.size() - 1, 'q');
  fs::create_directory(deep);
  const std::string longName = std::string(499 - deep.size() - 6, 'n') + ".DOING";
  WriteFileBytes(deep + "/" + longName, "x");
  WriteFileBytes(deep + "/s.DOING", "x");
  EXPECT_EQ(Scan(deep), 1);
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
