// The installed monitor under faults, out of process on the offscreen
// platform: killed in the middle of a transfer and started again, and its
// spool directory removed under it and created again. Every wait is for a
// condition, with a generous limit; nothing is timed.
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <filesystem>
#include <set>
#include <thread>

#include "MonitorProcess.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "Station.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

std::string Join(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "(nothing)" : out;
}

// The decompressed file behind a result's frames.
std::string ResultRecord(const std::vector<std::string>& frames) {
  std::string gz;
  for (const std::string& f : frames)
    gz.append(f, NET_FRAME_DATA_OFFSET + FILE_CHUNK_DATA_OFFSET,
              static_cast<size_t>(PallixGetI16(reinterpret_cast<const unsigned char*>(f.data()) +
                                               NET_FRAME_DATA_OFFSET + FILE_CHUNK_COUNT_OFFSET)));
  z_stream s{};
  inflateInit2(&s, 15 + 32);
  std::string out(200000, '\0');
  s.next_in = reinterpret_cast<Bytef*>(gz.data());
  s.avail_in = static_cast<uInt>(gz.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

class MonitorFault : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m_monitor.Start(&error)) << error;
  }

  std::vector<std::string> Frames(const std::string& name, const std::string& description) {
    std::vector<std::string> frames;
    std::string error;
    EXPECT_TRUE(m_monitor.Frames(name, description, &frames, &error)) << error;
    return frames;
  }

  // Sends the bytes on one connection until the monitor has read them all.
  void Send(const std::string& bytes) {
    const StreamOutcome out = SendStream(m_monitor.tree().port(), bytes, kPatience);
    EXPECT_TRUE(out.closedByPeer && out.error.empty()) << out.error;
  }

  void ExpectShown(const std::set<std::string>& names) {
    EXPECT_TRUE(m_monitor.watch().WaitUntilShown(names, kPatience))
        << "not all of " << Join(names)
        << " shown; in the spool directory: " << Join(m_monitor.tree().SpoolNames())
        << "\nmonitor output:\n"
        << m_monitor.Log();
  }

  // The names of every result the window has shown so far.
  std::set<std::string> Shown() {
    std::set<std::string> out;
    for (const auto& [name, t] : m_monitor.watch().Snapshot())
      if (t.isShown) out.insert(name);
    return out;
  }

  std::string Spool(const std::string& name) { return m_monitor.tree().spool() + "/" + name; }

  MonitorProcess m_monitor;
};

}  // namespace

// Reassembly lives in the spool directory, so a transfer cut by a crash goes
// on after the restart; a result caught half-written (its ".DOING.part")
// is never shown.
TEST_F(MonitorFault, AKilledMonitorFinishesTheTransferAfterARestartAndNeverShowsAHalfResult) {
  const std::vector<std::string> frames = Frames("resumed", LargeResult(1, 60));
  ASSERT_GE(frames.size(), 10u) << "the result should need many chunks";
  const size_t half = frames.size() / 2;

  Send(Concat(frames, 0, half));
  // The first chunks are on disk, each in its slot.
  const std::string chunkFile = Spool("resumed.compress");
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::error_code ec;
  while (fs::file_size(chunkFile, ec) != half * FILE_CHUNK_DATA_SIZE &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(half * FILE_CHUNK_DATA_SIZE, fs::file_size(chunkFile, ec)) << ec.message();

  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  ASSERT_TRUE(m_monitor.monitor().Signalled());
  // What a kill during publication leaves: the whole result, written aside
  // but never put in place.
  const std::string complete = ResultRecord(Frames("caught", SmallResult(25, "0815")));
  ASSERT_FALSE(complete.empty());
  WriteFileBytes(Spool("caught.DOING.part"), complete);

  std::string error;
  ASSERT_TRUE(m_monitor.Start(&error)) << error;
  // A whole result sent after the restart is shown: the window has scanned
  // the directory with the half-done transfer and the stray file in it.
  Send(Concat(Frames("after-restart", SmallResult(3, "0817"))));
  ExpectShown({"after-restart"});
  EXPECT_EQ((std::set<std::string>{"after-restart"}), Shown());

  Send(Concat(frames, half));
  ExpectShown({"resumed"});
  EXPECT_EQ((std::set<std::string>{"after-restart", "resumed"}), Shown());
  // Nothing of the transfer is left; the stray file stays where it was, as
  // it was.
  EXPECT_EQ((std::set<std::string>{"caught.DOING.part"}), m_monitor.tree().SpoolNames());
  EXPECT_EQ(complete, ReadFileBytes(Spool("caught.DOING.part")));
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// The spool directory goes away under the running monitor and comes back:
// whatever arrives meanwhile is lost (nothing creates the directory), and
// reception and display carry on once it is there again.
TEST_F(MonitorFault, ReceptionResumesWhenTheSpoolDirectoryComesBack) {
  Send(Concat(Frames("before", SmallResult(25, "0815"))));
  ExpectShown({"before"});

  std::error_code ec;
  fs::remove_all(m_monitor.tree().spool(), ec);
  ASSERT_FALSE(ec) << ec.message();
  // Half a transfer and a whole result while there is no directory.
  const std::vector<std::string> cut = Frames("cut", LargeResult(2, 60));
  Send(Concat(cut, 0, cut.size() / 2));
  Send(Concat(Frames("meanwhile", SmallResult(11, "0816"))));
  EXPECT_TRUE(m_monitor.monitor().Running()) << m_monitor.Log();

  fs::create_directories(m_monitor.tree().spool(), ec);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_TRUE(m_monitor.watch().Rewatch());
  Send(Concat(Frames("after", SmallResult(3, "0817"))));
  ExpectShown({"after"});
  // The rest of the cut transfer alone cannot make a file (its first half
  // went with the directory); sent again whole, it is shown.
  Send(Concat(cut));
  ExpectShown({"cut"});
  // What was sent while the directory was gone is lost, unless the monitor
  // had not yet taken it from the connection when the directory came back.
  std::set<std::string> shown = Shown();
  shown.erase("meanwhile");
  EXPECT_EQ((std::set<std::string>{"before", "after", "cut"}), shown);
  // A late "meanwhile" goes the same way; nothing else is left.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!m_monitor.tree().SpoolNames().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(m_monitor.tree().SpoolNames().empty())
      << "left behind: " << Join(m_monitor.tree().SpoolNames());
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// A station told "delivered" (the tool's exit status 0) may rely on it: the
// monitor killed the moment the tool ends, and started again, shows every
// such result. Each round sends several one-frame results over one
// connection, so that frames are still queued when the last one arrives.
TEST_F(MonitorFault, EveryResultConfirmedToAStationSurvivesAKillRightAfter) {
  std::set<std::string> confirmed;
  for (int round = 1; round <= 4; ++round) {
    std::vector<std::string> names, descriptions;
    for (int k = 1; k <= 6; ++k) {
      names.push_back("kill" + std::to_string(round) + "-" + std::to_string(k));
      descriptions.push_back(SmallResult(k % 2 ? 25 : 11, std::to_string(round * 10 + k)));
    }
    std::string output;
    const int status = m_monitor.SendResults(names, descriptions, &output);
    ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
    ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
    // The monitor ran throughout, so the tool must have been confirmed.
    EXPECT_EQ(0, status) << output;
    if (status == 0) confirmed.insert(names.begin(), names.end());
    std::string error;
    ASSERT_TRUE(m_monitor.Start(&error)) << error;
  }
  ASSERT_EQ(24u, confirmed.size());
  ExpectShown(confirmed);
  EXPECT_TRUE(m_monitor.monitor().Running());
}
