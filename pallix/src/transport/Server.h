// Server - a server channel: one I/O thread that takes stations'
// connections into a bounded number of slots, reads their frames, and
// hands them to the channel's one reader. Its parts: Server.cpp (the
// thread, reading, taking frames), ServerSlots.cpp (accepting, giving way,
// sharing the slots by address), Receipts.cpp (confirming and closing
// connections), CloseReports.cpp (what a closed connection reports).
#ifndef PALLIX_TRANSPORT_SERVER_H
#define PALLIX_TRANSPORT_SERVER_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Log.h"
#include "PallixThreadSafety.h"
#include "Transport.h"
#include "platform/Socket.h"
#include "transport/Frame.h"

namespace pallix::transport {

// The levels and events of the reports of a closed connection.
constexpr int kInfo = PALLIX_LOG_INFO;
constexpr int kWarning = PALLIX_LOG_WARNING;
constexpr int kClosed = PALLIX_EVENT_CONNECTION_CLOSED;
constexpr int kRefused = PALLIX_EVENT_FRAME_REFUSED;

class Server {
 public:
  static std::unique_ptr<Server> Start(int port, const ServerLimits& limits, int* error);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  bool TakeFrame(unsigned char* out);
  // The frame TakeFrame returned last cannot be handled: its connection is
  // told what of it is handled before it and closed (PallixRefuseFrame).
  // False when no frame is in hand.
  bool RefuseTaken();
  // The station of the frame the latest TakeFrame returned (see
  // PallixFramePeer): 1, or 0 when it returned none or the address is unknown.
  int FramePeer(char* address, std::size_t size, int* port);
  // Whether the station at address:port is connected, or frames of it are
  // still to be taken or handled.
  bool PeerConnected(const char* address, int port);
  int Port() const { return port_; }
  int SendingConnections();
  int Limit();
  int AcceptShortages();

 private:
  // A peer address and what it has had of the server lately. Every
  // connection of one address counts towards it, so that one flooding
  // address, or a few, take neither the whole pace nor every slot from the
  // stations of others.
  struct Source {
    double served = 0;           // frames taken, halving every kServedHalfLifeMs
    Clock::time_point servedAt;  // when `served` was last brought up to date
    Clock::time_point lastServed;
  };

  struct Connection {
    net::SocketHandle socket = net::kNoSocket;
    bool open = true;          // the socket is still open
    bool stationDone = false;  // the station has ended its sending direction
    // A bad frame came: nothing more is read; the connection is closed once
    // the frames before it are handled, with a receipt for them.
    bool refused = false;
    Frame partial{};
    std::size_t have = 0;            // bytes of the partial frame received so far
    Clock::time_point frameStarted;  // when the partial frame's first byte came
    std::deque<Frame> frames;        // finished frames, oldest first
    std::uint32_t received = 0;      // well-formed frames completed on it and kept
    std::uint32_t chunks = 0;        // of those, file chunks: the work a station comes for
    bool inHand = false;             // its frame went out with the last TakeFrame
    Clock::time_point accepted;
    Clock::time_point lastHeard;
    // When it last completed a file chunk (or was accepted, or was last let
    // go after flow control held it back): how long it has been idle. A
    // keep-alive is no work.
    Clock::time_point lastChunk;
    // When a frame of it was last taken, and how many were.
    Clock::time_point lastServed;
    std::uint32_t taken = 0;
    // Receipts: when the last progress was looked at, the count last sent;
    // broken once one could not be sent whole (the rest would be out of
    // step).
    Clock::time_point lastReceipt;
    std::uint32_t receiptCount = 0;
    bool receiptsBroken = false;
    // The station, for the reports and PallixFramePeer.
    char address[PALLIX_PEER_ADDRESS_SIZE] = {};
    int port = 0;
    Source* source = nullptr;        // its address's record in sources_
    std::size_t partialDropped = 0;  // bytes of an unfinished frame the station ended on
    std::size_t framesDropped = 0;   // frames it gave up unhandled when it gave way
    std::size_t addressHeld = 0;     // slots its address held when it made room for another
  };

