// The frame transport over loopback: stations connect to a server channel
// and ReadNetData hands over whole frames; broken, garbage, silent and late
// connections are closed without disturbing the others, and give way when
// a station waits; a station is confirmed only what the reader has handled;
// running out of descriptors neither spins nor takes the last ones.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#endif

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "TransportFixture.h"
#include "platform/Socket.h"

using namespace pallix::transport;
using namespace pallix_test;

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

// Frames carry no sender: the reader asks whose frame it took last, so the
// monitor can name the station of a transfer.
TEST_F(TransportTest, TheReaderLearnsTheStationOfEachFrameItTakes) {
  int port = OpenServer();
  char address[PALLIX_PEER_ADDRESS_SIZE] = "x";
  int peerPort = -1;
  EXPECT_EQ(0, FramePeer(kChannel, address, sizeof address, &peerPort));  // nothing taken yet
  EXPECT_STREQ("", address);
  EXPECT_EQ(0, peerPort);

  Client a(port), b(port);
  ASSERT_TRUE(a.Connected() && b.Connected());
  const std::map<uint32_t, int> portOfTag = {{1, a.LocalPort()}, {2, b.LocalPort()}};
  for (uint16_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(a.Send(MakeFrame(NET_CMD_FILE_CHUNK, 1, i)));
    ASSERT_TRUE(b.Send(MakeFrame(NET_CMD_FILE_CHUNK, 2, i)));
  }
  size_t taken = 0;
  WaitUntil([&] {
    Frame f;
    while (taken < 6 && Read(kChannel, f.data(), static_cast<int>(f.size())) > 0) {
      ++taken;
      EXPECT_EQ(1, FramePeer(kChannel, address, sizeof address, &peerPort));
      EXPECT_STREQ("127.0.0.1", address);
      EXPECT_EQ(portOfTag.at(FrameTag(f.data())), peerPort)
          << "frame of station " << FrameTag(f.data());
    }
    return taken == 6;
  });
  EXPECT_EQ(6u, taken);
  // A read that found nothing names nobody.
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
  EXPECT_EQ(0, FramePeer(kChannel, address, sizeof address, &peerPort));
  EXPECT_EQ(kBadArgument, FramePeer(kChannel, nullptr, 10, &peerPort));
  EXPECT_EQ(kNotOpen, FramePeer(kChannel + 1, address, sizeof address, &peerPort));
  // Whether a station is still there: while connected, and no longer once
  // it has gone and all it sent is handled.
  EXPECT_EQ(1, PeerConnected(kChannel, "127.0.0.1", a.LocalPort()));
  const int aPort = a.LocalPort();
  a.Close();
  EXPECT_TRUE(WaitUntil([&] { return PeerConnected(kChannel, "127.0.0.1", aPort) == 0; }));
  EXPECT_EQ(1, PeerConnected(kChannel, "127.0.0.1", b.LocalPort()));
  EXPECT_EQ(kBadArgument, PeerConnected(kChannel, nullptr, 1));
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
// slot frees, and then everything it sent arrives. The slots are held by
// stations that keep sending, held back by flow control, or that sent a
// batch and fell silent with it waiting. While nothing is taken (as while
// the spool is full) none of them gives way; once frames are taken again
// the waiting station does not wait for the thousands they hold to drain.
TEST_F(TransportTest, AStationBeyondTheLimitWaitsForASlotAndLosesNothing) {
  for (const uint16_t batch : {static_cast<uint16_t>(kMaxQueuedFrames + 1), uint16_t{8}}) {
    SCOPED_TRACE(batch > kMaxQueuedFrames ? "held back" : "a batch left waiting");
    CloseAll();
    int port = OpenServer(60000);
    std::vector<std::unique_ptr<Client>> busy;
    const std::vector<unsigned char> frames = Frames(7, batch);
    for (size_t i = 0; i < kMaxConnections; ++i) {
      busy.push_back(std::make_unique<Client>(port));
      ASSERT_TRUE(busy.back()->Connected());
      ASSERT_TRUE(busy.back()->Send(frames.data(), frames.size()));
    }
    ASSERT_TRUE(
        WaitUntil([&] { return ConnectionCount(kChannel) == static_cast<int>(kMaxConnections); }));

    Client late(port);
    ASSERT_TRUE(late.Connected());
    for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(late.Send(MakeFrame(NET_CMD_FILE_CHUNK, 8, i)));
    late.ShutdownSend();
    // Never more than the limit at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(static_cast<int>(kMaxConnections), ConnectionCount(kChannel));

    // Frames are taken again, at a monitor's pace: the late station gets in
    // and its frames arrive whole and in order, long before the others'.
    std::vector<Frame> lates;
    size_t others = 0;
    EXPECT_TRUE(WaitUntil([&] {
      Frame f;
      if (Read(kChannel, f.data(), static_cast<int>(f.size())) > 0)
        FrameTag(f.data()) == 8 ? lates.push_back(f) : static_cast<void>(++others);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return lates.size() == 3;
    }));
    ASSERT_EQ(3u, lates.size());
    EXPECT_LT(others, kMaxConnections) << "of " << kMaxConnections * batch << " held";
    for (size_t i = 0; i < lates.size(); ++i) EXPECT_EQ(i, FrameSeq(lates[i].data()));
    Frame none;
    Read(kChannel, none.data(), static_cast<int>(none.size()));
    bool closed = false;
    EXPECT_EQ(3, LastReceiptCount(late.Receive(20000, &closed)));
    EXPECT_TRUE(closed);
  }
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
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));  // both handled

  // The server drops the idle connection, confirming the two frames; the
  // next send must notice and connect again instead of writing into the
  // void.
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 0; }));
  Frame third = MakeFrame(NET_CMD_FILE_CHUNK, 9, 2);
  EXPECT_EQ(1, Send(3, "localhost", port, third.data(), static_cast<int>(third.size())));
  std::vector<Frame> got = ReadFrames(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(third, got[0]);
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
  EXPECT_EQ(1, Close(3));  // all three confirmed, over both connections
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

// The monitor's final receipt and its close often reach a station in one
// read (always when the station closes after the monitor has dropped its
// silent connection): a normal ending all the same, and said so.
TEST_F(TransportTest, AFinalReceiptThatCameWithTheCloseIsReportedAsTheNormalEnding) {
  const int port = OpenServer(200);
  StationReports reports;
  ASSERT_TRUE(reports.installed());
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  const Frame frame = MakeFrame(NET_CMD_FILE_CHUNK, 7, 0);
  ASSERT_EQ(1, Send(3, "127.0.0.1", port, frame.data(), static_cast<int>(frame.size())));
  ASSERT_EQ(1u, ReadFrames(1).size());
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));  // handled
  // Dropped as silent, with its receipt: both wait in the station's socket.
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 0; }));
  EXPECT_EQ(1, Close(3));
  const std::string said = reports.Text();
  EXPECT_NE(std::string::npos,
            said.find("channel 3: connection to 127.0.0.1:" + std::to_string(port) +
                      " closed (the monitor's final receipt came): 1 of 1 frames confirmed\n"))
      << said;
}

