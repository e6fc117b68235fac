#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "ChunkBuilder.h"
#include "Gzip.h"
#include "JournalCapture.h"
#include "PallixForTests.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolSweep.h"
#include "acquisition/TransferLedger.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

// Names as GBK bytes on every system (the spool's own listing).
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  ListFileNames(dir, &names, true);
  std::sort(names.begin(), names.end());
  return names;
}
std::vector<std::string> Listing(const fs::path& dir) { return Listing(dir.string()); }

class ChunkWriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }
  // Each case starts with no transfer in progress of an earlier one.
  void SetUp() override { TransferLedger::Spool().Clear(); }

  int Save(const std::string& record, int length = FILE_CHUNK_SIZE) {
    return SaveRecvChunkIn(io, spool, record.data(), length);
  }
  int Save(SpoolIo& other, const std::string& record) {
    return SaveRecvChunkIn(other, spool, record.data(), FILE_CHUNK_SIZE);
  }
  std::string Doing(const std::string& name) { return ReadFileBytes(dir.file(name + ".DOING")); }

  TempDir dir;
  std::string spool = dir.path().string();
  SpoolIo io;
};

TEST_F(ChunkWriterTest, AOneChunkFileIsPublishedInTheSameCall) {
  const std::string result = "one result record";
  const std::string gz = Gzip(result);
  EXPECT_EQ(
      Save(ChunkRecord("A1", static_cast<int>(gz.size()), 0, static_cast<int>(gz.size()), gz)),
      kChunkPublished);
  EXPECT_EQ(Doing("A1"), result);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"A1.DOING"});
}

TEST_F(ChunkWriterTest, TheShortRecordOfAFrameLeavesTheRestZero) {
  const std::string gz = Gzip("short");
  const std::string rec =
      ChunkRecord("S", static_cast<int>(gz.size()), 0, static_cast<int>(gz.size()), gz);
  // Only the header, name and the valid payload bytes are sent.
  EXPECT_EQ(Save(rec, FILE_CHUNK_DATA_OFFSET + static_cast<int>(gz.size())), kChunkPublished);
  EXPECT_EQ(Doing("S"), "short");
}

// A compressed file of exactly the largest transferable size, 32,767 bytes.
std::string LargestFile(std::string* content) {
  for (size_t n = 32700; n < 32800; ++n) {
    std::string data = RandomBytes(n, 7);
    std::string gz = Gzip(data);
    if (gz.size() == FILE_CHUNK_MAX_TOTAL) {
      *content = data;
      return gz;
    }
  }
  return std::string();
}

TEST_F(ChunkWriterTest, TheLargestFileArrivesInAnyOrder) {
  std::string content;
  const std::string gz = LargestFile(&content);
  ASSERT_EQ(gz.size(), 32767u);
  const std::vector<std::string> chunks = ChunkRecords("BIG", gz);
  ASSERT_EQ(chunks.size(), 17u);
  EXPECT_EQ(PallixGetI16(reinterpret_cast<const unsigned char*>(chunks[16].data()) + 4), 1695);

  std::vector<std::vector<int>> orders;
  std::vector<int> inOrder(17);
  for (int i = 0; i < 17; ++i) inOrder[i] = i;
  orders.push_back(inOrder);
  orders.emplace_back(inOrder.rbegin(), inOrder.rend());  // last chunk first: a gap
  std::vector<int> shuffled = inOrder;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
  orders.push_back(shuffled);
  std::vector<int> withDuplicates = {0, 1, 1, 2,  3,  3,  3,  4,  5,  6, 7,
                                     8, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  orders.push_back(withDuplicates);

  for (const std::vector<int>& order : orders) {
    SCOPED_TRACE(::testing::PrintToString(order));
    for (size_t k = 0; k < order.size(); ++k) {
      const int result = Save(chunks[static_cast<size_t>(order[k])]);
      if (k + 1 < order.size()) {
        ASSERT_EQ(result, kChunkHandled) << "chunk " << order[k];
        EXPECT_FALSE(fs::exists(dir.file("BIG.DOING")));
      } else {
        ASSERT_EQ(result, kChunkPublished);
      }
    }
    EXPECT_EQ(Doing("BIG"), content);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"BIG.DOING"});
    fs::remove(dir.file("BIG.DOING"));
  }
}

