// The monitor with its spool on a small file system that fills up: what
// was sent meanwhile is shown once there is room, a fresh station is served
// before a flood's backlog whatever the flood's addresses, and a station
// that gave up while its frame waited never has its result written behind
// its back. Every wait is for a condition, with a generous limit.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>

#include "FaultFixture.h"
#include "SmallFileSystem.h"

using namespace fault_test;

namespace {

// The monitor with its spool directory on a small file system of its own.
class MonitorFullSpool : public MonitorFault {
 protected:
  void SetUp() override {
    std::error_code ec;
    fs::create_directories(m_monitor.tree().spool(), ec);
    m_small = std::make_unique<SmallFileSystem>(m_monitor.tree().spool(), 256 * 1024);
    if (!m_small->ok()) GTEST_SKIP() << "no small file system here: " << m_small->error();
    MonitorFault::SetUp();
  }
  void TearDown() override {
    m_monitor.monitor().Stop();
    m_small.reset();
  }

  std::unique_ptr<SmallFileSystem> m_small;
};

}  // namespace

// While the spool is full the monitor holds the frame in hand and takes no
// other; nothing half-written is left. Once there is room again it goes on
// by itself, and every result sent meanwhile is shown.
TEST_F(MonitorFullSpool, ResultsSentWhileTheSpoolIsFullAreShownOnceThereIsRoom) {
  const std::string filler = Spool("filler");
  SmallFileSystem::Fill(filler);
  const std::vector<std::string> names = {"full-1", "full-2", "full-3"};
  std::vector<std::string> streams;
  for (size_t i = 0; i < names.size(); ++i)
    streams.push_back(Concat(Frames(names[i], LargeResult(static_cast<unsigned>(10 + i), 8))));
  std::vector<StreamOutcome> outcomes(names.size());
  std::vector<std::thread> stations;
  for (size_t i = 0; i < names.size(); ++i)
    stations.emplace_back(
        [&, i] { outcomes[i] = SendStream(m_monitor.tree().port(), streams[i], kPatience); });

  // Time for the monitor to meet the full spool. Not a measurement: had it
  // not tried yet, the checks below would prove less, never fail wrongly.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  // A chunk being tried again exists for an instant: look a few times.
  bool onlyFiller = false;
  for (int look = 0; look < 5 && !onlyFiller; ++look) {
    onlyFiller = m_monitor.tree().SpoolNames() == std::set<std::string>{"filler"};
    if (!onlyFiller) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(onlyFiller) << "in the spool directory: " << Join(m_monitor.tree().SpoolNames());
  EXPECT_TRUE(Shown().empty());

  fs::remove(filler);
  ExpectShown({"full-1", "full-2", "full-3"});
  for (std::thread& t : stations) t.join();
  for (const StreamOutcome& o : outcomes) EXPECT_TRUE(o.closedByPeer && o.error.empty()) << o.error;
  EXPECT_TRUE(m_monitor.tree().SpoolNames().empty())
      << "left behind: " << Join(m_monitor.tree().SpoolNames());
  EXPECT_TRUE(m_monitor.monitor().Running());
}

namespace {

class MonitorFullSpoolFlood : public MonitorFullSpool, public ::testing::WithParamInterface<int> {};

}  // namespace

// A flood of real results from one, four or thirty-two addresses meets the
// full spool: its frames wait, nothing is taken, and hundreds of its
// connections wait beyond the places. Once the filler is removed a fresh
// station of an address of its own is taken in and served before the
// flood's backlog: it is confirmed (giving up after 5 s without progress,
// as the station tool does) and shown, round after round.
TEST_P(MonitorFullSpoolFlood, AFreshStationIsServedBeforeTheFloodsBacklogAfterTheDiskIsFreed) {
  std::vector<std::string> floodFrames;
  std::vector<std::string> floodResults;
  for (int k = 1; k <= 4; ++k) floodResults.push_back(SmallResult(25, std::to_string(k)));
  std::string error;
  ASSERT_TRUE(m_monitor.Frames("flood", floodResults, &floodFrames, &error)) << error;
  std::vector<std::string> fresh;
  ASSERT_TRUE(
      m_monitor.Frames("fresh", {SmallResult(11, "1"), SmallResult(11, "2")}, &fresh, &error))
      << error;
  const std::string filler = Spool("filler");
  SmallFileSystem::Fill(filler);
  HostileMix mix;
  mix.floods = 1000;
  mix.floodStreams = floodFrames;
  mix.floodCycle = std::chrono::milliseconds(2500);
  mix.sources = GetParam();
  HostilePeers flood(m_monitor.tree().port(), mix);
  // Time for the backlog to build up. Not a measurement: a shorter one
  // proves less, never fails wrongly.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  fs::remove(filler);

  std::set<std::string> names;
  for (const std::string& frame : fresh) {
    const StreamOutcome out = SendAsStation(m_monitor.tree().port(), frame, "127.0.0.2");
    EXPECT_TRUE(out.closedByPeer && out.error.empty()) << TransferName(frame) << ": " << out.error;
    EXPECT_EQ(1, out.receipt) << TransferName(frame);
    names.insert(TransferName(frame));
  }
  ExpectShown(names);
  EXPECT_TRUE(m_monitor.monitor().Running());
}

INSTANTIATE_TEST_SUITE_P(FloodAddresses, MonitorFullSpoolFlood, ::testing::Values(1, 4, 32));

// Two stations send while the spool is full and give up after their
// timeout, told nothing: the one whose frame the monitor holds, and one
// whose frames wait behind it. They will send again; so once there is room
// neither result is written, and the journal says why. A station that
// still waits is served and shown.
TEST_F(MonitorFullSpool, AResultWhoseStationGaveUpWhileTheSpoolWasFullIsNeverWritten) {
  const std::string filler = Spool("filler");
  SmallFileSystem::Fill(filler);
  const int port = m_monitor.tree().port();
  for (const char* name : {"held", "behind"}) {
    const StreamOutcome out =
        SendAsStation(port, Concat(Frames(name, LargeResult(3, 12))), "", std::chrono::seconds(2));
    EXPECT_FALSE(out.closedByPeer) << name << ": it gives up, nobody closes it";
    EXPECT_LE(out.receipt, 0) << name;
  }
  EXPECT_TRUE(JournalSays({"the held chunk of 'held' from 127.0.0.1:",
                           "is dropped, not written: "
                           "its station gave up"}))
      << m_monitor.Log();
  fs::remove(filler);
  EXPECT_TRUE(JournalSays({"no longer waits for its frames", "are dropped"})) << m_monitor.Log();

  const StreamOutcome after =
      SendAsStation(port, Concat(Frames("after", SmallResult(11, "2"))), "");
  EXPECT_TRUE(after.closedByPeer && after.error.empty()) << after.error;
  EXPECT_EQ(1, after.receipt);
  ExpectShown({"after"});
  EXPECT_EQ(std::set<std::string>{"after"}, Shown());
  for (const auto& [name, t] : m_monitor.watch().Snapshot())
    EXPECT_FALSE(name != "after" && t.isPublished) << name << " published";
}
