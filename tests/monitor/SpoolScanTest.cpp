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
#include "panel/ResultRouting.h"
#include "platform/FileOps.h"

namespace fs = std::filesystem;

namespace {

class SpoolScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }

  // One look, then every ready result taken, as the result loop does with
  // time between them.
  int Scan() { return Scan(spool); }
  int Scan(const std::string& directory) {
    const int result = scan.FindResults(directory);
    while (TakeNext(directory)) {
    }
    return result;
  }

  // The next ready result, read and taken out of the spool by the decoder
  // as the loop shows it; its name noted, and whether its file was there
  // before and after.
  bool TakeNext() { return TakeNext(spool); }
  bool TakeNext(const std::string& directory) {
    const PublicationOrder::Entry next = scan.NextReady(directory);
    if (next.sequence == 0) return false;
    taken.push_back(fs::path(next.path).filename().string());
    existedWhenTaken.push_back(fs::exists(next.path));
    TakeAndShowResultFile(next.path, buffer.data(), board, spoolLock);
    existedAfterTaken.push_back(fs::exists(next.path));
    scan.Taken(next);
    return true;
  }

  // Writes a result file last written `seconds` from the test's start.
  void WriteAged(const std::string& name, const std::string& bytes, int seconds) {
    WriteFileBytes(dir.file(name), bytes);
    fs::last_write_time(dir.file(name), start + std::chrono::seconds(seconds));
  }

  const fs::file_time_type start = fs::file_time_type::clock::now();
  TempDir dir;
  std::string spool = dir.path().string();
  std::vector<std::string> taken;
  std::vector<bool> existedWhenTaken, existedAfterTaken;
  std::vector<unsigned char> buffer = std::vector<unsigned char>(kResultBufferSize);
  RecordingBoard board;
  // The lock the chunk writer publishes under.
  std::mutex spoolLock;
  SpoolScan scan{spoolLock};
};

TEST_F(SpoolScanTest, AnEmptyDirectoryChangesNothing) {
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(taken.empty());
}

// Results found waiting (there before the start) are taken one at a time,
// oldest first, the name deciding between equal times; each is taken out
// of the spool as it is read. One published afterwards follows them, even
// when its file's time is older (a clock set back).
TEST_F(SpoolScanTest, ResultsFoundWaitingAreTakenOneAtATimeOldestFirstThenThoseOfThisRun) {
  WriteAged("b.DOING", "b", -10);
  WriteAged("d.DOING", "d", -30);
  WriteAged("a.DOING", "a", -20);
  WriteAged("c.DOING", "c", -30);
  ASSERT_EQ(scan.FindResults(spool), 1);
  EXPECT_EQ(scan.Waiting(), 4u);
  WriteAged("0.DOING", "0", -3600);
  scan.Published(dir.file("0.DOING"));

  ASSERT_TRUE(TakeNext());
  EXPECT_EQ(taken, std::vector<std::string>{"c.DOING"}) << "one result per call";
  while (TakeNext()) {
  }
  EXPECT_EQ(taken,
            (std::vector<std::string>{"c.DOING", "d.DOING", "a.DOING", "b.DOING", "0.DOING"}));
  EXPECT_EQ(existedWhenTaken, std::vector<bool>(5, true));
  EXPECT_EQ(existedAfterTaken, std::vector<bool>(5, false)) << "taken out as it is read";
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_EQ(scan.Waiting(), 0u);
}