TEST_F(ChunkWriterTest, ALeftoverTheTransferCannotContinueMakesWayForItsFirstChunk) {
  // Longer than the new total: another file of the same name.
  WriteFileBytes(dir.file("T.compress"), std::string(5000, 'x'));
  const std::string gz = Gzip(RandomBytes(3000, 1));
  const auto chunks = ChunkRecords("T", gz);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(Save(chunks[0]), kChunkHandled);
  EXPECT_EQ(ReadFileBytes(dir.file("T.compress")), gz.substr(0, FILE_CHUNK_DATA_SIZE));
  EXPECT_EQ(Save(chunks[1]), kChunkPublished);

  // A one-chunk result is published at once.
  WriteFileBytes(dir.file("U.compress"), std::string(5000, 'x'));
  EXPECT_EQ(Save(ChunkRecords("U", Gzip("one chunk"))[0]), kChunkPublished);
  EXPECT_EQ(Doing("U"), "one chunk");

  // Shorter, but nobody has written to it for longer than the limit.
  WriteFileBytes(dir.file("V.compress"), std::string(2 * FILE_CHUNK_DATA_SIZE, 'x'));
  fs::last_write_time(dir.file("V.compress"),
                      fs::file_time_type::clock::now() - kAbandonedAfter - std::chrono::minutes(1));
  const std::string gzV = Gzip(RandomBytes(5000, 5));
  ASSERT_EQ(ChunkRecords("V", gzV).size(), 3u);
  EXPECT_EQ(Save(ChunkRecords("V", gzV)[0]), kChunkHandled);
  EXPECT_EQ(ReadFileBytes(dir.file("V.compress")), gzV.substr(0, FILE_CHUNK_DATA_SIZE));
}

TEST_F(ChunkWriterTest, ALeftoverShorterFileIsExtendedAndKeepsItsBytes) {
  const std::string content = RandomBytes(3000, 2);
  const std::string gz = Gzip(content);
  // A chunk file begun before a restart already holds the first slot.
  WriteFileBytes(dir.file("R.compress"), gz.substr(0, FILE_CHUNK_DATA_SIZE));
  EXPECT_EQ(Save(ChunkRecords("R", gz)[1]), kChunkPublished);
  EXPECT_EQ(Doing("R"), content);
}

TEST_F(ChunkWriterTest, ASlotBeyondTheTotalAbandonsTheTransferWithoutGrowingTheDisk) {
  const std::string gz = Gzip("abc");
  WriteFileBytes(dir.file("X.compress"), gz.substr(0, 2));
  EXPECT_EQ(Save(ChunkRecord("X", 100, 30000, 10, "0123456789")), kChunkOutOfRange);
  EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST_F(ChunkWriterTest, PublishingAgainReplacesAnUnshownResult) {
  WriteFileBytes(dir.file("P.DOING"), "older result, not shown yet");
  const std::string gz = Gzip("newer");
  EXPECT_EQ(Save(ChunkRecords("P", gz)[0]), kChunkPublished);
  EXPECT_EQ(Doing("P"), "newer");
}

TEST_F(ChunkWriterTest, DecompressionFailureKeepsTheFileAndRetriesWithEveryChunk) {
  const std::string garbage = "this is not a compressed stream";
  const int total = static_cast<int>(garbage.size());
  EXPECT_EQ(Save(ChunkRecord("G", total, 0, total, garbage)), kChunkHandled);
  EXPECT_EQ(ReadFileBytes(dir.file("G.compress")), garbage);
  EXPECT_EQ(Save(ChunkRecord("G", total, 0, total, garbage)), kChunkHandled);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"G.compress"});
}