  // A connection taken in while the slots are shared by address, to see
  // its address, and not read yet: it waits for a slot, ahead of those
  // still in the system's queue.
  struct Waiting {
    net::SocketHandle socket = net::kNoSocket;
    char address[PALLIX_PEER_ADDRESS_SIZE] = {};
    int port = 0;
    Source* source = nullptr;
  };

  // Why a connection is closed, for the report.
  enum class Closing {
    kFinished,     // the station ended its sending direction, all handled
    kSilence,      // silent between frames
    kBroken,       // reset or failed
    kBadMagic,     // its first bytes are not a frame
    kBadLength,    // a length beyond the data field
    kBadTrailer,   // a frame whose trailer is wrong
    kTooSlow,      // a frame not complete in time
    kGaveWay,      // made room for a waiting station
    kShared,       // made room for a station of an address holding fewer slots
    kDescriptors,  // fewer connections held after a shortage of descriptors
    kUnhandled,    // the reader could not handle one of its frames
  };

  Server() = default;
  void Run();
  // Under lock_: the sockets the next poll watches (the waker, the
  // listener, then the connections read from, also listed in `polled`), and
  // how long it may wait.
  Clock::duration ListPollItems(Clock::time_point now, std::vector<net::PollItem>* items,
                                std::vector<Connection*>* polled) PALLIX_REQUIRES(lock_);
  // Under lock_: what the poll found, then the connections' timers, giving
  // way after a shortage and the report of a full house.
  void HandlePolled(const std::vector<net::PollItem>& items, const std::vector<Connection*>& polled,
                    Clock::time_point now) PALLIX_REQUIRES(lock_);
  void ReportFullHouse() PALLIX_REQUIRES(lock_);
  // The following run on the I/O thread with lock_ held; only that thread
  // adds and removes connections.
  static bool Reading(const Connection& c) { return c.open && !c.stationDone && !c.refused; }
  static bool HeldBack(const Connection& c) { return c.frames.size() >= kMaxQueuedFrames; }
  // It waits only for the monitor: for its frames to be handled and its
  // receipt.
  static bool WaitingOnUs(const Connection& c) {
    return c.open && (c.stationDone || c.refused || HeldBack(c));
  }
  bool WantsToAccept(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void AcceptPending(Clock::time_point now) PALLIX_REQUIRES(lock_);
  // Takes one connection from the system's queue: into a free slot, the
  // slot of one that gives way, or while the slots are shared a waiting
  // place or the place of one of the busiest address. False when none can
  // be taken now; *turnedAway once a newcomer was closed again at once.
  bool AcceptOne(Clock::time_point now, bool* turnedAway) PALLIX_REQUIRES(lock_);
  // Takes waiting connections into free slots, or the slots of those that
  // give way: the one whose address holds the fewest slots first.
  void ActivateWaiting(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void Activate(net::SocketHandle s, const char* address, int port, Source* source,
                Clock::time_point now) PALLIX_REQUIRES(lock_);
  // Closes, unread, the newest waiting connection of `source`; false when
  // it has none.
  bool DropNewestWaiting(const Source* source, std::size_t held) PALLIX_REQUIRES(lock_);
  void OnShortage(Clock::time_point now) PALLIX_REQUIRES(lock_);
  Connection* GiveWayCandidate(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void GiveWay(Connection* c, Closing why) PALLIX_REQUIRES(lock_);
  // Frames are being taken now (the spool is not holding them up).
  bool FramesFlowing(Clock::time_point now) const PALLIX_REQUIRES(lock_) {
    return now - lastTaken_ < std::chrono::milliseconds(kGiveWayIdleMs);
  }
  // Sharing the slots by address (see kShareDivisor).
  std::size_t ShareThreshold() const PALLIX_REQUIRES(lock_);
  // The address holding the most slots (of those, the one served most
  // lately), and how many it holds; null when there is no connection.
  Source* BusiestSource(Clock::time_point now, std::size_t* held) const PALLIX_REQUIRES(lock_);
  std::size_t Holding(const Source* source) const PALLIX_REQUIRES(lock_);
  bool MayShare(Clock::time_point now) const PALLIX_REQUIRES(lock_);
  // The connection of `busiest` that makes room for a station of another
  // address: the one with the most frames still to be taken.
  Connection* ShareCandidate(const Source* busiest) const PALLIX_REQUIRES(lock_);
  void TurnAway(net::SocketHandle s, const char* address, int port, std::size_t held)
      PALLIX_REQUIRES(lock_);
  Source* SourceOf(const char* address, Clock::time_point now) PALLIX_REQUIRES(lock_);
  static double Served(const Source& source, Clock::time_point now);
  // Forgets addresses with no connection that have had nothing taken for a
  // while, so the table does not grow with every peer ever seen.
  void PruneSources(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void ReadFrom(Connection& c, Clock::time_point now) PALLIX_REQUIRES(lock_);
  void Refuse(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void Watch(Connection& c, Clock::time_point now) PALLIX_REQUIRES(lock_);
  static std::uint32_t Handled(const Connection& c);
  void SendReceipt(Connection& c, std::uint32_t count) PALLIX_REQUIRES(lock_);
  void Finish(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void Drop(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void ReportClose(const Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void ReportFinished(const Connection& c) PALLIX_REQUIRES(lock_);
  void ReportSilence(const Connection& c) PALLIX_REQUIRES(lock_);
  void ReportGaveWay(const Connection& c, Closing why) PALLIX_REQUIRES(lock_);

  net::SocketHandle listener_ = net::kNoSocket;
  int port_ = 0;
  Clock::duration silence_{};
  Clock::duration frameDeadline_{};
  net::Waker waker_;
  std::atomic<bool> stop_{false};
  PallixMutex lock_;
  std::vector<std::unique_ptr<Connection>> connections_ PALLIX_GUARDED_BY(lock_);
  // Peer addresses of connections and of frames taken lately. Nodes stay
  // where they are, so connections point at them.
  std::unordered_map<std::string, Source> sources_ PALLIX_GUARDED_BY(lock_);
  Clock::time_point sourcesPruned_ PALLIX_GUARDED_BY(lock_);
  Connection* inHand_ PALLIX_GUARDED_BY(lock_) = nullptr;  // whose frame TakeFrame returned last
  Clock::time_point lastTaken_ PALLIX_GUARDED_BY(lock_);   // when TakeFrame last returned a frame
  // Taken in while the slots are shared, oldest first.
  // At most waitingLimit_: what the descriptors leave beside the slots (at
  // most kMaxWaiting), none after a shortage of descriptors.
  std::deque<Waiting> waiting_ PALLIX_GUARDED_BY(lock_);
  std::size_t waitingRoom_ PALLIX_GUARDED_BY(lock_) = 0;
  std::size_t waitingLimit_ PALLIX_GUARDED_BY(lock_) = 0;
  // The most connections the descriptors of the process allow (at most
  // kMaxConnections), fixed at the start.
  std::size_t slots_ = kMaxConnections;
  // Accepting under a shortage of descriptors.
  std::size_t limit_ PALLIX_GUARDED_BY(lock_) = kMaxConnections;
  Clock::time_point limitRestores_ PALLIX_GUARDED_BY(lock_);
  Clock::time_point acceptResumes_ PALLIX_GUARDED_BY(lock_);
  Clock::duration acceptPause_ PALLIX_GUARDED_BY(lock_){};
  // Since when every slot has been taken, with none that could give way,
  // while frames are taken (zero: not so).
  Clock::time_point crowdedSince_ PALLIX_GUARDED_BY(lock_);
  int shortages_ PALLIX_GUARDED_BY(lock_) = 0;
  int failedAccepts_ PALLIX_GUARDED_BY(lock_) = 0;  // in a row, since accepting last worked
  bool fullReported_ PALLIX_GUARDED_BY(lock_) = false;
  // The station of the frame TakeFrame returned last.
  char lastAddress_[PALLIX_PEER_ADDRESS_SIZE] PALLIX_GUARDED_BY(lock_) = {};
  int lastPort_ PALLIX_GUARDED_BY(lock_) = 0;
  bool lastKnown_ PALLIX_GUARDED_BY(lock_) = false;
  std::vector<unsigned char> scratch_;  // receive buffer of the I/O thread
  std::thread thread_;
};

}  // namespace pallix::transport

#endif  // PALLIX_TRANSPORT_SERVER_H
