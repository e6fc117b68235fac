#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <future>
#include <stdexcept>

#include "ChunkBuilder.h"
#include "JournalCapture.h"
#include "PallixForTests.h"
#include "TempDir.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/NetTasks.h"
#include "acquisition/SpoolAccess.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

std::string Frame(uint32_t command, const std::string& data, int32_t length) {
  std::string f(NET_FRAME_SIZE, '\0');
  auto* p = reinterpret_cast<unsigned char*>(f.data());
  PallixPutU32(p + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(p + NET_FRAME_COMMAND_OFFSET, command);
  PallixPutU32(p + NET_FRAME_LENGTH_OFFSET, static_cast<uint32_t>(length));
  std::copy(data.begin(), data.begin() + std::min<size_t>(data.size(), NET_FRAME_DATA_SIZE),
            f.begin() + NET_FRAME_DATA_OFFSET);
  PallixPutU32(p + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  return f;
}

// What the pipeline would hand the tasks: its spool lock and a spool
// directory.
class InstalledSpoolAccess {
 public:
  explicit InstalledSpoolAccess(std::string spool)
      : m_spoolAccess{&m_lock, [spool] { return spool; }} {
    InstallSpoolAccess(&m_spoolAccess);
  }
  ~InstalledSpoolAccess() { InstallSpoolAccess(nullptr); }
  InstalledSpoolAccess(const InstalledSpoolAccess&) = delete;
  InstalledSpoolAccess& operator=(const InstalledSpoolAccess&) = delete;

  bool SpoolLockIsFree() {
    // Asked from another thread: std::mutex may not be probed by its owner.
    return std::async(std::launch::async,
                      [this] {
                        if (!m_lock.try_lock()) return false;
                        m_lock.unlock();
                        return true;
                      })
        .get();
  }

 private:
  std::mutex m_lock;
  SpoolAccess m_spoolAccess;
};

// A network that hands out scripted frames, then nothing.
class NetRecvTaskTest : public ::testing::Test {
 protected:
  bool SpoolLockIsFree() { return data.SpoolLockIsFree(); }

  NetRecvCalls Calls() {
    NetRecvCalls calls;
    calls.read = [this](int channel, void* buf, int size) {
      channels.push_back(channel);
      sizes.push_back(size);
      fresh.push_back(std::string(static_cast<char*>(buf), static_cast<size_t>(size)));
      if (script.empty()) return 0;
      std::string f = script.front();
      script.pop_front();
      std::copy(f.begin(), f.end(), static_cast<char*>(buf));
      return static_cast<int>(f.size());
    };
    calls.save = [this](const void* data, int length, const FramePeer& peer) {
      lockHeldDuringSave.push_back(!SpoolLockIsFree());
      if (saveThrows) throw std::runtime_error("disk gone");
      if (spoolFull > 0) {
        --spoolFull;
        return spoolFullWith;
      }
      return SaveRecvChunk(data, length, peer);
    };
    calls.pause = [this] { ++pauses; };
    calls.refuse = [this](int channel) {
      refusedOn.push_back(channel);
      return refuseWorks;
    };
    calls.reject = [this](int channel) {
      rejectedOn.push_back(channel);
      return true;
    };
    calls.wanted = [this](int) {
      if (wantedAnswers.empty()) return kFrameWanted;
      const int answer = wantedAnswers.front();
      wantedAnswers.pop_front();
      return answer;
    };
    return calls;
  }

  TempDir dir;
  InstalledSpoolAccess data{dir.path().string()};
  std::deque<std::string> script;
  std::vector<int> channels, sizes;
  std::vector<std::string> fresh;
  std::vector<bool> lockHeldDuringSave;
  bool saveThrows = false;
  int spoolFull = 0;                          // how many saves in a row find the spool unwritable
  int spoolFullWith = kChunkSpoolUnwritable;  // and what the writer says
  int pauses = 0;
  std::vector<int> refusedOn;     // the channels frames were refused on
  std::vector<int> rejectedOn;    // and refused for good on
  std::deque<int> wantedAnswers;  // whether the held frame's station still waits
  bool refuseWorks = true;        // false: a library without PallixRefuseFrame
  NetRecvHold hold;
};

TEST_F(NetRecvTaskTest, EachCallReadsOneFreshFrameFromChannel11AndPauses) {
  script.push_back(std::string(NET_FRAME_SIZE, '\xAB'));  // garbage written into the buffer
  const NetRecvCalls calls = Calls();
  EXPECT_EQ(NetRecvOnce(calls, hold), 0);
  EXPECT_EQ(NetRecvOnce(calls, hold), 0);
  EXPECT_EQ(NetRecvOnce(calls, hold), 0);
  EXPECT_EQ(pauses, 3);
  EXPECT_EQ(channels, (std::vector<int>{11, 11, 11}));
  EXPECT_EQ(sizes, (std::vector<int>{2072, 2072, 2072}));
  const std::string initial = Frame(0, "", 0);
  for (const std::string& seen : fresh) EXPECT_EQ(seen, initial);
  EXPECT_TRUE(lockHeldDuringSave.empty());
}

TEST_F(NetRecvTaskTest, OnlyFileChunkFramesReachTheWriterUnderTheSpoolLock) {
  const std::string chunk = ChunkRecord("C", 100, 0, 10, "0123456789");
  script.push_back(Frame(993, chunk, FILE_CHUNK_SIZE));
  script.push_back(Frame(995, chunk, FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  NetRecvOnce(calls, hold);
  NetRecvOnce(calls, hold);
  EXPECT_TRUE(lockHeldDuringSave.empty());
  EXPECT_TRUE(fs::is_empty(dir.path())) << "a well-formed chunk in another command is ignored";

  script.push_back(Frame(NET_CMD_FILE_CHUNK, chunk, FILE_CHUNK_SIZE));
  NetRecvOnce(calls, hold);
  EXPECT_EQ(lockHeldDuringSave, std::vector<bool>{true});
  EXPECT_EQ(ReadFileBytes(dir.file("C.compress")), "0123456789");
  EXPECT_TRUE(SpoolLockIsFree());
}

TEST_F(NetRecvTaskTest, ALengthOfZeroGivesTheWriterAnEmptyChunk) {
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("L", 10, 0, 3, "abc"), 0));
  NetRecvOnce(Calls(), hold);
  EXPECT_EQ(lockHeldDuringSave.size(), 1u);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(NetRecvTaskTest, AWriterExceptionLeavesTheLockFreeAndReceptionGoesOn) {
  saveThrows = true;
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("E", 10, 0, 3, "abc"), FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  EXPECT_EQ(NetRecvOnce(calls, hold), 0);
  EXPECT_EQ(pauses, 1);
  EXPECT_TRUE(SpoolLockIsFree());
  saveThrows = false;
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("E", 10, 0, 3, "abc"), FILE_CHUNK_SIZE));
  NetRecvOnce(calls, hold);
  EXPECT_EQ(ReadFileBytes(dir.file("E.compress")), "abc");
}

// A chunk the writer refuses for good (a name no file may have, no total,
// chunks cut beyond their total) is answered
// to its station as refused, never as delivered; a stored chunk, and one
// the spool cannot take now, are not.
TEST_F(NetRecvTaskTest, AChunkRefusedForGoodIsAnsweredAsRefusedToItsStation) {
  const NetRecvCalls calls = Calls();
  const auto feed = [&](const std::string& record) {
    script.push_back(Frame(NET_CMD_FILE_CHUNK, record, FILE_CHUNK_SIZE));
    NetRecvOnce(calls, hold);
  };
  feed(ChunkRecord("a?b", 3, 0, 3, "abc"));
  feed(ChunkRecord("no-total", 0, 0, 3, "abc"));
  feed(ChunkRecord("beyond", 3, 1, 3, "abc"));
  EXPECT_EQ(rejectedOn, (std::vector<int>{11, 11, 11}));
  feed(ChunkRecord("stored", 10, 0, 3, "abc"));
  spoolFull = 1;
  feed(ChunkRecord("later", 10, 0, 3, "abc"));
  EXPECT_EQ(rejectedOn.size(), 3u);
  EXPECT_TRUE(refusedOn.empty());
}

// A frame held while the spool is full is tried again only while its
// station still waits for it: asked first, and while it is being asked,
// asked again shortly; once it has given up, the frame is dropped, never
// written, and reception goes on.
TEST_F(NetRecvTaskTest, AHeldFrameWhoseStationGaveUpIsDroppedNotWritten) {
  spoolFull = 1;
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("G", 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("N", 10, 0, 3, "xyz"), FILE_CHUNK_SIZE));
  wantedAnswers = {kFrameAsking, kFrameGivenUp};
  const NetRecvCalls calls = Calls();
  int passes = 0;
  while (channels.size() < 2 && passes < 4 * kRetryPasses) {
    NetRecvOnce(calls, hold);
    ++passes;
  }
  EXPECT_LT(passes, kRetryPasses + 2 * kAskAgainPasses) << "asked again shortly, then dropped";
  EXPECT_EQ(lockHeldDuringSave.size(), 2u) << "the first try, then the next frame; no second try";
  EXPECT_FALSE(fs::exists(dir.file("G.compress")));
  EXPECT_EQ(ReadFileBytes(dir.file("N.compress")), "xyz");
  EXPECT_TRUE(wantedAnswers.empty());
}