TEST_F(ChunkWriterTest, EmptyNameAndBadTotalWriteNothing) {
  EXPECT_EQ(Save(ChunkRecord("", 0, 0, 0, "")), kChunkBadName) << "the name is tested first";
  EXPECT_EQ(Save(ChunkRecord("", 10, 0, 3, "abc")), kChunkBadName);
  EXPECT_EQ(Save(std::string(FILE_CHUNK_SIZE, '\0'), 0), kChunkBadName);
  EXPECT_EQ(Save(ChunkRecord("N", 0, 0, 3, "abc")), kChunkBadTotal);
  EXPECT_EQ(Save(ChunkRecord("N", -5, 0, 3, "abc")), kChunkBadTotal);
  EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST_F(ChunkWriterTest, NamesThatWouldLeaveTheSpoolDirectoryAreRejected) {
  const fs::path inner = dir.path() / "spool";
  fs::create_directory(inner);
  spool = inner.string();
  const std::string gz = Gzip("x");
  const int n = static_cast<int>(gz.size());
  for (const std::string name :
       {"../escape", "a/b", "a\\b", ".", "..", "tab\tname", "bell\x07", "del\x7f", "/abs"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Save(ChunkRecord(name, n, 0, n, gz)), kChunkBadName);
  }
  // A name filling its whole field has no terminator: not a usable name.
  EXPECT_EQ(Save(ChunkRecord(std::string(FILE_CHUNK_NAME_SIZE, 'n'), n, 0, n, gz)), kChunkBadName);
  EXPECT_TRUE(Listing(inner).empty());
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"spool"});

  // A GBK character whose trail byte is 0x5C is part of a name, not a separator.
  const std::string gbkName = std::string("\x81\x5C") + Gbk("号");
  EXPECT_EQ(Save(ChunkRecord(gbkName, n, 0, n, gz)), kChunkPublished);
  EXPECT_EQ(Listing(inner), std::vector<std::string>{gbkName + ".DOING"});
}

#if defined(_WIN32)
// Beyond the rule stations check, Windows keeps ':' for itself (it would
// name a stream of another file), and a name becomes a Unicode file name
// only when it is GBK text: such transfers are refused there, as names that
// cannot be file names, and write nothing (they must never hold their
// station back as a spool that cannot be written).
TEST_F(ChunkWriterTest, NamesWindowsCannotTakeAreRejectedThere) {
  const std::string gz = Gzip("x");
  const int n = static_cast<int>(gz.size());
  for (const std::string name : {"a:b", "C:x", "name:stream",
                                 "\xFF"
                                 "ff"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Save(ChunkRecord(name, n, 0, n, gz)), kChunkBadName);
  }
  EXPECT_TRUE(Listing(dir.path()).empty());
}
#endif

TEST_F(ChunkWriterTest, InputOutsideTheRecordIsRejectedAndWritesNothing) {
  const std::string gz = Gzip("x");
  const int n = static_cast<int>(gz.size());
  const std::string good = ChunkRecord("O", n, 0, n, gz);
  std::string longer = good + std::string(10, 'z');
  EXPECT_EQ(SaveRecvChunkIn(io, spool, longer.data(), FILE_CHUNK_SIZE + 1), kChunkOutOfRange);
  EXPECT_EQ(Save(good, -1), kChunkOutOfRange);
  EXPECT_EQ(Save(ChunkRecord("O", n, 0, FILE_CHUNK_DATA_SIZE + 1, gz)), kChunkOutOfRange);
  EXPECT_EQ(Save(ChunkRecord("O", n, 0, -1, gz)), kChunkOutOfRange);
  EXPECT_EQ(Save(ChunkRecord("O", n, -1, n, gz)), kChunkOutOfRange);
  EXPECT_TRUE(Listing(dir.path()).empty());

  // A spool file path of more than 259 characters, the longest being the
  // result written aside: "<deep>/n.DOING.part" is exactly 259,
  // "<deep>/name.DOING.part" 262, though its chunk file would fit.
  const fs::path deep = dir.path() / std::string(245 - spool.size(), 'd');
  ASSERT_EQ(deep.string().size(), 246u);
  fs::create_directory(deep);
  spool = deep.string();
  EXPECT_EQ(Save(ChunkRecord("name", n, 0, n, gz)), kChunkOutOfRange);
  EXPECT_TRUE(Listing(deep).empty());
  EXPECT_EQ(Save(ChunkRecord("n", n, 0, n, gz)), kChunkPublished) << "259 characters still fit";
}

