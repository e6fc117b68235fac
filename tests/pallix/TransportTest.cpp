// The frame transport over loopback: stations connect to a server channel
// and ReadNetData hands over whole frames; broken, garbage and silent
// connections are closed without disturbing the others.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "PallixTestSupport.h"
#include "Transport.h"

using namespace pallix::transport;
using namespace pallix_test;

namespace {

constexpr int kChannel = 11;

class TransportTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseAll(); }

  // Opens a server channel on a port of the system's choosing.
  int OpenServer(int silenceMs = 0, int channel = kChannel) {
    EXPECT_EQ(1, Open(channel, kModeServer, 0, silenceMs));
    int port = ListeningPort(channel);
    EXPECT_GT(port, 0);
    return port;
  }

  // Reads frames until `count` have come or the deadline passes.
  std::vector<Frame> ReadFrames(size_t count, int channel = kChannel) {
    std::vector<Frame> got;
    WaitUntil([&] {
      Frame f;
      while (got.size() < count && Read(channel, f.data(), static_cast<int>(f.size())) > 0)
        got.push_back(f);
      return got.size() >= count;
    });
    return got;
  }
};

}  // namespace

TEST_F(TransportTest, OneStationsFramesArriveWholeAndInOrder) {
  int port = OpenServer();
  Frame f;
  EXPECT_EQ(0, Read(kChannel, f.data(), static_cast<int>(f.size())));  // nothing yet

  Client station(port);
  ASSERT_TRUE(station.Connected());
  std::vector<Frame> sent;
  for (uint16_t i = 0; i < 50; ++i) {
    sent.push_back(MakeFrame(NET_CMD_FILE_CHUNK, 7, i, std::string(i * 40u, static_cast<char>(i))));
    ASSERT_TRUE(station.Send(sent.back()));
  }
  std::vector<Frame> got = ReadFrames(sent.size());
  ASSERT_EQ(sent.size(), got.size());
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], got[i]) << i;
  EXPECT_EQ(0, Read(kChannel, f.data(), static_cast<int>(f.size())));
}

TEST_F(TransportTest, SixtyFourStationsAtOnceLoseNoFrame) {
  int port = OpenServer();
  constexpr int kStations = 64;
  constexpr int kFramesEach = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> stations;
  for (int s = 0; s < kStations; ++s) {
    stations.emplace_back([&, s] {
      Client c(port);
      if (!c.Connected()) {
        ++failures;
        return;
      }
      for (int i = 0; i < kFramesEach; ++i)
        if (!c.Send(MakeFrame(NET_CMD_FILE_CHUNK, static_cast<uint32_t>(s),
                              static_cast<uint16_t>(i), "chunk")))
          ++failures;
      // Stay connected until everything is read: the frames must not
      // depend on an orderly close.
      c.ClosedByPeer(20000);
    });
  }
  std::vector<Frame> got = ReadFrames(kStations * kFramesEach);
  CloseAll();  // releases the stations that wait for the close
  for (auto& t : stations) t.join();
  EXPECT_EQ(0, failures.load());
  ASSERT_EQ(static_cast<size_t>(kStations * kFramesEach), got.size());
  std::map<uint32_t, int> next;
  for (const Frame& f : got) {
    uint32_t s = FrameTag(f.data());
    ASSERT_LT(s, static_cast<uint32_t>(kStations));
    EXPECT_EQ(next[s], FrameSeq(f.data())) << "station " << s;  // in order, none lost
    next[s] = FrameSeq(f.data()) + 1;
  }
  EXPECT_EQ(static_cast<size_t>(kStations), next.size());
}

TEST_F(TransportTest, FramesSentOneByteAtATimeAreReassembled) {
  int port = OpenServer();
  Client station(port);
  station.NoDelay();
  std::vector<Frame> sent;
  for (uint16_t i = 0; i < 3; ++i) {
    sent.push_back(
        MakeFrame(NET_CMD_FILE_CHUNK, 1, i, std::string(2048, static_cast<char>('a' + i))));
    for (unsigned char byte : sent.back()) ASSERT_TRUE(station.Send(&byte, 1));
  }
  std::vector<Frame> got = ReadFrames(sent.size());
  ASSERT_EQ(sent.size(), got.size());
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], got[i]);
}

