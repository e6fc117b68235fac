// Whose frames the server hands out, and what it answers: a station that
// has had little goes before a busy address and before a flood's backlog,
// frames a station gave up on are never handed out, a refusal for good is
// an answer of its own, and a connection reset before it was taken in is
// named by its address.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TransportFixture.h"

using namespace pallix::transport;
using namespace pallix_test;

namespace {

// The fields of the last well-formed receipt in `bytes`: what it confirms
// and what it says was refused for good (-1, 0 when there is none).
struct Receipt {
  long confirmed = -1;
  long refused = 0;
  std::uint32_t length = 0;
};

Receipt LastReceipt(const std::string& bytes) {
  Receipt r;
  for (size_t off = 0; off + NET_FRAME_SIZE <= bytes.size(); off += NET_FRAME_SIZE) {
    const auto* f = reinterpret_cast<const unsigned char*>(bytes.data()) + off;
    if (PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_RECEIPT) continue;
    r.length = PallixGetU32(f + NET_FRAME_LENGTH_OFFSET);
    r.confirmed = PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET);
    r.refused = r.length >= NET_RECEIPT_REJECTED_LENGTH
                    ? PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_REJECTED_OFFSET)
                    : 0;
  }
  return r;
}

}  // namespace

// Frames are taken by address first: a station of another address that has
// sent little is served before the next frame of an address that has had a
// hundred, however many connections that one holds and whether they have
// ended, not after those ahead of it have drained.
TEST_F(TransportTest, AStationOfAnotherAddressIsServedBeforeTheNextFrameOfABusyOne) {
  const int port = OpenServer();
  std::vector<std::unique_ptr<Client>> busy;
  const std::vector<unsigned char> batch = Frames(1, kMaxQueuedFrames);
  for (int i = 0; i < 20; ++i) {
    busy.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(busy.back()->Send(batch.data(), batch.size()));
    busy.back()->ShutdownSend();
  }
  ASSERT_EQ(100u, ReadFrames(100).size());

  Client station{Client::NotYet{}};
  ASSERT_TRUE(station.BindSource("127.0.0.2"));
  ASSERT_TRUE(station.Connect(port));
  const std::vector<unsigned char> few = Frames(9, kMaxQueuedFrames);
  ASSERT_TRUE(station.Send(few.data(), few.size()));
  // Every one of them read, not only the connection taken in.
  ASSERT_TRUE(WaitUntil([&] {
    return QueuedFrames(kChannel, "127.0.0.2", station.LocalPort()) ==
           static_cast<int>(kMaxQueuedFrames);
  }));
  std::vector<Frame> next = ReadFrames(kMaxQueuedFrames + 4);
  std::vector<uint16_t> its;
  for (const Frame& f : next)
    if (FrameTag(f.data()) == 9) its.push_back(FrameSeq(f.data()));
  // All of them, in order, among the next few frames (the busy address
  // holds more than two hundred).
  ASSERT_EQ(kMaxQueuedFrames, its.size());
  for (size_t i = 0; i < its.size(); ++i) EXPECT_EQ(i, its[i]);
}