TEST_F(ChunkWriterTest, AResultLongerThanTheBufferIsDroppedWhole) {
  const std::string big(kResultMax + 1, 'a');
  const std::string gz = Gzip(big);
  ASSERT_LT(gz.size(), 1942u);
  EXPECT_EQ(Save(ChunkRecords("BIG", gz)[0]), kChunkTooLarge);
  EXPECT_TRUE(Listing(dir.path()).empty()) << "no .DOING, no rtdata.dat, no chunk file";

  const std::string exact(kResultMax, 'b');
  EXPECT_EQ(Save(ChunkRecords("EXACT", Gzip(exact))[0]), kChunkPublished);
  EXPECT_EQ(Doing("EXACT"), exact);
}

TEST_F(ChunkWriterTest, AMissingSpoolDirectoryIsMadeAgain) {
  spool = dir.file("gone");
  const std::string gz = Gzip("x");
  EXPECT_EQ(Save(ChunkRecords("M", gz)[0]), kChunkPublished);
  EXPECT_EQ(ReadFileBytes(dir.file("gone/M.DOING")), "x");
}

// A file where the spool directory should be: nothing can be made over it,
// so the chunk is refused (its station is told at once) rather than held
// for ever as on a full disk; the file stays as it was.
TEST_F(ChunkWriterTest, ASpoolDirectoryThatIsAFileRefusesTheChunk) {
  spool = dir.file("spool");
  WriteFileBytes(spool, "a file, not a folder");
  EXPECT_EQ(Save(ChunkRecords("F", Gzip("x"))[0]), kChunkNoSpool);
  EXPECT_EQ(ReadFileBytes(spool), "a file, not a folder");
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"spool"});
}

// The same for a link to nothing: no directory is made at its target.
TEST_F(ChunkWriterTest, ASpoolDirectoryThatIsALinkToNothingRefusesTheChunk) {
  spool = dir.file("spool");
  fs::create_symlink(dir.path() / "nowhere" / "spool", spool);
  EXPECT_EQ(Save(ChunkRecords("L", Gzip("x"))[0]), kChunkNoSpool);
  EXPECT_TRUE(fs::is_symlink(spool));
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
}

// And for links that go round in a circle.
TEST_F(ChunkWriterTest, ASpoolDirectoryThatIsALinkInACircleRefusesTheChunk) {
  spool = dir.file("spool");
  fs::create_symlink(dir.path() / "other", spool);
  fs::create_symlink(spool, dir.path() / "other");
  EXPECT_EQ(Save(ChunkRecords("C", Gzip("x"))[0]), kChunkNoSpool);
  EXPECT_TRUE(fs::is_symlink(spool));
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"other", "spool"}));
}

// A Chinese spool directory whose name ends in a character with the second
// byte 0x5C (a '\' on Windows) is made again as it is, and its results are
// decompressed into it, not beside it.
TEST_F(ChunkWriterTest, AMissingSpoolDirectoryWithAChineseNameIsMadeAgainAsItIs) {
  const std::string parent = JoinPath(dir.path().string(), Gbk("结果"));
  const std::string last = "\x81\x5C";  // one character
  spool = JoinPath(parent, last);
  EXPECT_EQ(Save(ChunkRecords("M", Gzip("x"))[0]), kChunkPublished);
  EXPECT_EQ(ReadFileBytes(JoinPath(spool, "M.DOING")), "x");
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{Gbk("结果")});
  EXPECT_EQ(Listing(parent), std::vector<std::string>{last});
  EXPECT_EQ(Listing(spool), std::vector<std::string>{"M.DOING"});
}

TEST_F(ChunkWriterTest, PlantedLinksFifosAndDirectoriesAreNeverOpened) {
  const std::string outside = dir.file("outside");
  WriteFileBytes(outside, "not the monitor's");
  const fs::path inner = dir.path() / "spool";
  fs::create_directory(inner);
  spool = inner.string();
  fs::create_symlink(outside, inner / "L.compress");
  ASSERT_TRUE(MakeFifo((inner / "F.compress").string()));
  ASSERT_TRUE(MakeFifo((inner / "P.DOING.part").string()));
  fs::create_directory(inner / "D.compress");
  // A second name of a file outside: writing there would write the file.
  fs::create_hard_link(outside, inner / "K.compress");
  fs::create_hard_link(outside, inner / "Q.DOING.part");
  // Each returns at once; the chunk is lost, and what was planted stays.
  JournalCapture journal;
  for (const char* name : {"L", "F", "P", "D", "K", "Q"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Save(ChunkRecords(name, Gzip("x"))[0]), kChunkHandled);
  }
  EXPECT_EQ(ReadFileBytes(outside), "not the monitor's");
  EXPECT_EQ(Listing(inner),
            (std::vector<std::string>{"D.compress", "F.compress", "K.compress", "L.compress",
                                      "P.DOING.part", "Q.DOING.part"}));
  EXPECT_NE(JournalCapture::Line("K.compress has another name too (a hard link put there?)"), "");
}