TEST_F(TransportTest, BrokenAndSilentConnectionsAreClosedWhileARealStationFlows) {
  int port = OpenServer(300);
  std::atomic<bool> stop{false};
  std::atomic<int> realSent{0};
  std::thread real([&] {
    Client c(port);
    for (uint16_t i = 0; !stop; ++i) {
      if (!c.Send(MakeFrame(NET_CMD_FILE_CHUNK, 1, i))) break;
      ++realSent;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });

  Client garbage(port);
  std::mt19937 rng(42);
  std::string noise(4096, '\0');
  for (char& ch : noise) ch = static_cast<char>(rng());
  noise[0] = 0x01;  // certainly not the magic
  garbage.Send(noise.data(), noise.size());

  Frame badTrailer = MakeFrame(NET_CMD_FILE_CHUNK, 2, 0);
  PallixPutU32(badTrailer.data() + NET_FRAME_TRAILER_OFFSET, 0x12345678);
  Client misaligned(port);
  misaligned.Send(badTrailer);

  Frame badLength = MakeFrame(NET_CMD_FILE_CHUNK, 3, 0);
  PallixPutU32(badLength.data() + NET_FRAME_LENGTH_OFFSET, NET_FRAME_DATA_SIZE + 1);
  Client overlong(port);
  overlong.Send(badLength);

  Client silent(port);
  Frame half = MakeFrame(NET_CMD_FILE_CHUNK, 4, 0);
  Client halfThenSilent(port);
  halfThenSilent.Send(half.data(), half.size() / 2);

  EXPECT_TRUE(WaitUntil([&] { return garbage.ClosedByPeer(0); }));
  EXPECT_TRUE(WaitUntil([&] { return misaligned.ClosedByPeer(0); }));
  EXPECT_TRUE(WaitUntil([&] { return overlong.ClosedByPeer(0); }));
  EXPECT_TRUE(WaitUntil([&] { return silent.ClosedByPeer(0); }));
  EXPECT_TRUE(WaitUntil([&] { return halfThenSilent.ClosedByPeer(0); }));
  // The real station has been sending for longer than the silence limit.
  int sentSoFar = realSent.load();
  EXPECT_TRUE(WaitUntil([&] { return realSent.load() > sentSoFar + 20; }));
  stop = true;
  real.join();

  std::vector<Frame> got = ReadFrames(static_cast<size_t>(realSent.load()));
  ASSERT_EQ(static_cast<size_t>(realSent.load()), got.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(1u, FrameTag(got[i].data()));  // nothing of the others got through
    EXPECT_EQ(i, FrameSeq(got[i].data()));
  }
}

TEST_F(TransportTest, AHeldBackStationIsNotTakenForASilentOne) {
  int port = OpenServer(200);
  constexpr int kFrames = 400;  // far beyond what the server holds per station
  std::atomic<bool> allSent{false};
  std::thread station([&] {
    Client c(port);
    for (int i = 0; i < kFrames; ++i)
      if (!c.Send(MakeFrame(NET_CMD_FILE_CHUNK, 5, static_cast<uint16_t>(i)))) return;
    allSent = true;
    c.ClosedByPeer(20000);
  });
  // Nobody reads for several silence periods and longer than the server's
  // longest wait between checks (1 s): the station is held back by flow
  // control and must still be there afterwards.
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  std::vector<Frame> got = ReadFrames(kFrames);
  CloseAll();
  station.join();
  EXPECT_TRUE(allSent.load());
  ASSERT_EQ(static_cast<size_t>(kFrames), got.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(i, FrameSeq(got[i].data()));
}

// A station beyond the limit is not taken in and thrown out (its bytes
// would vanish while its send and close both succeed): it waits until a
// slot frees, and then everything it sent arrives.
TEST_F(TransportTest, AStationBeyondTheLimitWaitsForASlotAndLosesNothing) {
  int port = OpenServer();
  std::vector<std::unique_ptr<Client>> squatters;
  for (size_t i = 0; i < kMaxConnections; ++i) {
    squatters.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(squatters.back()->Connected());
  }
  ASSERT_TRUE(
      WaitUntil([&] { return ConnectionCount(kChannel) == static_cast<int>(kMaxConnections); }));

  Client late(port);
  ASSERT_TRUE(late.Connected());
  for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(late.Send(MakeFrame(NET_CMD_FILE_CHUNK, 8, i)));
  // Never more than the limit at once.
  EXPECT_EQ(static_cast<int>(kMaxConnections), ConnectionCount(kChannel));
  Frame f;
  EXPECT_EQ(0, Read(kChannel, f.data(), static_cast<int>(f.size())));

  squatters.front()->Close();
  std::vector<Frame> got = ReadFrames(3);
  ASSERT_EQ(3u, got.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(8u, FrameTag(got[i].data()));
    EXPECT_EQ(i, FrameSeq(got[i].data()));
  }
  squatters.clear();
  EXPECT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 1; }));
}

TEST_F(TransportTest, AClosedConnectionsFinishedFramesStayAndItsPartialFrameGoes) {
  int port = OpenServer();
  {
    Client station(port);
    for (uint16_t i = 0; i < 5; ++i) station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 6, i));
    Frame extra = MakeFrame(NET_CMD_FILE_CHUNK, 6, 5);
    station.Send(extra.data(), 1000);
  }
  // Read only once the server has seen the end of the connection.
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 0; }));
  std::vector<Frame> got = ReadFrames(5);
  ASSERT_EQ(5u, got.size());
  Frame f;
  EXPECT_EQ(0, Read(kChannel, f.data(), static_cast<int>(f.size())));
}

TEST_F(TransportTest, APortInUseIsRefused) {
  int port = OpenServer();
  EXPECT_EQ(kPortInUse, Open(12, kModeServer, port, 0));
  EXPECT_EQ(kNotOpen, ListeningPort(12));  // the failed channel stays free
  EXPECT_EQ(1, Close(kChannel));
  EXPECT_EQ(1, Open(12, kModeServer, port, 0));  // free again once closed
}