// A station that checks only CloseNet, as the guide tells it to, must not
// hear "delivered" for frames that never went: after any failed send the
// channel closes with kUnconfirmed, also when other sends on it were
// confirmed, and it can be opened again afresh.
TEST_F(TransportTest, AFailedSendIsNeverReportedAsDeliveredByClose) {
  const Frame good = MakeFrame(NET_CMD_FILE_CHUNK, 1, 0);
  const int size = static_cast<int>(good.size());
  const int closedPort = FreePort();
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  ASSERT_EQ(kConnectRefused, Send(3, "127.0.0.1", closedPort, good.data(), size));
  EXPECT_EQ(kUnconfirmed, Close(3));

  const int port = OpenServer();
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  ASSERT_EQ(1, Send(3, "127.0.0.1", port, good.data(), size));
  ASSERT_EQ(1u, ReadFrames(1).size());
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
  EXPECT_EQ(1, Close(3));  // a fresh channel, all of it confirmed

  // A confirmed frame does not make up for one that failed, whatever made
  // it fail.
  Frame bad = good;
  PallixPutU32(bad.data() + NET_FRAME_TRAILER_OFFSET, 0);
  const std::vector<std::pair<const void*, int>> failing = {{bad.data(), size}, {good.data(), 0}};
  for (const auto& [data, length] : failing) {
    ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
    ASSERT_EQ(1, Send(3, "127.0.0.1", port, good.data(), size));
    EXPECT_LT(Send(3, "127.0.0.1", port, data, length), 0);
    ASSERT_EQ(1u, ReadFrames(1).size());
    EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
    EXPECT_EQ(kUnconfirmed, Close(3)) << "after a send of " << length << " bytes failed";
  }
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

// A station that has ended its sending direction is not closed (which would
// tell it "all read") nor confirmed while its last frame is only taken, not
// yet handled: a monitor killed then would lose it. Once the reader comes
// back for the next frame, the station gets the receipt for all three, then
// the close.
TEST_F(TransportTest, AFinishedStationIsClosedOnlyOnceItsFramesAreHandledAndGetsAReceipt) {
  int port = OpenServer();
  Client station(port);
  for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 4, i)));
  station.ShutdownSend();
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 0; }));  // its end is seen
  ASSERT_EQ(3u, ReadFrames(3).size());
  bool closed = false;
  const std::string early = station.Receive(700, &closed);
  EXPECT_FALSE(closed);
  EXPECT_LT(LastReceiptCount(early), 3);  // none yet, or progress: two handled
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
  const std::string rest = station.Receive(20000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(3, LastReceiptCount(early + rest));
}