// File layers that fail one step, as a full disk or a yanked drive would.
class FullDisk : public SpoolIo {
 public:
  Result WriteAt(const std::string&, long, const void*, size_t, long*) override {
    return Result::kNoRoom;
  }
};
class FailingPublish : public SpoolIo {
 public:
  // Writes half, then fails, like a disk filling up mid-write.
  Result WriteAll(const std::string& path, const void* data, size_t n) override {
    SpoolIo::WriteAll(path, data, n / 2);
    return Result::kNoRoom;
  }
};
class NoRoomToDecompress : public SpoolIo {
 public:
  int UnCompress(const std::string&, const std::string&) override {
    return PALLIX_UNCOMPRESS_NO_ROOM;
  }
};
class FailingRename : public SpoolIo {
 public:
  Result Rename(const std::string&, const std::string&) override { return Result::kFailed; }
};
class NoOutput : public SpoolIo {
 public:
  int UnCompress(const std::string&, const std::string&) override { return 1; }
};
// A process that has used up its file descriptors, at one step or another.
class NoDescriptors : public SpoolIo {
 public:
  explicit NoDescriptors(int step) : m_step(step) {}
  Result WriteAt(const std::string& path, long offset, const void* data, size_t count,
                 long* length) override {
    if (m_step == 0) return Result::kNoDescriptors;
    return SpoolIo::WriteAt(path, offset, data, count, length);
  }
  int UnCompress(const std::string& path, const std::string& dir) override {
    if (m_step == 1) return PALLIX_UNCOMPRESS_NO_DESCRIPTORS;
    return SpoolIo::UnCompress(path, dir);
  }
  Result ReadAll(const std::string& path, void* buf, size_t max, size_t* n) override {
    if (m_step == 2) return Result::kNoDescriptors;
    return SpoolIo::ReadAll(path, buf, max, n);
  }

 private:
  int m_step;
};

// A spool that cannot be written, or a process out of file descriptors,
// keeps nothing half-done and asks for the chunk again, saying which; handed
// in again once the spool takes it, nothing is lost.
TEST_F(ChunkWriterTest, AFullSpoolKeepsNothingAndAsksForTheChunkAgain) {
  FullDisk full;
  FailingPublish half;
  NoRoomToDecompress noRoom;
  NoDescriptors noFileForTheSlot(0), noFileToDecompress(1), noFileToReadBack(2);
  const std::string gz = Gzip(RandomBytes(1500, 4));
  ASSERT_LE(gz.size(), 1942u) << "one chunk completes the file";
  const struct {
    const char* step;
    SpoolIo* failing;
    int result;
  } layers[] = {{"slot", &full, kChunkSpoolUnwritable},
                {"publication", &half, kChunkSpoolUnwritable},
                {"decompression", &noRoom, kChunkSpoolUnwritable},
                {"slot, no descriptor", &noFileForTheSlot, kChunkNoDescriptors},
                {"decompression, no descriptor", &noFileToDecompress, kChunkNoDescriptors},
                {"reading back, no descriptor", &noFileToReadBack, kChunkNoDescriptors}};
  for (const auto& [step, failing, result] : layers) {
    SCOPED_TRACE(step);
    WriteFileBytes(dir.file("H.DOING"), "previous");
    EXPECT_EQ(Save(*failing, ChunkRecords("H", gz)[0]), result);
    EXPECT_EQ(Doing("H"), "previous");
    for (const std::string& name : Listing(dir.path()))
      EXPECT_TRUE(name == "H.DOING" || name == "H.compress") << name;
    EXPECT_EQ(Save(ChunkRecords("H", gz)[0]), kChunkPublished);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"H.DOING"});
  }
  // A spool directory that is gone and cannot be made again.
  WriteFileBytes(dir.file("file"), "");
  spool = dir.file("file/spool");
  EXPECT_EQ(Save(ChunkRecords("M", gz)[0]), kChunkSpoolUnwritable);
}