TEST_F(TransportTest, ArgumentsAreChecked) {
  Frame f;
  EXPECT_EQ(kBadChannel, Open(-1, kModeServer, 0, 0));
  EXPECT_EQ(kBadChannel, Open(kLastChannel + 1, kModeServer, 0, 0));
  EXPECT_EQ(kBadMode, Open(kChannel, 2, 0, 0));
  EXPECT_EQ(kBadArgument, Open(kChannel, kModeServer, 65536, 0));
  EXPECT_EQ(kNotOpen, Read(kChannel, f.data(), static_cast<int>(f.size())));
  EXPECT_EQ(0, Close(kChannel));
  EXPECT_EQ(kBadChannel, Close(99));

  OpenServer();
  EXPECT_EQ(kChannelBusy, Open(kChannel, kModeServer, 0, 0));
  EXPECT_EQ(kBadArgument, Read(kChannel, f.data(), static_cast<int>(f.size()) - 1));
  EXPECT_EQ(kBadArgument, Read(kChannel, nullptr, static_cast<int>(f.size())));
  EXPECT_EQ(kWrongMode, Send(kChannel, "127.0.0.1", 1, f.data(), static_cast<int>(f.size())));
  ASSERT_EQ(1, Open(3, kModeStation, 0, 0));
  EXPECT_EQ(kWrongMode, Read(3, f.data(), static_cast<int>(f.size())));
}

TEST_F(TransportTest, AStationChannelSendsWholeFramesAndReconnectsWhenDropped) {
  int port = OpenServer(200);
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  std::vector<Frame> frames = {MakeFrame(NET_CMD_FILE_CHUNK, 9, 0),
                               MakeFrame(NET_CMD_FILE_CHUNK, 9, 1)};
  std::vector<unsigned char> two(frames[0].begin(), frames[0].end());
  two.insert(two.end(), frames[1].begin(), frames[1].end());
  EXPECT_EQ(2, Send(3, "127.0.0.1", port, two.data(), static_cast<int>(two.size())));
  ASSERT_EQ(2u, ReadFrames(2).size());

  // The server drops the idle connection; the next send must notice and
  // connect again instead of writing into the void.
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 0; }));
  Frame third = MakeFrame(NET_CMD_FILE_CHUNK, 9, 2);
  EXPECT_EQ(1, Send(3, "localhost", port, third.data(), static_cast<int>(third.size())));
  std::vector<Frame> got = ReadFrames(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(third, got[0]);
  EXPECT_EQ(1, Close(3));
}

TEST_F(TransportTest, AStationChannelRefusesMalformedFramesAndUnreachablePeers) {
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  Frame good = MakeFrame(NET_CMD_FILE_CHUNK, 1, 0);
  Frame bad = good;
  PallixPutU32(bad.data() + NET_FRAME_MAGIC_OFFSET, 0);
  EXPECT_EQ(kBadFrame, Send(3, "127.0.0.1", 1, bad.data(), static_cast<int>(bad.size())));
  EXPECT_EQ(kBadFrame, Send(3, "127.0.0.1", 1, good.data(), static_cast<int>(good.size()) - 1));
  EXPECT_EQ(kBadArgument, Send(3, "", 1, good.data(), static_cast<int>(good.size())));
  EXPECT_EQ(kBadArgument, Send(3, "127.0.0.1", 0, good.data(), static_cast<int>(good.size())));
  // A station tells a port nobody listens on from a name that does not
  // resolve (.invalid never does), and both from a sending failure.
  int closedPort = FreePort();
  EXPECT_EQ(kConnectRefused,
            Send(3, "127.0.0.1", closedPort, good.data(), static_cast<int>(good.size())));
  EXPECT_EQ(kConnectRefused,
            Send(3, "localhost", closedPort, good.data(), static_cast<int>(good.size())));
  EXPECT_EQ(kUnknownHost, Send(3, "no-such-station.invalid", closedPort, good.data(),
                               static_cast<int>(good.size())));
}

TEST_F(TransportTest, AStationGivesUpOnAMonitorThatDoesNotAnswerInTime) {
  UnansweringMonitor monitor;
  ASSERT_TRUE(monitor.ok());
  const int port = monitor.port();
  ASSERT_EQ(1, Open(3, kModeStation, 0, 300));
  Frame good = MakeFrame(NET_CMD_FILE_CHUNK, 1, 0);
  EXPECT_EQ(kConnectFailed, Send(3, "127.0.0.1", port, good.data(), static_cast<int>(good.size())));
}

TEST_F(TransportTest, CloseAllEndsEveryConnectionAndFreesThePort) {
  int port = OpenServer();
  Client station(port);
  station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 1, 0));
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 1; }));
  CloseAll();
  EXPECT_TRUE(WaitUntil([&] { return station.ClosedByPeer(0); }));
  EXPECT_EQ(kNotOpen, ListeningPort(kChannel));
  EXPECT_EQ(1, Open(kChannel, kModeServer, port, 0));
}
