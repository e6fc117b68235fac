#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <future>
#include <stdexcept>

#include "ChunkBuilder.h"
#include "JournalCapture.h"
#include "PallixForTests.h"
#include "RecordingBoard.h"
#include "TempDir.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/NetTasks.h"
#include "app/Globals.h"
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

bool SpoolLockIsFree() {
  // Asked from another thread: std::mutex may not be probed by its owner.
  return std::async(std::launch::async,
                    [] {
                      if (!g_spoolLock.try_lock()) return false;
                      g_spoolLock.unlock();
                      return true;
                    })
      .get();
}

// A network that hands out scripted frames, then nothing.
class NetRecvTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { UseSpoolDirectory(dir.path().string()); }

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
    return calls;
  }

  TempDir dir;
  std::deque<std::string> script;
  std::vector<int> channels, sizes;
  std::vector<std::string> fresh;
  std::vector<bool> lockHeldDuringSave;
  bool saveThrows = false;
  int spoolFull = 0;                          // how many saves in a row find the spool unwritable
  int spoolFullWith = kChunkSpoolUnwritable;  // and what the writer says
  int pauses = 0;
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

TEST_F(NetRecvTaskTest, WithoutTheLibraryTheTaskJustIdles) {
  UnloadPallix();
  EXPECT_EQ(ReadNetData(11, nullptr, 0), PALLIX_NOT_LOADED);
  EXPECT_EQ(NetRecvTask(), 0);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(IdleStateTask, ShowsTheIdleTextInRedOnAllSevenOperatorDisplays) {
  RecordingBoard board;
  g_pMainDlg = &board;
  EXPECT_EQ(IdleStateTask(), 1);
  g_pMainDlg = nullptr;

  const auto log = board.log();
  ASSERT_EQ(log.size(), 14u);
  const int order[7] = {1018, 1021, 1065, 1072, 1073, 1157, 1119};
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE(order[k]);
    EXPECT_EQ(log[2 * k].displayId, order[k]);
    EXPECT_FALSE(log[2 * k].isText) << "colours first";
    EXPECT_EQ(log[2 * k].background, 0xffffffu);
    EXPECT_EQ(log[2 * k].textColor, 0x0000ffu);
    EXPECT_EQ(log[2 * k + 1].displayId, order[k]);
    EXPECT_TRUE(log[2 * k + 1].isText);
    EXPECT_EQ(log[2 * k + 1].text, Gbk("设备空闲"));
  }
}

TEST(IdleStateTask, WithoutAWindowItDoesNothing) {
  g_pMainDlg = nullptr;
  EXPECT_EQ(IdleStateTask(), 1);
}

}  // namespace