TEST_F(ChunkWriterTest, AFailedPublicationNeverLeavesAHalfResult) {
  WriteFileBytes(dir.file("H.DOING"), "previous");
  const std::string gz = Gzip(RandomBytes(1500, 4));
  FailingRename noRename;
  EXPECT_EQ(Save(noRename, ChunkRecords("H", gz)[0]), kChunkHandled);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"H.DOING"});
  EXPECT_EQ(Doing("H"), "previous");
}

TEST_F(ChunkWriterTest, AMissingDecompressedFileLosesTheResult) {
  NoOutput none;
  EXPECT_EQ(Save(none, ChunkRecords("Z", Gzip("x"))[0]), kChunkHandled);
  EXPECT_TRUE(Listing(dir.path()).empty()) << "the chunk file goes with it";
}

TEST_F(ChunkWriterTest, TheSweepRemovesOnlyLeftoversNobodyWritesTo) {
  const auto old = fs::file_time_type::clock::now() - kAbandonedAfter - std::chrono::minutes(1);
  const auto ahead = fs::file_time_type::clock::now() + kAbandonedAfter + std::chrono::minutes(1);
  for (const char* name : {"a.compress", "b.DOING.part", "rtdata.dat", "rtdata.dat.1f2e.part",
                           "ahead.compress", "fresh.compress", "waiting.DOING", "note.txt"})
    WriteFileBytes(dir.file(name), "x");
  ASSERT_TRUE(MakeFifo(dir.file("fifo.compress")));
  for (const char* name : {"a.compress", "b.DOING.part", "rtdata.dat", "rtdata.dat.1f2e.part",
                           "waiting.DOING", "note.txt"})
    fs::last_write_time(dir.file(name), old);
  fs::last_write_time(dir.file("ahead.compress"), ahead);  // the clock was set back

  EXPECT_EQ(SweepSpool(io, spool), 5);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"fifo.compress", "fresh.compress",
                                                           "note.txt", "waiting.DOING"}));
  EXPECT_EQ(SweepSpool(io, spool), 0);
}

// Chunks confirmed in this run are judged by the monitor's own clock, not
// by the file's time stamp, which a clock set back or forward moves: the
// transfer goes on. Once no chunk has come for 10 minutes it is given up,
// unless its station is still connected, and the drop is a warning that
// names the station.
TEST_F(ChunkWriterTest, ATransferOfThisRunIsJudgedByItsOwnClockAndItsStation) {
  JournalCapture journal;
  const FramePeer station{"10.0.0.7", 40007};
  const std::string gz = Gzip(RandomBytes(5000, 9), Z_NO_COMPRESSION);
  const std::vector<std::string> chunks = ChunkRecords("C", gz);
  ASSERT_EQ(chunks.size(), 3u);
  const auto save = [&](size_t k) {
    return SaveRecvChunkIn(io, spool, chunks[k].data(), FILE_CHUNK_SIZE, station);
  };
  const std::string file = dir.file("C.compress");
  EXPECT_EQ(save(0), kChunkHandled);
  // The clock set back, then forward: the stamp says 11 minutes either way.
  for (const auto shift : {-kAbandonedAfter, kAbandonedAfter}) {
    fs::last_write_time(file, fs::file_time_type::clock::now() + shift +
                                  (shift.count() < 0 ? -1 : 1) * std::chrono::minutes(1));
    EXPECT_EQ(save(1), kChunkHandled);
    EXPECT_EQ(ReadFileBytes(file).substr(0, FILE_CHUNK_DATA_SIZE),
              gz.substr(0, FILE_CHUNK_DATA_SIZE))
        << "chunk 0 kept";
  }
  // Eleven quiet minutes while the station is still connected: kept.
  TransferLedger::Entry* e = TransferLedger::Spool().Find("C");
  ASSERT_NE(e, nullptr);
  e->lastSeen -= kAbandonedAfter + std::chrono::minutes(1);
  e->stationThere = true;
  EXPECT_EQ(SweepSpool(io, spool), 0);
  // Gone: the sweep drops it, and says whose it was.
  e->stationThere = false;
  EXPECT_EQ(SweepSpool(io, spool), 1);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(JournalCapture::Lines().back().rfind(
                "WARN brenna.spool: spool swept: 1 file nobody had written to for 10 minutes "
                "removed: 1 abandoned transfer 'C' from 10.0.0.7:40007",
                0),
            0u)
      << JournalCapture::Lines().back();

  // The same found by its next chunk: it starts afresh, with a warning.
  EXPECT_EQ(save(0), kChunkHandled);
  TransferLedger::Spool().Find("C")->lastSeen -= kAbandonedAfter + std::chrono::minutes(1);
  EXPECT_EQ(save(1), kChunkHandled);
  EXPECT_EQ(ReadFileBytes(file).substr(0, FILE_CHUNK_DATA_SIZE),
            std::string(FILE_CHUNK_DATA_SIZE, '\0'))
      << "a fresh file: chunk 0 gone";
  EXPECT_NE(JournalCapture::Line("WARN brenna.spool: an older chunk file of 'C'"), "");
  EXPECT_NE(JournalCapture::Line("its last chunk came from 10.0.0.7:40007) dropped: no chunk of "
                                 "it had come for 10 minutes"),
            "");
}