// Rounds of results for one device group, published by the chunk writer in
// an order unlike their names' and unlike the directory's: they are taken
// in the order published, and the screen ends on the last one.
TEST_F(SpoolScanTest, ResultsAreTakenInTheOrderTheyWerePublished) {
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
  SetResultPublishedHook(spoolLock, [&](const std::string& path) {
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
  SetResultPublishedHook(spoolLock, nullptr);
  EXPECT_EQ(told, order) << "the writer tells of each result once, as it is published";
  EXPECT_EQ(inPlaceWhenTold, std::vector<bool>(order.size(), true));

  // The timer's look finds them all, known already in their order.
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(taken, order);
  EXPECT_EQ(board.at(OperatorDisplayForDevice(25)).text(), "op4")
      << "the last published is on screen";
  EXPECT_EQ(board.at(FindRoute(5071)->displayId).text(), "500");
}

// A result of a name published again before it was taken is taken once, in
// the place of its latest publication, with the newer values; one published
// again while the last one is on screen is taken after it.
TEST_F(SpoolScanTest, AResultPublishedAgainIsTakenOnceInItsLatestPlace) {
  WriteFileBytes(dir.file("r.DOING"), "first");
  scan.Published(dir.file("r.DOING"));
  WriteFileBytes(dir.file("q.DOING"), "q");
  scan.Published(dir.file("q.DOING"));
  WriteFileBytes(dir.file("r.DOING"), "second");
  scan.Published(dir.file("r.DOING"));
  ASSERT_TRUE(TakeNext());
  ASSERT_TRUE(TakeNext());
  EXPECT_FALSE(TakeNext());
  EXPECT_EQ(taken, (std::vector<std::string>{"q.DOING", "r.DOING"}));

  // On screen now; the same name published again is a new result.
  WriteFileBytes(dir.file("r.DOING"), "third");
  scan.Published(dir.file("r.DOING"));
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(taken, (std::vector<std::string>{"q.DOING", "r.DOING", "r.DOING"}));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A result that went before its turn (removed by hand) is not taken, and
// the next one is.
TEST_F(SpoolScanTest, AResultThatWentBeforeItsTurnIsSkipped) {
  for (const char* name : {"gone.DOING", "next.DOING"}) {
    WriteFileBytes(dir.file(name), name);
    scan.Published(dir.file(name));
  }
  fs::remove(dir.file("gone.DOING"));
  EXPECT_TRUE(TakeNext());
  EXPECT_EQ(taken, std::vector<std::string>{"next.DOING"});
  EXPECT_EQ(scan.Waiting(), 0u);
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
  EXPECT_EQ(taken, std::vector<std::string>{"lower.doing"});
  for (const char* name : {"folder.DOING", "t.compress", "rtdata.dat", "t.DOING.part", "t.DOINGx",
                           "DOING", "note.txt", "fifo.DOING", "link.DOING", "elsewhere"})
    EXPECT_TRUE(fs::exists(dir.file(name))) << name;
}

TEST_F(SpoolScanTest, WithoutTheLibraryNoFileIsReadyAndNoneIsLost) {
  UnloadPallix();
  WriteFileBytes(dir.file("wait.DOING"), "x");
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(taken.empty());
  EXPECT_TRUE(fs::exists(dir.file("wait.DOING")));
  ASSERT_TRUE(LoadBuiltPallix());
  EXPECT_EQ(Scan(), 1);
  EXPECT_EQ(taken, std::vector<std::string>{"wait.DOING"}) << "the file waited for its tick";
}

TEST_F(SpoolScanTest, AMissingSpoolDirectoryIsAnEmptyOne) {
  spool = dir.file("gone");
  EXPECT_EQ(Scan(), 1);
  EXPECT_TRUE(taken.empty());
}

TEST_F(SpoolScanTest, OverlongPathsAreSkippedNotOverrun) {
  // The pattern "<dir>/*.DOING" must fit 259 characters.
  const std::string tooDeep = spool + "/" + std::string(259 - 8 - spool.size(), 'p');
  fs::create_directory(tooDeep);
  WriteFileBytes(tooDeep + "/a.DOING", "x");
  EXPECT_EQ(Scan(tooDeep), 1);
  EXPECT_TRUE(taken.empty());
  EXPECT_TRUE(fs::exists(tooDeep + "/a.DOING"));

  // One character less fits the pattern; then a file path must fit 499.
  const std::string deep = spool + "/" + std::string(259 - 8 - spool.size() - 1, 'q');
  fs::create_directory(deep);
  const std::string longName = std::string(499 - deep.size() - 6, 'n') + ".DOING";
  WriteFileBytes(deep + "/" + longName, "x");
  WriteFileBytes(deep + "/s.DOING", "x");
  EXPECT_EQ(Scan(deep), 1);
  EXPECT_EQ(taken, std::vector<std::string>{"s.DOING"});
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