// Sent is not delivered: closing a station channel reports 1 only when the
// monitor has confirmed every frame; a monitor that goes away with a frame
// taken but not handled, one that never reads, and one whose worker stops
// while a large batch is under way all leave the station knowing it must
// send again.
TEST_F(TransportTest, ClosingAStationChannelConfirmsOnlyFramesTheMonitorHandled) {
  int port = OpenServer();
  const std::vector<unsigned char> two = Frames(5, 2);
  const int size = static_cast<int>(two.size());
  Frame none;

  ASSERT_EQ(1, Open(3, kModeStation, 0, 5000));
  ASSERT_EQ(2, Send(3, "127.0.0.1", port, two.data(), size));
  ASSERT_EQ(2u, ReadFrames(2).size());
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));
  EXPECT_EQ(1, Close(3));

  // Both taken, the second never handled: the monitor goes (as when killed).
  ASSERT_EQ(1, Open(3, kModeStation, 0, 5000));
  ASSERT_EQ(2, Send(3, "127.0.0.1", port, two.data(), size));
  ASSERT_EQ(2u, ReadFrames(2).size());
  ASSERT_EQ(1, Close(kChannel));
  EXPECT_EQ(kUnconfirmed, Close(3));

  // A monitor that takes nothing: no receipt within the station's timeout.
  port = OpenServer();
  ASSERT_EQ(1, Open(3, kModeStation, 0, 300));
  ASSERT_EQ(2, Send(3, "127.0.0.1", port, two.data(), size));
  EXPECT_EQ(kUnconfirmed, Close(3));

  // Far more than the connection can hold while nobody reads: flow control
  // stalls the send, and it fails after its timeout instead of reporting
  // success.
  const std::vector<unsigned char> many = Frames(6, 4000);
  ASSERT_EQ(1, Open(4, kModeStation, 0, 300));
  EXPECT_EQ(kSendFailed, Send(4, "127.0.0.1", port, many.data(), static_cast<int>(many.size())));
}