// When a station's connection ends with its transfer incomplete the
// journal says so at once, once: the name, the station, the chunks
// received of the total and by when the rest must come.
TEST_F(ChunkWriterTest, AStationGoneWithItsTransferIncompleteIsSaidAtOnce) {
  JournalCapture journal;
  const FramePeer station{"10.0.0.8", 40008};
  const std::vector<std::string> chunks = ChunkRecords("I", Gzip(RandomBytes(5000, 3), 0));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[2].data(), FILE_CHUNK_SIZE, station), kChunkHandled);
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[0].data(), FILE_CHUNK_SIZE, station), kChunkHandled);
  PeerState state = PeerState::kConnected;
  std::vector<std::string> asked;
  const auto connection = [&](const FramePeer& peer) {
    asked.push_back(PeerText(peer));
    return state;
  };
  EXPECT_EQ(WatchTransfers(TransferLedger::Spool(), connection), 0);
  EXPECT_EQ(asked, std::vector<std::string>{"10.0.0.8:40008"});
  state = PeerState::kGone;
  EXPECT_EQ(WatchTransfers(TransferLedger::Spool(), connection), 1);
  const std::string line = JournalCapture::Line("transfer 'I' from 10.0.0.8:40008 incomplete");
  EXPECT_EQ(line.rfind("WARN brenna.spool: transfer 'I' from 10.0.0.8:40008 incomplete: its "
                       "connection ended with 2 of 3 chunks received; the rest must come by ",
                       0),
            0u)
      << line;
  EXPECT_EQ(WatchTransfers(TransferLedger::Spool(), connection), 0) << "said once";
  // One that has every chunk but does not decompress is said when complete,
  // not again as incomplete.
  const std::string garbage = "not a compressed stream";
  const int size = static_cast<int>(garbage.size());
  EXPECT_EQ(SaveRecvChunkIn(io, spool, ChunkRecord("G", size, 0, size, garbage).data(),
                            FILE_CHUNK_SIZE, station),
            kChunkHandled);
  EXPECT_EQ(WatchTransfers(TransferLedger::Spool(), connection), 0);
  EXPECT_EQ(JournalCapture::Line("transfer 'G' from 10.0.0.8:40008 incomplete"), "");
  // The station comes back with the rest: published.
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[1].data(), FILE_CHUNK_SIZE, station),
            kChunkPublished);
  EXPECT_EQ(WatchTransfers(TransferLedger::Spool(), connection), 0);
}

