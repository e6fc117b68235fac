// Server - a server channel: one I/O thread that takes every station's
// connection in as it comes, reads the frames of a bounded number of them,
// and hands them to the channel's one reader, the station that has had
// least first. Its parts: Server.cpp (the thread, reading, taking frames),
// ServerSlots.cpp (accepting, the places and who waits for them),
// ServerOrder.cpp (whose frame goes next, and whether its station still
// waits for it), Receipts.cpp (confirming and closing connections),
// CloseReports.cpp (what a closed connection reports).
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
  // The frame TakeFrame returned last is refused for good: it counts as
  // answered but not delivered, and the connection goes on
  // (PallixRejectFrame). False when no frame is in hand.
  bool RejectTaken();
  // Whether the station of the frame TakeFrame returned last still waits
  // for it (PallixFrameWanted): 1 yes (or no frame in hand), 0 it gave up
  // (the frame must not be written), 2 it is being asked.
  int InHandWanted();
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
  // Finished frames of the station at address:port waiting to be taken.
  int QueuedFrames(const char* address, int port);

 private:
  // A peer address and what it has had of the server lately. Every
  // connection of one address counts towards it, so that one flooding
  // address, or a few, take neither the whole pace nor every place from the
  // stations of others.
  struct Source {
    double served = 0;           // frames taken, halving every kServedHalfLifeMs
    Clock::time_point servedAt;  // when `served` was last brought up to date
    Clock::time_point lastServed;
    std::size_t held = 0;  // its open connections, waiting ones too
    double standing = 0;   // served lately and held: worked out afresh where it is used
  };

  struct Connection {
    net::SocketHandle socket = net::kNoSocket;
    bool open = true;          // the socket is still open
    bool stationDone = false;  // the station has ended its sending direction
    // A bad frame came: nothing more is read; the connection is closed once
    // the frames before it are handled, with a receipt for them.
    bool refused = false;
    // Its station gave up on it (reset, or closed while its frames waited):
    // nothing of it is handled any more.
    bool gaveUp = false;
    Frame partial{};
    std::size_t have = 0;            // bytes of the partial frame received so far
    Clock::time_point frameStarted;  // when the partial frame's first byte came
    std::deque<Frame> frames;        // finished frames, oldest first
    std::uint32_t received = 0;      // well-formed frames completed on it and kept
    std::uint32_t chunks = 0;        // of those, file chunks: the work a station comes for
    std::uint32_t rejected = 0;      // of those handled, refused for good
    bool inHand = false;             // its frame went out with the last TakeFrame
    Clock::time_point accepted;
    Clock::time_point lastHeard;
    // When it last completed a file chunk (or was accepted): how long it has
    // been idle. A keep-alive is no work.
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
    // When its station last had a sign that it is served (a byte read, a
    // receipt that raised its count, an answer to the question below):
    // its frames waiting longer than kStaleAfterMs since are only taken
    // once its station answers a receipt (probedAt: when it was sent).
    Clock::time_point lastProgress;
    Clock::time_point probedAt;
    bool probeWanted = false;    // the reader asks that it be sent (by the I/O thread)
    bool rejectPending = false;  // its frame in hand was refused for good
    // The station, for the reports and PallixFramePeer.
    char address[PALLIX_PEER_ADDRESS_SIZE] = {};
    int port = 0;
    Source* source = nullptr;        // its address's record in sources_
    std::size_t partialDropped = 0;  // bytes of an unfinished frame the station ended on
    std::size_t framesDropped = 0;   // frames it gave up unhandled when it gave way
    double addressStanding = 0;      // its address's standing when it made room for another
  };

  // A connection taken in to see its address and not read yet: it waits
  // for a place, ahead of those still in the system's queue.
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
    kShared,       // made room for a station of an address standing lower
    kDescriptors,  // fewer connections held after a shortage of descriptors
    kUnhandled,    // the reader could not handle one of its frames
    kGaveUp,       // its station closed while its frames waited
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
  // Takes the connections in the system's queue, up to a bound per round
  // so that reading goes on: into a place, or to wait for one.
  bool WantsToAccept(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void AcceptPending(Clock::time_point now) PALLIX_REQUIRES(lock_);
  bool AcceptOne(Clock::time_point now) PALLIX_REQUIRES(lock_);
  // A newcomer with every waiting place taken: it takes the place of the
  // newest waiting one of the address standing highest, if its own stands
  // at least two lower; else it is turned away.
  void WaitOrTurnAway(const Waiting& w, Clock::time_point now) PALLIX_REQUIRES(lock_);
  // Takes waiting connections into free places, or the places of those
  // that give way: the one whose address stands lowest first.
  void ActivateWaiting(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void Activate(const Waiting& w, Clock::time_point now) PALLIX_REQUIRES(lock_);
  // Closes, unread, the newest waiting connection of `source` (any, when
  // null); false when it has none.
  bool DropNewestWaiting(const Source* source) PALLIX_REQUIRES(lock_);
  void OnShortage(Clock::time_point now) PALLIX_REQUIRES(lock_);
  Connection* GiveWayCandidate(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void GiveWay(Connection* c, Closing why) PALLIX_REQUIRES(lock_);
  // Frames are being taken now (the spool is not holding them up).
  bool FramesFlowing(Clock::time_point now) const PALLIX_REQUIRES(lock_) {
    return now - lastTaken_ < std::chrono::milliseconds(kGiveWayIdleMs);
  }
  // Each address's standing, afresh: frames taken from it lately and the
  // connections it holds.
  void WorkOutStandings(Clock::time_point now) PALLIX_REQUIRES(lock_);
  // The connection of the address standing highest that makes room for a
  // waiting one of `newcomer`'s address, if that one stands at least two
  // lower; null otherwise (standings worked out).
  Connection* RoomByStanding(const Source* newcomer) PALLIX_REQUIRES(lock_);
  void TurnAway(const Waiting& w) PALLIX_REQUIRES(lock_);
  Source* SourceOf(const char* address, Clock::time_point now) PALLIX_REQUIRES(lock_);
  static double Served(const Source& source, Clock::time_point now);
  // Forgets addresses with no connection that have had nothing taken for a
  // while, so the table does not grow with every peer ever seen.
  void PruneSources(Clock::time_point now) PALLIX_REQUIRES(lock_);
  void ReadFrom(Connection& c, Clock::time_point now) PALLIX_REQUIRES(lock_);
  void TakeInBytes(Connection& c, const unsigned char* p, std::size_t n, Clock::time_point now)
      PALLIX_REQUIRES(lock_);
  void Refuse(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  // The connection whose frame goes next (ServerOrder.cpp): null when none
  // has a frame ready.
  // *wake once the I/O thread has work from it (a question to send, a
  // connection to close).
  Connection* NextToServe(Clock::time_point now, bool* wake) PALLIX_REQUIRES(lock_);
  // Whether a connection's frames may be taken now: a station whose frames
  // have waited long is asked first whether it still waits for them.
  bool StillWanted(Connection& c, Clock::time_point now, bool* wake) PALLIX_REQUIRES(lock_);
  // Sends that question: a receipt that confirms nothing new (I/O thread).
  void Probe(Connection& c, Clock::time_point now) PALLIX_REQUIRES(lock_);
  // Its station gave up: the frames not yet taken are dropped unconfirmed.
  void GiveUp(Connection& c) PALLIX_REQUIRES(lock_);
  void Watch(Connection& c, Clock::time_point now) PALLIX_REQUIRES(lock_);
  static std::uint32_t Handled(const Connection& c);
  // What the connection's next receipt confirms: handled, less those
  // refused for good.
  static std::uint32_t Confirmed(const Connection& c) { return Handled(c) - c.rejected; }
  void SendReceipt(Connection& c, std::uint32_t handled) PALLIX_REQUIRES(lock_);
  void Finish(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void Drop(Connection& c, Closing why) PALLIX_REQUIRES(lock_);
  void CloseSocket(Connection& c) PALLIX_REQUIRES(lock_);
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
  // Taken in, not read yet, oldest first; at most waitingLimit_: what the
  // descriptors leave beside the places (at most kMaxWaiting), none after
  // a shortage of descriptors.
  std::deque<Waiting> waiting_ PALLIX_GUARDED_BY(lock_);
  std::size_t waitingRoom_ PALLIX_GUARDED_BY(lock_) = 0;
  std::size_t waitingLimit_ PALLIX_GUARDED_BY(lock_) = 0;
  // Peer addresses of connections and of frames taken lately. Nodes stay
  // where they are, so connections point at them.
  std::unordered_map<std::string, Source> sources_ PALLIX_GUARDED_BY(lock_);
  Clock::time_point sourcesPruned_ PALLIX_GUARDED_BY(lock_);
  Connection* inHand_ PALLIX_GUARDED_BY(lock_) = nullptr;  // whose frame TakeFrame returned last
  Clock::time_point lastTaken_ PALLIX_GUARDED_BY(lock_);   // when TakeFrame last returned a frame
  // The most connections the descriptors of the process allow (at most
  // kMaxConnections), fixed at the start.
  std::size_t slots_ = kMaxConnections;
  // Accepting under a shortage of descriptors.
  std::size_t limit_ PALLIX_GUARDED_BY(lock_) = kMaxConnections;
  Clock::time_point limitRestores_ PALLIX_GUARDED_BY(lock_);
  Clock::time_point acceptResumes_ PALLIX_GUARDED_BY(lock_);
  Clock::duration acceptPause_ PALLIX_GUARDED_BY(lock_){};
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