// A monitor busy with many stations takes longer than a station's timeout
// to get through its frames; as long as its receipts show progress the
// station waits, and is confirmed in the end.
TEST_F(TransportTest, AStationWaitsForABusyMonitorAsLongAsItConfirmsFrames) {
  const int port = OpenServer();
  std::atomic<bool> stop{false};
  std::thread reader([&] {  // one frame every 50 ms: 3 s for 60 frames
    Frame f;
    while (!stop) {
      Read(kChannel, f.data(), static_cast<int>(f.size()));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const std::vector<unsigned char> frames = Frames(9, 60);
  ASSERT_EQ(1, Open(3, kModeStation, 0, 1500));
  EXPECT_EQ(60, Send(3, "127.0.0.1", port, frames.data(), static_cast<int>(frames.size())));
  EXPECT_EQ(1, Close(3));
  stop = true;
  reader.join();
}

TEST_F(TransportTest, AFrameNotCompleteInTimeClosesItsConnection) {
  ServerLimits limits;
  limits.silenceMs = 60000;
  limits.frameDeadlineMs = 400;
  const int port = OpenServerWith(limits);
  Client trickle(port);
  trickle.NoDelay();
  const Frame f = MakeFrame(NET_CMD_FILE_CHUNK, 2, 0);
  // A byte every 50 ms is never silent, but the frame would take 100 s.
  size_t sent = 0;
  bool closed = false;
  while (sent < 200 && !closed) {
    trickle.Send(&f[sent++], 1);
    closed = trickle.ClosedByPeer(50);
  }
  EXPECT_TRUE(closed) << sent << " bytes sent";
  // A frame sent at once is in time.
  Client station(port);
  ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 3, 0)));
  std::vector<Frame> got = ReadFrames(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(3u, FrameTag(got[0].data()));
}

// Silent and trickling connections in every slot give way to a station
// that waits; a connection that has completed a frame keeps its slot.
TEST_F(TransportTest, WhenEverySlotIsTakenAConnectionThatNeverCompletedAFrameGivesWay) {
  const int port = OpenServer(60000);  // nobody is dropped for silence here
  Client station(port);
  ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 1, 0)));
  ASSERT_EQ(1u, ReadFrames(1).size());
  std::vector<std::unique_ptr<Client>> squatters;
  const Frame start = MakeFrame(NET_CMD_FILE_CHUNK, 2, 0);
  for (size_t i = 1; i < kMaxConnections; ++i) {
    squatters.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(squatters.back()->Connected());
    if (i % 2 == 0) squatters.back()->Send(start.data(), 10);  // a frame begun, never ended
  }
  ASSERT_TRUE(
      WaitUntil([&] { return ConnectionCount(kChannel) == static_cast<int>(kMaxConnections); }));

  Client late(port);
  for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(late.Send(MakeFrame(NET_CMD_FILE_CHUNK, 8, i)));
  std::vector<Frame> got = ReadFrames(3);
  ASSERT_EQ(3u, got.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(8u, FrameTag(got[i].data()));
    EXPECT_EQ(i, FrameSeq(got[i].data()));
  }
  EXPECT_LE(ConnectionCount(kChannel), static_cast<int>(kMaxConnections));
  size_t gone = 0;
  for (auto& c : squatters) gone += c->ClosedByPeer(0) ? 1 : 0;
  EXPECT_GE(gone, 1u);
  EXPECT_FALSE(station.ClosedByPeer(0));
}

// Connections that complete a frame and then trickle or fall quiet hold no
// slot against a waiting station: after a second without a whole frame
// they give way, each told first how many of its frames are handled.
TEST_F(TransportTest, AConnectionWithoutAWholeFrameForASecondGivesWayWhateverItDidBefore) {
  const int port = OpenServer(60000);  // nobody is dropped for silence here
  std::vector<std::unique_ptr<Client>> holders;
  const Frame next = MakeFrame(NET_CMD_FILE_CHUNK, 2, 1);
  for (size_t i = 0; i < kMaxConnections; ++i) {
    holders.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(holders.back()->Connected());
    ASSERT_TRUE(holders.back()->Send(MakeFrame(NET_CMD_FILE_CHUNK, 2, 0)));
    if (i % 2 == 0) holders.back()->Send(next.data(), 10);  // a next frame begun, never ended
  }
  ASSERT_TRUE(
      WaitUntil([&] { return ConnectionCount(kChannel) == static_cast<int>(kMaxConnections); }));
  ASSERT_EQ(kMaxConnections, ReadFrames(kMaxConnections).size());
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));  // all handled

  Client late(port);
  for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(late.Send(MakeFrame(NET_CMD_FILE_CHUNK, 8, i)));
  std::vector<Frame> got = ReadFrames(3);
  ASSERT_EQ(3u, got.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(8u, FrameTag(got[i].data()));
  size_t gone = 0;
  for (auto& c : holders) {
    bool closed = false;
    const std::string answer = c->Receive(0, &closed);
    if (!closed) continue;
    ++gone;
    EXPECT_EQ(1, LastReceiptCount(answer));
  }
  EXPECT_GE(gone, 1u);
  EXPECT_LE(ConnectionCount(kChannel), static_cast<int>(kMaxConnections));
}

// Round robin by connection, not by arrival: a station that sends one
// frame and ends is served next, however many frames the others have
// waiting and wherever the turn stands.
TEST_F(TransportTest, AStationsFewFramesDoNotWaitBehindOthersMany) {
  const int port = OpenServer();
  std::vector<std::unique_ptr<Client>> busy;
  const std::vector<unsigned char> many = Frames(1, kMaxQueuedFrames);
  for (int i = 0; i < 20; ++i) {
    busy.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(busy.back()->Send(many.data(), many.size()));
  }
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 20; }));
  ASSERT_EQ(3u, ReadFrames(3).size());  // the turn stands somewhere among them

  Client few(port);
  ASSERT_TRUE(few.Send(MakeFrame(NET_CMD_FILE_CHUNK, 9, 0)));
  few.ShutdownSend();
  ASSERT_TRUE(
      WaitUntil([&] { return PeerConnected(kChannel, "127.0.0.1", few.LocalPort()) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 20; }));  // its end is seen
  std::vector<Frame> got = ReadFrames(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(9u, FrameTag(got[0].data()));
  bool closed = false;
  ReadFrames(1);  // the next frame: the one before is handled
  EXPECT_EQ(1, LastReceiptCount(few.Receive(20000, &closed)));
  EXPECT_TRUE(closed);
}