#if defined(_WIN32)
// The same on Windows, where the age comes from the file's FILETIME and a
// folder stands for what is planted (Windows has no FIFO in a folder).
TEST_F(ChunkWriterTest, OnWindowsTheSweepRemovesOnlyLeftoversNobodyWritesTo) {
  const auto old = fs::file_time_type::clock::now() - kAbandonedAfter - std::chrono::minutes(1);
  const auto ahead = fs::file_time_type::clock::now() + kAbandonedAfter + std::chrono::minutes(1);
  for (const char* name : {"a.compress", "b.DOING.part", "rtdata.dat", "rtdata.dat.1f2e.part",
                           "ahead.compress", "fresh.compress", "waiting.DOING", "note.txt"})
    WriteFileBytes(dir.file(name), "x");
  fs::create_directory(dir.file("folder.compress"));
  for (const char* name : {"a.compress", "b.DOING.part", "rtdata.dat", "rtdata.dat.1f2e.part",
                           "waiting.DOING", "note.txt"})
    fs::last_write_time(dir.file(name), old);
  fs::last_write_time(dir.file("ahead.compress"), ahead);  // the clock was set back

  EXPECT_EQ(SweepSpool(io, spool), 5);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"folder.compress", "fresh.compress",
                                                           "note.txt", "waiting.DOING"}));
  EXPECT_EQ(SweepSpool(io, spool), 0);
}
#endif

// Chunk frames carry no address: the network task hands the writer the
// station of each, and the publication line names the one that sent the
// last chunk, and the first when it was another (a station that
// reconnected from a new port, or a second station under the same name).
TEST_F(ChunkWriterTest, ThePublicationLineNamesTheStationOfTheTransfer) {
  JournalCapture journal;
  const std::string gz = Gzip(RandomBytes(3000, 11), Z_NO_COMPRESSION);
  const std::vector<std::string> chunks = ChunkRecords("P", gz);
  ASSERT_EQ(chunks.size(), 2u);
  const FramePeer first{"10.0.0.1", 40001};
  const FramePeer last{"10.0.0.2", 40002};
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[0].data(), FILE_CHUNK_SIZE, first), kChunkHandled);
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[1].data(), FILE_CHUNK_SIZE, last), kChunkPublished);
  const std::string published = JournalCapture::Line("result 'P' published");
  EXPECT_NE(published.find("sent by 10.0.0.2:40002, its first chunk by 10.0.0.1:40001"),
            std::string::npos)
      << published;

  // One station throughout: named once. The earlier transfer's stations
  // are not carried over to the next one of the same name.
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[0].data(), FILE_CHUNK_SIZE, last), kChunkHandled);
  EXPECT_EQ(SaveRecvChunkIn(io, spool, chunks[1].data(), FILE_CHUNK_SIZE, last), kChunkPublished);
  ASSERT_EQ(JournalCapture::Lines().back().rfind("INFO brenna.spool: result 'P' published", 0), 0u)
      << JournalCapture::Lines().back();
  EXPECT_NE(JournalCapture::Lines().back().find("sent by 10.0.0.2:40002"), std::string::npos);
  EXPECT_EQ(JournalCapture::Lines().back().find("10.0.0.1"), std::string::npos)
      << JournalCapture::Lines().back();

  // A refusal names the station and the rule.
  EXPECT_EQ(SaveRecvChunkIn(io, spool, ChunkRecord("../x", 10, 0, 10, "0123456789").data(),
                            FILE_CHUNK_SIZE, first),
            kChunkBadName);
  EXPECT_EQ(JournalCapture::Lines().back().rfind(
                "WARN brenna.spool: chunk of transfer '../x' from 10.0.0.1:40001 refused: the "
                "name cannot be a file name here",
                0),
            0u)
      << JournalCapture::Lines().back();
}

TEST(TransferName, UsableNames) {
  EXPECT_TRUE(IsUsableTransferName("A1"));
  EXPECT_TRUE(IsUsableTransferName("..."));
  EXPECT_TRUE(IsUsableTransferName(".hidden"));
  EXPECT_TRUE(IsUsableTransferName(Gbk("制动-0815")));
  EXPECT_FALSE(IsUsableTransferName(""));
  EXPECT_FALSE(IsUsableTransferName("a\\"));
  EXPECT_FALSE(
      IsUsableTransferName("\x81"
                           "/"));  // '/' is never a trail byte
  // No Windows file name may hold these: a monitor there could not store
  // the transfer, nor a station its work files.
  for (const char* name : {"lane?2", "lane*", "\"brake\"", "a<b", "a>b", "a|b"})
    EXPECT_FALSE(IsUsableTransferName(name)) << name;
  // 0x7C ('|') as the trail byte of a GBK character is part of it.
  EXPECT_TRUE(IsUsableTransferName("\x81\x7C-1"));
}

}  // namespace