// The frame in hand is tried again about once a second, one pause per
// call, and no other frame is read until it is written.
TEST_F(NetRecvTaskTest, AFrameTheSpoolCannotTakeIsKeptAndTriedAgain) {
  spoolFull = 2;
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("K", 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("N", 10, 0, 3, "xyz"), FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  for (int pass = 0; pass < 2 * kRetryPasses; ++pass) NetRecvOnce(calls, hold);
  EXPECT_EQ(channels.size(), 1u) << "nothing read while the frame is in hand";
  EXPECT_EQ(lockHeldDuringSave, std::vector<bool>(2, true)) << "one try a second";
  EXPECT_EQ(pauses, 2 * kRetryPasses);
  EXPECT_TRUE(SpoolLockIsFree());
  EXPECT_TRUE(fs::is_empty(dir.path()));

  NetRecvOnce(calls, hold);
  EXPECT_EQ(lockHeldDuringSave.size(), 3u);
  EXPECT_EQ(ReadFileBytes(dir.file("K.compress")), "abc");
  EXPECT_EQ(channels.size(), 1u) << "the next frame is asked for only on the next call";
  NetRecvOnce(calls, hold);
  EXPECT_EQ(channels.size(), 2u);
  EXPECT_EQ(ReadFileBytes(dir.file("N.compress")), "xyz");
}

// A process out of file descriptors holds the frame as a full disk does,
// and the journal says the real reason, once, and when it is over.
TEST_F(NetRecvTaskTest, AProcessOutOfDescriptorsHoldsTheFrameAndSaysWhy) {
  JournalCapture journal;
  spoolFull = 2;
  spoolFullWith = kChunkNoDescriptors;
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("K", 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  for (int pass = 0; pass <= 2 * kRetryPasses; ++pass) NetRecvOnce(calls, hold);
  EXPECT_EQ(lockHeldDuringSave.size(), 3u);
  EXPECT_EQ(ReadFileBytes(dir.file("K.compress")), "abc");
  const std::string held = JournalCapture::Line("no file descriptor to spare");
  EXPECT_EQ(held.rfind("WARN brenna.spool: a spool file cannot be opened: the process has no "
                       "file descriptor to spare",
                       0),
            0u)
      << held;
  EXPECT_EQ(JournalCapture::Line("disk full"), "") << "not a full disk";
  EXPECT_NE(JournalCapture::Line("spool files can be opened again after"), "");
}

// A file in the spool directory's place takes no chunk until someone
// removes it: each chunk is refused to its station at once instead of held
// until its send times out, reception goes on with the next frame, and the
// journal says so once, then once again with the count when chunks are
// written again.
TEST_F(NetRecvTaskTest, ASpoolDirectoryThatIsAFileRefusesEachChunkAndSaysSoOnce) {
  JournalCapture journal;
  const fs::path spool = dir.path() / "spool";
  WriteFileBytes(spool.string(), "a file, not a folder");
  InstalledSpoolAccess broken(spool.string());
  for (const char* name : {"R1", "R2", "R3"})
    script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord(name, 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  for (int pass = 0; pass < 3; ++pass) NetRecvOnce(calls, hold);
  EXPECT_EQ(refusedOn, (std::vector<int>{11, 11, 11}));
  EXPECT_EQ(channels.size(), 3u) << "a refused frame is not held";
  EXPECT_FALSE(hold.holding);
  EXPECT_EQ(ReadFileBytes(spool.string()), "a file, not a folder");
  // One line, not one per chunk (Line finds exactly one).
  const std::string said = JournalCapture::Line("every chunk is refused");
  EXPECT_EQ(said.rfind("ERROR", 0), 0u) << said;
  EXPECT_NE(said.find("brenna.spool: the spool directory " + spool.string() +
                      " is a file, not a directory: every chunk is refused, and its station told "
                      "at once that it was not delivered (it must send again), the first of 'R1' "
                      "from an unknown station"),
            std::string::npos)
      << said;

  fs::remove(spool);
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("R4", 10, 0, 3, "xyz"), FILE_CHUNK_SIZE));
  NetRecvOnce(calls, hold);
  EXPECT_EQ(ReadFileBytes((spool / "R4.compress").string()), "xyz");
  EXPECT_EQ(refusedOn.size(), 3u);
  EXPECT_NE(JournalCapture::Line("takes chunks again after"), "");
  EXPECT_NE(JournalCapture::Line("3 chunks were refused meanwhile"), "");
}

// A library that cannot refuse a frame leaves no way to tell the station:
// the frame is held as on a full disk, never counted as handled.
TEST_F(NetRecvTaskTest, ASpoolDirectoryThatIsAFileHoldsTheFrameWhenItCannotBeRefused) {
  refuseWorks = false;
  const fs::path spool = dir.path() / "spool";
  WriteFileBytes(spool.string(), "a file, not a folder");
  InstalledSpoolAccess broken(spool.string());
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("H", 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  script.push_back(Frame(NET_CMD_FILE_CHUNK, ChunkRecord("I", 3, 0, 3, "abc"), FILE_CHUNK_SIZE));
  const NetRecvCalls calls = Calls();
  for (int pass = 0; pass <= kRetryPasses; ++pass) NetRecvOnce(calls, hold);
  EXPECT_TRUE(hold.holding);
  EXPECT_EQ(channels.size(), 1u) << "nothing read while the frame is in hand";
  EXPECT_EQ(lockHeldDuringSave.size(), 2u);
}

TEST_F(NetRecvTaskTest, WithoutTheLibraryTheTaskJustIdles) {
  UnloadPallix();
  EXPECT_EQ(ReadNetData(11, nullptr, 0), PALLIX_NOT_LOADED);
  EXPECT_EQ(NetRecvTask(), 0);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