// A bad frame after good ones: the stream is not read any further, but the
// good frames are handled and the station is told so before the close, so
// it need not send them again.
TEST_F(TransportTest, ABadFrameAfterGoodOnesClosesWithAReceiptForTheGoodOnes) {
  const int port = OpenServer();
  Client station(port);
  for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 4, i)));
  Frame bad = MakeFrame(NET_CMD_FILE_CHUNK, 4, 3);
  PallixPutU32(bad.data() + NET_FRAME_TRAILER_OFFSET, 0x12345678);
  ASSERT_TRUE(station.Send(bad));
  std::vector<Frame> got = ReadFrames(3);
  ASSERT_EQ(3u, got.size());
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));  // all handled
  bool closed = false;
  EXPECT_EQ(3, LastReceiptCount(station.Receive(20000, &closed)));
  EXPECT_TRUE(closed);
}

// A station that waits (held back) but never reads its receipts costs the
// monitor one receipt in its socket at most, however long it waits: a
// receipt of progress goes only once the last one has left.
TEST_F(TransportTest, AStationThatReadsNoReceiptIsSentNoMoreThanItsSocketTakes) {
  const int port = OpenServer();
  Client station{Client::NotYet{}};
  station.SmallReceiveBuffer();
  ASSERT_TRUE(station.Connect(port));
  constexpr int kFrames = 400;
  std::thread sender([&] {
    const std::vector<unsigned char> all = Frames(3, kFrames);
    station.Send(all.data(), all.size());
  });
  // Taken slowly, so that the station waits, held back, for seconds and
  // the count rises all the while.
  size_t taken = 0;
  WaitUntil([&] {
    Frame f;
    if (Read(kChannel, f.data(), static_cast<int>(f.size())) > 0) ++taken;
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
    return taken == static_cast<size_t>(kFrames);
  });
  sender.join();
  ASSERT_EQ(static_cast<size_t>(kFrames), taken);
  station.ShutdownSend();
  Frame none;
  Read(kChannel, none.data(), static_cast<int>(none.size()));
  bool closed = false;
  const std::string answer = station.Receive(20000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(kFrames, LastReceiptCount(answer));
  // Several seconds of progress at one receipt each half second; all that
  // reached the station is what its small buffer took, one waiting behind
  // it, and the last.
  EXPECT_LE(answer.size() / NET_FRAME_SIZE, 6u);
}

// With few descriptors left, the server holds fewer stations, so that the
// rest of the process (spool files, journal, archive) still finds
// descriptors: accepting never runs short.
TEST_F(TransportTest, AServerWithFewDescriptorsLeftHoldsFewerStationsAndLeavesTheRest) {
  std::vector<std::unique_ptr<Client>> stations;
  for (int i = 0; i < 60; ++i) stations.push_back(std::make_unique<Client>(Client::NotYet{}));
  DescriptorLimit limit;
  ASSERT_TRUE(limit.Set(test_socket::LimitLeavingFree(40)));
  const int port = OpenServer(60000);
  const int slots = ConnectionLimit(kChannel);
  EXPECT_GT(slots, 0);
  EXPECT_LE(slots, 40 - 16);
  for (auto& c : stations) ASSERT_TRUE(c->Connect(port));
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == slots; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(slots, ConnectionCount(kChannel));
  EXPECT_EQ(0, AcceptShortages(kChannel));
  EXPECT_TRUE(test_socket::DescriptorsFree(16));
  CloseAll();
}

// Out of descriptors, the listener pauses instead of spinning, and the
// server holds fewer connections so that the process still has descriptors
// for its files; the station waiting behind silent connections gets in.
TEST_F(TransportTest, RunningOutOfDescriptorsPausesAcceptingAndLeavesDescriptorsFree) {
  const int port = OpenServer(60000);
  std::vector<std::unique_ptr<Client>> squatters;
  for (int i = 0; i < 60; ++i) squatters.push_back(std::make_unique<Client>(Client::NotYet{}));
  Client station{Client::NotYet{}};
  const long noneFree = test_socket::LimitLeavingFree(0);
  const long thirtyFree = test_socket::LimitLeavingFree(30);
  DescriptorLimit limit;

  // Not one descriptor left: nothing can be accepted.
  ASSERT_TRUE(limit.Set(noneFree));
  for (auto& c : squatters) ASSERT_TRUE(c->Connect(port));
  ASSERT_TRUE(station.Connect(port));
  ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 6, 0)));
  ASSERT_TRUE(WaitUntil([&] { return AcceptShortages(kChannel) >= 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // Retrying at once would fail thousands of times a second.
  const int shortages = AcceptShortages(kChannel);
  EXPECT_LE(shortages, 20);

  // Room for 30: the server takes them, runs short again, and gives
  // descriptors back.
  ASSERT_TRUE(limit.Set(thirtyFree));
  ASSERT_TRUE(WaitUntil([&] { return AcceptShortages(kChannel) > shortages; }));
  EXPECT_TRUE(WaitUntil([] { return test_socket::DescriptorsFree(8); }));
  std::vector<Frame> got = ReadFrames(1);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(6u, FrameTag(got[0].data()));
}

// A frame the reader cannot handle at all (the monitor's spool directory is
// no directory): its station hears at once what of its connection was
// handled before it, and the close; neither that frame nor those behind it
// are confirmed, and none of them is handed out any more.
TEST_F(TransportTest, ARefusedFrameEndsItsConnectionWithAReceiptForTheFramesBeforeIt) {
  const int port = OpenServer();
  EXPECT_EQ(0, RefuseFrame(kChannel));  // nothing in hand
  Client station(port);
  for (uint16_t i = 0; i < 4; ++i) ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 4, i)));
  ASSERT_TRUE(WaitUntil([&] { return ConnectionCount(kChannel) == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // all four are in
  ASSERT_EQ(2u, ReadFrames(2).size());  // the first handled, the second in hand
  EXPECT_EQ(1, RefuseFrame(kChannel));
  EXPECT_EQ(0, RefuseFrame(kChannel));  // refused already
  bool closed = false;
  EXPECT_EQ(1, LastReceiptCount(station.Receive(20000, &closed)));
  EXPECT_TRUE(closed);
  Frame none;
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())));

  // Its very first frame refused: a receipt that confirms nothing.
  Client first(port);
  ASSERT_TRUE(first.Send(MakeFrame(NET_CMD_FILE_CHUNK, 5, 0)));
  ASSERT_EQ(1u, ReadFrames(1).size());
  EXPECT_EQ(1, RefuseFrame(kChannel));
  EXPECT_EQ(0, LastReceiptCount(first.Receive(20000, &closed)));
  EXPECT_TRUE(closed);
  EXPECT_EQ(kBadChannel, RefuseFrame(99));
  EXPECT_EQ(kNotOpen, RefuseFrame(kChannel + 1));
}