// While nothing is taken (the spool full) a flood of ending connections of
// one, four or thirty-two addresses holds every place, and hundreds more
// wait behind them. A station of an address of its own is taken in and
// read all the same, and once frames are taken again its frames are the
// next ones, all of them and in order, before any more of the flood's
// backlog.
TEST_F(TransportTest, AFreshStationIsServedBeforeTheNextFrameOfAFloodsBacklogWhateverItsAddresses) {
  const std::vector<unsigned char> batch = Frames(1, kMaxQueuedFrames);
  for (const size_t addresses : {1u, 4u, 32u}) {
    SCOPED_TRACE(std::to_string(addresses) + " flooding addresses");
    CloseAll();
    const int port = OpenServer(60000);
    std::vector<std::unique_ptr<Client>> flood;
    for (size_t i = 0; i < kMaxConnections + 200; ++i) {
      flood.push_back(std::make_unique<Client>(Client::NotYet{}));
      const std::string source = "127.0.0." + std::to_string(10 + i % addresses);
      ASSERT_TRUE(flood.back()->BindSource(source.c_str()));
      ASSERT_TRUE(flood.back()->Connect(port));
      ASSERT_TRUE(flood.back()->Send(batch.data(), batch.size()));
      flood.back()->ShutdownSend();
    }
    const std::string last = "127.0.0." + std::to_string(10 + (flood.size() - 1) % addresses);
    ASSERT_TRUE(WaitUntil(
        [&] { return PeerConnected(kChannel, last.c_str(), flood.back()->LocalPort()) == 1; }));

    Client station{Client::NotYet{}};
    ASSERT_TRUE(station.BindSource("127.0.0.2"));
    ASSERT_TRUE(station.Connect(port));
    for (uint16_t i = 0; i < 3; ++i) ASSERT_TRUE(station.Send(MakeFrame(NET_CMD_FILE_CHUNK, 8, i)));
    station.ShutdownSend();
    ASSERT_TRUE(WaitUntil([&] {
      return QueuedFrames(kChannel, "127.0.0.2", station.LocalPort()) == 3;
    })) << "taken in and read while nothing is taken";

    const std::vector<Frame> next = ReadFrames(3);
    ASSERT_EQ(3u, next.size());
    for (size_t i = 0; i < next.size(); ++i) {
      EXPECT_EQ(8u, FrameTag(next[i].data())) << "frame " << i << " after the pause";
      EXPECT_EQ(i, FrameSeq(next[i].data()));
    }
    Frame none;
    Read(kChannel, none.data(), static_cast<int>(none.size()));  // the station's last is handled
    bool closed = false;
    EXPECT_EQ(3, LastReceiptCount(station.Receive(20000, &closed)));
    EXPECT_TRUE(closed);
  }
}

// A station that waited on the server longer than any station waits at
// least (nothing was taken: the spool full) and then gave up, closing or
// resetting its connection, was told nothing of its frames and sends them
// again: they are never handed out, so the result is not written twice. A
// station that still waits is asked, answers, and is served as before.
TEST_F(TransportTest, FramesAStationGaveUpOnAreNeverHandedOutThoseOfOneStillWaitingAre) {
  const int port = OpenServer(60000);
  Client gone(port), reset(port), patient(port);
  const std::vector<std::pair<Client*, uint32_t>> stations = {
      {&gone, 1}, {&reset, 2}, {&patient, 3}};
  for (const auto& [station, tag] : stations) {
    const std::vector<unsigned char> two = Frames(tag, 2);
    ASSERT_TRUE(station->Send(two.data(), two.size()));
    if (station != &reset) station->ShutdownSend();
    ASSERT_TRUE(WaitUntil(
        [&, s = station] { return QueuedFrames(kChannel, "127.0.0.1", s->LocalPort()) == 2; }));
  }
  // Time for their frames to wait longer than a station waits at least. Not
  // a measurement: the server may only ask sooner than this, never later.
  std::this_thread::sleep_for(std::chrono::milliseconds(kStaleAfterMs + 500));
  const int gonePort = gone.LocalPort(), resetPort = reset.LocalPort();
  gone.Close();
  reset.Reset();
  // A reset shows at once; a station that closed only when it is asked.
  ASSERT_TRUE(WaitUntil([&] { return PeerConnected(kChannel, "127.0.0.1", resetPort) == 0; }));

  std::vector<Frame> got = ReadFrames(2);
  ASSERT_EQ(2u, got.size());
  for (const Frame& f : got) EXPECT_EQ(3u, FrameTag(f.data()));
  Frame none;
  Read(kChannel, none.data(), static_cast<int>(none.size()));  // the patient one's last is handled
  bool closed = false;
  EXPECT_EQ(2, LastReceiptCount(patient.Receive(20000, &closed)));
  EXPECT_TRUE(closed);
  EXPECT_TRUE(WaitUntil([&] { return PeerConnected(kChannel, "127.0.0.1", gonePort) == 0; }));
  EXPECT_EQ(0, Read(kChannel, none.data(), static_cast<int>(none.size())))
      << "a frame of a station that gave up, tag " << FrameTag(none.data());
}