// The server's thread is woken for every frame taken and every refusal, as
// often as they come before it gets to drain: the taker must never wait on
// it, and one drain must let the thread sleep again rather than spin.
TEST(WakerTest, SignallingNeverWaitsAndOneDrainEmptiesIt) {
  pallix::net::Waker waker;
  ASSERT_TRUE(waker.Valid());
  pallix::net::PollItem item{waker.Handle(), true};
  EXPECT_EQ(0, pallix::net::Poll(&item, 1, 0));
  // Far more than its buffer holds: a pipe takes 64 KiB, a datagram socket
  // a few hundred datagrams (and each send is slow under wine).
#if defined(_WIN32)
  constexpr int kSignals = 10000;
#else
  constexpr int kSignals = 100000;
#endif
  for (int i = 0; i < kSignals; ++i) waker.Signal();
  EXPECT_EQ(1, pallix::net::Poll(&item, 1, 0));
  EXPECT_TRUE(item.readable);
  waker.Drain();
  EXPECT_EQ(0, pallix::net::Poll(&item, 1, 0));
  EXPECT_FALSE(item.readable);
  std::thread other([&waker] { waker.Signal(); });
  EXPECT_EQ(1, pallix::net::Poll(&item, 1, 10000));
  other.join();
  waker.Drain();
  EXPECT_EQ(0, pallix::net::Poll(&item, 1, 0));
#if !defined(_WIN32)
  // A program the monitor starts inherits none of it.
  EXPECT_NE(0, ::fcntl(waker.Handle(), F_GETFD) & FD_CLOEXEC);
#endif
}