// A frame the reader refuses for good (a transfer it will never store) is
// answered, not delivered: the connection goes on, its receipt counts it
// apart, and the station channel's close says "refused, do not send again"
// (kRejected), distinct from delivered (1) and from "send again"
// (kUnconfirmed), which still wins when anything else went unconfirmed. A
// station that reads only the count sees the refused frame as not
// confirmed, never as delivered.
TEST_F(TransportTest, AFrameRefusedForGoodIsAnsweredApartFromDeliveredAndFromSendAgain) {
  const int port = OpenServer(60000);
  EXPECT_EQ(0, RejectFrame(kChannel));  // nothing in hand
  const std::vector<unsigned char> three = Frames(4, 3);
  const auto takeRefusingTheSecond = [&] {
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(1u, ReadFrames(1).size());
      if (i == 1) {
        EXPECT_EQ(1, RejectFrame(kChannel));
      }
    }
    Frame none;
    Read(kChannel, none.data(), static_cast<int>(none.size()));  // the last is handled
  };

  Client old(port);
  ASSERT_TRUE(old.Send(three.data(), three.size()));
  old.ShutdownSend();
  takeRefusingTheSecond();
  bool closed = false;
  const Receipt last = LastReceipt(old.Receive(20000, &closed));
  EXPECT_TRUE(closed);
  EXPECT_EQ(2, last.confirmed) << "the count a station that knows only it reads";
  EXPECT_EQ(1, last.refused);
  EXPECT_EQ(static_cast<std::uint32_t>(NET_RECEIPT_REJECTED_LENGTH), last.length);

  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  ASSERT_EQ(3, Send(3, "127.0.0.1", port, three.data(), static_cast<int>(three.size())));
  std::thread take(takeRefusingTheSecond);
  EXPECT_EQ(kRejected, Close(3));
  take.join();

  // A refusal does not cover a frame that went unconfirmed.
  ASSERT_EQ(1, Open(3, kModeStation, 0, 2000));
  ASSERT_EQ(3, Send(3, "127.0.0.1", port, three.data(), static_cast<int>(three.size())));
  std::thread refuse([&] {
    ASSERT_EQ(1u, ReadFrames(1).size());
    EXPECT_EQ(1, RejectFrame(kChannel));
    ASSERT_EQ(1u, ReadFrames(1).size());
    EXPECT_EQ(1, RefuseFrame(kChannel));  // the third is never taken
  });
  EXPECT_EQ(kUnconfirmed, Close(3));
  refuse.join();
}

// A connection reset while it waited in the system's queue (the server was
// out of descriptors) is named by the address it came from; none is
// journaled, or pooled with others, under an empty address.
TEST_F(TransportTest, AConnectionResetBeforeItIsTakenInIsNamedByItsAddress) {
  StationReports reports;
  ASSERT_TRUE(reports.installed());
  const int port = OpenServer(60000);
  Client early{Client::NotYet{}};
  DescriptorLimit limit;
  ASSERT_TRUE(limit.Set(test_socket::LimitLeavingFree(0)));
  ASSERT_TRUE(early.Connect(port));
  ASSERT_TRUE(WaitUntil([&] { return AcceptShortages(kChannel) >= 1; }));
  const int earlyPort = early.LocalPort();
  early.Reset();
  ASSERT_TRUE(limit.Set(test_socket::LimitLeavingFree(64)));
  const std::string named = "127.0.0.1:" + std::to_string(earlyPort);
  EXPECT_TRUE(WaitUntil([&] { return reports.Text().find(named) != std::string::npos; }))
      << reports.Text();
  EXPECT_EQ(std::string::npos, reports.Text().find("from :0")) << reports.Text();
}
