#include "Transport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Log.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "platform/Socket.h"

namespace pallix::transport {

namespace {

using Clock = std::chrono::steady_clock;
using Frame = std::array<unsigned char, NET_FRAME_SIZE>;

// Magic, trailer and a length that fits the data field.
bool FrameIsWellFormed(const unsigned char* f) {
  return PallixGetU32(f + NET_FRAME_MAGIC_OFFSET) == NET_FRAME_MAGIC &&
         PallixGetU32(f + NET_FRAME_TRAILER_OFFSET) == NET_FRAME_TRAILER &&
         PallixGetU32(f + NET_FRAME_LENGTH_OFFSET) <= NET_FRAME_DATA_SIZE;
}

// The receipt a finished connection gets before it is closed.
Frame ReceiptFrame(std::uint32_t received) {
  Frame f{};
  PallixPutU32(f.data() + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(f.data() + NET_FRAME_COMMAND_OFFSET, NET_CMD_RECEIPT);
  PallixPutU32(f.data() + NET_FRAME_LENGTH_OFFSET, NET_RECEIPT_LENGTH);
  PallixPutU32(f.data() + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET, received);
  PallixPutU32(f.data() + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  return f;
}

// While a station waits on the monitor (it has finished, or flow control
// holds it back), it hears how many of its frames are handled, at most this
// often, so that it can tell a busy monitor from a dead one.
constexpr auto kProgressInterval = std::chrono::milliseconds(500);

// A transfer name (GBK bytes from the wire) for a report, whose text is
// UTF-8: printable ASCII as it is, every other byte as \xNN.
std::string PrintableName(const unsigned char* name, std::size_t room) {
  std::string out;
  for (std::size_t i = 0; i < room && name[i] != 0; ++i) {
    const unsigned char c = name[i];
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

const char* Plural(std::uint32_t n) { return n == 1 ? "" : "s"; }

// Seconds with one decimal, for reports.
double Seconds(Clock::duration d) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) /
         1000.0;
}

// The end of a refusal's report: what becomes of the frames before it.
const char* GoodFramesKept(std::uint32_t good) {
  return good == 0 ? "" : "; they are still written, and confirmed before the close";
}

// The levels and events of the reports of a closed connection.
constexpr int kInfo = PALLIX_LOG_INFO;
constexpr int kWarning = PALLIX_LOG_WARNING;
constexpr int kClosed = PALLIX_EVENT_CONNECTION_CLOSED;
constexpr int kRefused = PALLIX_EVENT_FRAME_REFUSED;

// Milliseconds for Poll: `left` rounded up, never below 0.
long WaitMs(Clock::duration left) {
  const long ms =
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
  return std::max(0L, ms + 1);
}

// ---- Server ----------------------------------------------------------------

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
                                std::vector<Connection*>* polled);
  // Under lock_: what the poll found, then the connections' timers, giving
  // way after a shortage and the report of a full house.
  void HandlePolled(const std::vector<net::PollItem>& items, const std::vector<Connection*>& polled,
                    Clock::time_point now);
  void ReportFullHouse();
  // The following run on the I/O thread with lock_ held; only that thread
  // adds and removes connections.
  static bool Reading(const Connection& c) { return c.open && !c.stationDone && !c.refused; }
  static bool HeldBack(const Connection& c) { return c.frames.size() >= kMaxQueuedFrames; }
  // It waits only for the monitor: for its frames to be handled and its
  // receipt.
  static bool WaitingOnUs(const Connection& c) {
    return c.open && (c.stationDone || c.refused || HeldBack(c));
  }
  bool WantsToAccept(Clock::time_point now);
  void AcceptPending(Clock::time_point now);
  // Takes one connection from the system's queue: into a free slot, the
  // slot of one that gives way, or while the slots are shared a waiting
  // place or the place of one of the busiest address. False when none can
  // be taken now; *turnedAway once a newcomer was closed again at once.
  bool AcceptOne(Clock::time_point now, bool* turnedAway);
  // Takes waiting connections into free slots, or the slots of those that
  // give way: the one whose address holds the fewest slots first.
  void ActivateWaiting(Clock::time_point now);
  void Activate(net::SocketHandle s, const char* address, int port, Source* source,
                Clock::time_point now);
  // Closes, unread, the newest waiting connection of `source`; false when
  // it has none.
  bool DropNewestWaiting(const Source* source, std::size_t held);
  void OnShortage(Clock::time_point now);
  Connection* GiveWayCandidate(Clock::time_point now);
  void GiveWay(Connection* c, Closing why);
  // Frames are being taken now (the spool is not holding them up).
  bool FramesFlowing(Clock::time_point now) const {
    return now - lastTaken_ < std::chrono::milliseconds(kGiveWayIdleMs);
  }
  // Sharing the slots by address (see kShareDivisor).
  std::size_t ShareThreshold() const;
  // The address holding the most slots (of those, the one served most
  // lately), and how many it holds; null when there is no connection.
  Source* BusiestSource(Clock::time_point now, std::size_t* held) const;
  std::size_t Holding(const Source* source) const;
  bool MayShare(Clock::time_point now) const;
  // The connection of `busiest` that makes room for a station of another
  // address: the one with the most frames still to be taken.
  Connection* ShareCandidate(const Source* busiest) const;
  void TurnAway(net::SocketHandle s, const char* address, int port, std::size_t held);
  Source* SourceOf(const char* address, Clock::time_point now);
  static double Served(const Source& source, Clock::time_point now);
  // Forgets addresses with no connection that have had nothing taken for a
  // while, so the table does not grow with every peer ever seen.
  void PruneSources(Clock::time_point now);
  void ReadFrom(Connection& c, Clock::time_point now);
  void Refuse(Connection& c, Closing why);
  void Watch(Connection& c, Clock::time_point now);
  static std::uint32_t Handled(const Connection& c);
  void SendReceipt(Connection& c, std::uint32_t count);
  void Finish(Connection& c, Closing why);
  void Drop(Connection& c, Closing why);
  void ReportClose(const Connection& c, Closing why);
  void ReportFinished(const Connection& c);
  void ReportSilence(const Connection& c);
  void ReportGaveWay(const Connection& c, Closing why);

  net::SocketHandle listener_ = net::kNoSocket;
  int port_ = 0;
  Clock::duration silence_{};
  Clock::duration frameDeadline_{};
  net::Waker waker_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::unique_ptr<Connection>> connections_;  // guarded by lock_
  // Peer addresses of connections and of frames taken lately; guarded by
  // lock_. Nodes stay where they are, so connections point at them.
  std::unordered_map<std::string, Source> sources_;
  Clock::time_point sourcesPruned_;
  Connection* inHand_ = nullptr;  // whose frame TakeFrame returned last, guarded by lock_
  Clock::time_point lastTaken_;   // when TakeFrame last returned a frame, guarded by lock_
  // Taken in while the slots are shared, oldest first; guarded by lock_.
  // At most waitingLimit_: what the descriptors leave beside the slots (at
  // most kMaxWaiting), none after a shortage of descriptors.
  std::deque<Waiting> waiting_;
  std::size_t waitingRoom_ = 0;
  std::size_t waitingLimit_ = 0;
  // The most connections the descriptors of the process allow (at most
  // kMaxConnections), fixed at the start.
  std::size_t slots_ = kMaxConnections;
  // Accepting under a shortage of descriptors; all guarded by lock_.
  std::size_t limit_ = kMaxConnections;
  Clock::time_point limitRestores_;
  Clock::time_point acceptResumes_;
  Clock::duration acceptPause_{};
  // Since when every slot has been taken, with none that could give way,
  // while frames are taken (zero: not so); guarded by lock_.
  Clock::time_point crowdedSince_;
  int shortages_ = 0;
  int failedAccepts_ = 0;  // in a row, since accepting last worked
  bool fullReported_ = false;
  // The station of the frame TakeFrame returned last; guarded by lock_.
  char lastAddress_[PALLIX_PEER_ADDRESS_SIZE] = {};
  int lastPort_ = 0;
  bool lastKnown_ = false;
  std::vector<unsigned char> scratch_;  // receive buffer of the I/O thread
  std::thread thread_;
};

// How many connections a server may hold with `left` descriptors still to
// open: all but the reserve (half of them when few are left), at least one.
std::size_t SlotsFor(long left) {
  if (left < 0) return kMaxConnections;  // no limit to budget for
  const long reserve = std::min(kDescriptorReserve, left / 2);
  const long slots = std::max(1L, left - reserve);
  return std::min(kMaxConnections, static_cast<std::size_t>(slots));
}

// How many connections may wait, taken in but unread, beside `slots` with
// `left` descriptors still to open.
std::size_t WaitingRoomFor(long left, std::size_t slots) {
  if (left < 0) return kMaxWaiting;
  const long reserve = std::min(kDescriptorReserve, left / 2);
  const long room = left - reserve - static_cast<long>(slots);
  return room <= 0 ? 0 : std::min(kMaxWaiting, static_cast<std::size_t>(room));
}

std::unique_ptr<Server> Server::Start(int port, const ServerLimits& limits, int* error) {
  std::unique_ptr<Server> s(new Server());
  if (!s->waker_.Valid()) {
    *error = kSocketError;
    return nullptr;
  }
  net::ListenError listenError;
  s->listener_ = net::ListenTcp(port, &listenError);
  if (s->listener_ == net::kNoSocket) {
    *error = listenError == net::ListenError::kAddressInUse ? kPortInUse : kSocketError;
    return nullptr;
  }
  s->port_ = net::LocalPort(s->listener_);
  s->silence_ = std::chrono::milliseconds(limits.silenceMs);
  s->frameDeadline_ = std::chrono::milliseconds(limits.frameDeadlineMs);
  // Connections must never take the descriptors the spool files need.
  const long left = net::DescriptorsLeft();
  s->slots_ = s->limit_ = SlotsFor(left);
  s->waitingRoom_ = s->waitingLimit_ = WaitingRoomFor(left, s->slots_);
  if (s->slots_ < kMaxConnections) {
    PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_NET,
               "holding at most %zu station connections at once, not %zu: the process may open "
               "only %ld more files (descriptors) and keeps %ld of them for the spool, the "
               "journal and the archive; raise the limit of open files",
               s->slots_, kMaxConnections, left, left - static_cast<long>(s->slots_));
  }
  s->scratch_.resize(64 * 1024);
  try {
    s->thread_ = std::thread(&Server::Run, s.get());
  } catch (const std::system_error&) {
    *error = kSocketError;
    return nullptr;  // the destructor closes the listener
  }
  *error = 1;
  return s;
}

Server::~Server() {
  stop_ = true;
  if (waker_.Valid()) waker_.Signal();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& c : connections_) net::Close(c->socket);
  connections_.clear();
  for (const Waiting& w : waiting_) net::Close(w.socket);
  waiting_.clear();
  net::Close(listener_);
}

void Server::Run() {
  std::vector<net::PollItem> items;
  std::vector<Connection*> polled;
  while (!stop_) {
    items.clear();
    polled.clear();
    Clock::time_point now = Clock::now();
    Clock::duration wait;
    {
      std::lock_guard<std::mutex> lock(lock_);
      wait = ListPollItems(now, &items, &polled);
    }
    int ready = net::Poll(items.data(), items.size(), static_cast<int>(WaitMs(wait)));
    if (stop_) break;
    if (ready < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (items[0].readable) waker_.Drain();
    now = Clock::now();

    std::lock_guard<std::mutex> lock(lock_);
    HandlePolled(items, polled, now);
  }
}

Clock::duration Server::ListPollItems(Clock::time_point now, std::vector<net::PollItem>* items,
                                      std::vector<Connection*>* polled) {
  const auto giveWayQuiet = std::chrono::milliseconds(kGiveWayQuietMs);
  const auto giveWayIdle = std::chrono::milliseconds(kGiveWayIdleMs);
  Clock::duration wait = std::chrono::seconds(1);
  if (limit_ < slots_ && now >= limitRestores_) {
    limit_ = slots_;
    waitingLimit_ = waitingRoom_;
    PALLIX_LOG(PALLIX_LOG_INFO, PALLIX_LOG_NET, "holding up to %zu station connections again",
               slots_);
  }
  items->push_back(net::PollItem{waker_.Handle(), true});
  // At the limit, new stations wait in the system's queue of pending
  // connections until a slot frees or a connection gives way: nothing
  // they send is lost, and nothing tells them "delivered" for bytes
  // nobody will read.
  items->push_back(net::PollItem{listener_, WantsToAccept(now)});
  if (now < acceptResumes_) wait = std::min(wait, acceptResumes_ - now);
  const Clock::time_point share = crowdedSince_ + std::chrono::milliseconds(kShareAfterMs);
  if (crowdedSince_ != Clock::time_point() && share > now) wait = std::min(wait, share - now);
  const bool full = connections_.size() >= limit_;
  for (auto& c : connections_) {
    if (WaitingOnUs(*c)) wait = std::min(wait, c->lastReceipt + kProgressInterval - now);
    // A connection whose frames are not taken is not read: flow control
    // holds its station back, and it does not count as silent.
    if (!Reading(*c) || HeldBack(*c)) continue;
    items->push_back(net::PollItem{c->socket, true});
    polled->push_back(c.get());
    wait = std::min(wait, c->lastHeard + silence_ - now);
    if (c->have > 0) wait = std::min(wait, c->frameStarted + frameDeadline_ - now);
    // Once it may give way the listener is watched instead.
    if (!full) continue;
    const Clock::time_point quiet = c->lastHeard + giveWayQuiet;
    if (c->chunks == 0 && quiet > now) wait = std::min(wait, quiet - now);
    const Clock::time_point idle = c->lastChunk + giveWayIdle;
    if (idle > now) wait = std::min(wait, idle - now);
  }
  return wait;
}

void Server::HandlePolled(const std::vector<net::PollItem>& items,
                          const std::vector<Connection*>& polled, Clock::time_point now) {
  // Only this thread removes connections, so the pointers are still good.
  for (std::size_t i = 0; i < polled.size(); ++i) {
    if (items[i + 2].readable && Reading(*polled[i])) ReadFrom(*polled[i], now);
  }
  ActivateWaiting(now);
  if (items[1].readable) AcceptPending(now);
  // Since when every slot has been taken, none may give way, while frames
  // are taken: a slot that frees and is taken at once by a waiting
  // connection leaves it so (and while the listener rests nobody can tell).
  // Slots are shared by address only once that has lasted a while, so a
  // station that would soon get a slot by giving way is never turned away.
  const bool full = connections_.size() >= limit_;
  if (!FramesFlowing(now) || GiveWayCandidate(now) != nullptr || (!full && items[1].wantRead))
    crowdedSince_ = Clock::time_point();
  else if (full && crowdedSince_ == Clock::time_point())
    crowdedSince_ = now;
  for (auto& c : connections_) Watch(*c, now);
  // Descriptors given back after a shortage: those waiting go first, then
  // beyond the lowered limit connections that may give way.
  while (waiting_.size() > waitingLimit_) DropNewestWaiting(nullptr, 0);
  while (connections_.size() > limit_) {
    Connection* c = GiveWayCandidate(now);
    if (c == nullptr) break;
    GiveWay(c, Closing::kDescriptors);
  }
  ReportFullHouse();
  connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                    [](const std::unique_ptr<Connection>& c) {
                                      return !c->open && c->frames.empty() && !c->inHand;
                                    }),
                     connections_.end());
  PruneSources(now);
}

// A full house is worth one line: stations beyond it wait unseen in the
// system's queue. Said again once it has emptied by a good margin.
void Server::ReportFullHouse() {
  if (!fullReported_ && connections_.size() >= limit_) {
    fullReported_ = true;
    PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_NET,
               "all %zu connection slots are taken: further stations wait until one closes "
               "or a connection gives way (one without a whole file chunk for %.1f s first)",
               limit_, kGiveWayIdleMs / 1000.0);
  } else if (fullReported_ && connections_.size() + kSpareDescriptors <= limit_) {
    fullReported_ = false;
  }
}

bool Server::WantsToAccept(Clock::time_point now) {
  if (now < acceptResumes_) return false;
  return connections_.size() < limit_ || GiveWayCandidate(now) != nullptr || MayShare(now);
}

void Server::AcceptPending(Clock::time_point now) {
  // Bounded, so that a storm of connections cannot starve the readers.
  bool turnedAway = false;
  for (int i = 0; i < 64; ++i) {
    if (!AcceptOne(now, &turnedAway)) break;
  }
  // Peers turned away come straight back: a short rest keeps them from
  // taking the thread, while the queue still moves fast enough that a
  // station behind them is reached within moments.
  if (turnedAway)
    acceptResumes_ = std::max(acceptResumes_, now + std::chrono::milliseconds(kTurnAwayRestMs));
}

bool Server::AcceptOne(Clock::time_point now, bool* turnedAway) {
  if (now < acceptResumes_) return false;
  // Those taken in earlier go before the system's queue.
  ActivateWaiting(now);
  // At the limit a connection makes room, but only once a station is
  // really there to take its place.
  Connection* room = nullptr;
  const bool full = connections_.size() >= limit_;
  if (full) {
    room = GiveWayCandidate(now);
    if (room == nullptr && !MayShare(now)) return false;
  }
  bool shortage = false;
  net::SocketHandle s = net::Accept(listener_, &shortage);
  if (s == net::kNoSocket) {
    if (shortage) OnShortage(now);
    return false;
  }
  if (failedAccepts_ > 0) {
    PALLIX_LOG(PALLIX_LOG_INFO, PALLIX_LOG_NET,
               "accepting stations again after %d failed tries for lack of descriptors",
               failedAccepts_);
    failedAccepts_ = 0;
  }
  acceptPause_ = Clock::duration::zero();
  Waiting w;
  w.socket = s;
  net::PeerAddress(s, w.address, sizeof w.address, &w.port);
  w.source = SourceOf(w.address, now);
  if (room != nullptr) GiveWay(room, Closing::kGaveWay);
  if (!full || room != nullptr) {
    Activate(w.socket, w.address, w.port, w.source, now);
    return true;
  }
  // Every slot busy and none may give way: the slots are shared by
  // address. The newcomer waits for a slot while there is room to wait;
  // beyond that, one of an address holding fewer takes the place of one of
  // the address holding most, and anything else cannot be held.
  if (waiting_.size() < waitingLimit_) {
    waiting_.push_back(w);
    return true;
  }
  std::size_t busiestHeld = 0;
  const Source* busiest = BusiestSource(now, &busiestHeld);
  const std::size_t held = Holding(w.source);
  if (busiest == nullptr || busiest == w.source || held + 2 > busiestHeld) {
    TurnAway(s, w.address, w.port, held);
    *turnedAway = true;
    return true;
  }
  if (DropNewestWaiting(busiest, busiestHeld)) {
    waiting_.push_back(w);
    return true;
  }
  Connection* victim = ShareCandidate(busiest);
  if (victim == nullptr) {
    TurnAway(s, w.address, w.port, held);
    *turnedAway = true;
    return true;
  }
  victim->addressHeld = busiestHeld;
  GiveWay(victim, Closing::kShared);
  Activate(w.socket, w.address, w.port, w.source, now);
  return true;
}

void Server::Activate(net::SocketHandle s, const char* address, int port, Source* source,
                      Clock::time_point now) {
  auto c = std::make_unique<Connection>();
  c->socket = s;
  std::snprintf(c->address, sizeof c->address, "%s", address);
  c->port = port;
  c->source = source;
  c->accepted = now;
  c->lastHeard = now;
  c->lastChunk = now;
  c->lastReceipt = now;
  PALLIX_LOG_EVENT(PALLIX_LOG_INFO, PALLIX_LOG_NET, PALLIX_EVENT_CONNECTION_OPENED, c->address,
                   nullptr, "station %s:%d connected (%zu of %zu slots taken)", c->address, c->port,
                   connections_.size() + 1, limit_);
  connections_.push_back(std::move(c));
}

void Server::ActivateWaiting(Clock::time_point now) {
  if (waiting_.empty()) return;
  std::unordered_map<const Source*, std::size_t> active;
  for (const auto& c : connections_)
    if (c->open) ++active[c->source];
  while (!waiting_.empty()) {
    if (connections_.size() >= limit_) {
      Connection* room = GiveWayCandidate(now);
      if (room == nullptr) return;
      if (room->open) --active[room->source];
      GiveWay(room, Closing::kGaveWay);
    }
    // The address holding the fewest slots first; of its connections the
    // one waiting longest (the deque keeps them oldest first).
    auto next = waiting_.begin();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
      if (active[it->source] < active[next->source]) next = it;
    const Waiting w = *next;
    waiting_.erase(next);
    ++active[w.source];
    Activate(w.socket, w.address, w.port, w.source, now);
  }
}

bool Server::DropNewestWaiting(const Source* source, std::size_t held) {
  for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
    if (source != nullptr && it->source != source) continue;
    const Waiting w = *it;
    waiting_.erase(std::next(it).base());
    net::Close(w.socket);
    if (source != nullptr) {
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, w.address, "gave way",
                       "connection from %s:%d closed unread to make room for a station of "
                       "another address: all %zu slots were taken and busy, %zu connections "
                       "waited, and %s held %zu slots and places, the most: the station must "
                       "send again",
                       w.address, w.port, limit_, waiting_.size() + 1, w.address, held);
    } else {
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, w.address, "out of descriptors",
                       "connection from %s:%d closed unread because the process ran out of "
                       "file descriptors (it holds fewer connections for a while): the station "
                       "must send again",
                       w.address, w.port);
    }
    return true;
  }
  return false;
}

std::size_t Server::ShareThreshold() const {
  return std::max(kShareMinimum, limit_ / kShareDivisor);
}

std::size_t Server::Holding(const Source* source) const {
  std::size_t n = 0;
  for (const auto& c : connections_)
    if (c->open && c->source == source) ++n;
  for (const Waiting& w : waiting_)
    if (w.source == source) ++n;
  return n;
}

Server::Source* Server::BusiestSource(Clock::time_point now, std::size_t* held) const {
  // A handful of addresses at most hold many slots: counting them afresh
  // costs a pass over the slots.
  std::unordered_map<Source*, std::size_t> count;
  for (const auto& c : connections_)
    if (c->open) ++count[c->source];
  for (const Waiting& w : waiting_) ++count[w.source];
  Source* busiest = nullptr;
  *held = 0;
  for (const auto& [source, n] : count) {
    if (n > *held ||
        (n == *held && busiest != nullptr && Served(*source, now) > Served(*busiest, now))) {
      busiest = source;
      *held = n;
    }
  }
  return busiest;
}

bool Server::MayShare(Clock::time_point now) const {
  // While the spool holds frames up nobody could be served: newcomers wait.
  if (!FramesFlowing(now) || crowdedSince_ == Clock::time_point()) return false;
  if (now - crowdedSince_ < std::chrono::milliseconds(kShareAfterMs)) return false;
  std::size_t held = 0;
  BusiestSource(now, &held);
  return held >= ShareThreshold();
}

Server::Connection* Server::ShareCandidate(const Source* busiest) const {
  // The one that would hold its slot longest: the most frames still to be
  // taken, then the newest. Never the one whose frame is in hand, nor one
  // already closing after a bad frame.
  Connection* best = nullptr;
  for (const auto& c : connections_) {
    if (c->source != busiest || !c->open || c->refused || c->inHand) continue;
    if (best == nullptr || c->frames.size() > best->frames.size() ||
        (c->frames.size() == best->frames.size() && c->accepted > best->accepted))
      best = c.get();
  }
  return best;
}

void Server::TurnAway(net::SocketHandle s, const char* address, int port, std::size_t held) {
  net::Close(s);
  PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, PALLIX_EVENT_CONNECTION_REFUSED, address,
                   "address holds the most",
                   "connection from %s:%d turned away unread: all %zu slots are taken and busy, "
                   "%zu connections wait for one, and %s already holds %zu of them (no other "
                   "address holds two more): the station must send again",
                   address, port, limit_, waiting_.size(), address, held);
}

Server::Source* Server::SourceOf(const char* address, Clock::time_point now) {
  auto [it, fresh] = sources_.try_emplace(address);
  if (fresh) it->second.servedAt = now;
  return &it->second;
}

double Server::Served(const Source& source, Clock::time_point now) {
  const double ms = std::chrono::duration<double, std::milli>(now - source.servedAt).count();
  return source.served * std::exp2(-ms / kServedHalfLifeMs);
}

void Server::PruneSources(Clock::time_point now) {
  if (now - sourcesPruned_ < std::chrono::seconds(1)) return;
  sourcesPruned_ = now;
  std::unordered_map<const Source*, bool> used;
  for (const auto& c : connections_) used[c->source] = true;
  for (const Waiting& w : waiting_) used[w.source] = true;
  for (auto it = sources_.begin(); it != sources_.end();) {
    // Below half a frame an address counts as never served.
    if (used.count(&it->second) == 0 && Served(it->second, now) < 0.5)
      it = sources_.erase(it);
    else
      ++it;
  }
}

void Server::OnShortage(Clock::time_point now) {
  // The process has run out of descriptors (or memory). Retrying at once
  // would only spin: pause accepting, and hold fewer connections from now
  // on so that the spool files can still be opened.
  ++shortages_;
  // With few connections of its own the server cannot free much by holding
  // fewer: it only pauses then.
  const std::size_t n = connections_.size();
  if (n > kSpareDescriptors) {
    limit_ = std::min(limit_, n - kSpareDescriptors);
    limitRestores_ = now + std::chrono::milliseconds(kLoweredLimitMs);
  }
  waitingLimit_ = 0;
  // One line when it starts, not one per try.
  if (failedAccepts_++ == 0) {
    PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_NET,
               "cannot accept stations: the process is out of file descriptors (or memory); "
               "accepting paused, tried again after 50 ms to 1 s; holding at most %zu "
               "connections for %d s (raise the limit of open files if this repeats)",
               limit_, kLoweredLimitMs / 1000);
  }
  const Clock::duration first = std::chrono::milliseconds(50);
  const Clock::duration longest = std::chrono::milliseconds(1000);
  acceptPause_ =
      acceptPause_ == Clock::duration::zero() ? first : std::min(2 * acceptPause_, longest);
  acceptResumes_ = now + acceptPause_;
}

Server::Connection* Server::GiveWayCandidate(Clock::time_point now) {
  const auto quiet = std::chrono::milliseconds(kGiveWayQuietMs);
  const auto idle = std::chrono::milliseconds(kGiveWayIdleMs);
  // A squatter, a trickle, a keep-alive and nothing else, a station that
  // never got going: the quietest first.
  Connection* best = nullptr;
  for (auto& c : connections_) {
    if (!Reading(*c) || c->chunks != 0 || !c->frames.empty() || c->inHand) continue;
    if (now - c->lastHeard < quiet) continue;
    if (best == nullptr || c->lastHeard < best->lastHeard) best = c.get();
  }
  if (best != nullptr) return best;
  // Idle: it has completed no file chunk for a while, whatever it did
  // before (real stations send a whole result in milliseconds, and end it;
  // keep-alives are no work). One held back by flow control is not idle.
  // One with nothing waiting goes first, losing nothing: the one that never
  // completed a chunk, then the longest without.
  const auto earlier = [](const Connection& a, const Connection& b) {
    if ((a.chunks == 0) != (b.chunks == 0)) return a.chunks == 0;
    return a.lastChunk < b.lastChunk;
  };
  for (auto& c : connections_) {
    if (!Reading(*c) || HeldBack(*c) || !c->frames.empty() || c->inHand) continue;
    if (now - c->lastChunk < idle) continue;
    if (best == nullptr || earlier(*c, *best)) best = c.get();
  }
  if (best != nullptr) return best;
  // Every slot busy with frames: only while frames are being taken (while
  // the spool holds them up nobody could be served anyway, and newcomers
  // wait), a connection makes room once it has had its slot a while, so
  // that no station waits for the others' frames to drain. Its frames not
  // yet taken go unconfirmed. First one that has parked frames and sent
  // nothing whole since (the longest first), then one that keeps sending,
  // held back, once it has had its turns (the one that had most first).
  if (!FramesFlowing(now)) return nullptr;
  for (auto& c : connections_) {
    if (!Reading(*c) || HeldBack(*c) || c->inHand || now - c->lastChunk < idle) continue;
    if (best == nullptr || c->lastChunk < best->lastChunk) best = c.get();
  }
  if (best != nullptr) return best;
  for (auto& c : connections_) {
    if (!Reading(*c) || !HeldBack(*c) || c->inHand || c->taken == 0) continue;
    if (now - c->accepted < idle) continue;
    if (best == nullptr || c->taken > best->taken) best = c.get();
  }
  return best;
}

void Server::GiveWay(Connection* c, Closing why) {
  // Frames of it not yet taken go unconfirmed (the station sends them
  // again); it hears how many of the others are handled.
  c->framesDropped = c->frames.size();
  c->received -= static_cast<std::uint32_t>(c->frames.size());
  c->frames.clear();
  if (c->received > 0) SendReceipt(*c, Handled(*c));
  Drop(*c, why);
  connections_.erase(
      std::find_if(connections_.begin(), connections_.end(),
                   [c](const std::unique_ptr<Connection>& k) { return k.get() == c; }));
}

void Server::ReadFrom(Connection& c, Clock::time_point now) {
  for (;;) {
    // Never take in more than the free frame slots can hold.
    std::size_t budget = (kMaxQueuedFrames - c.frames.size()) * NET_FRAME_SIZE - c.have;
    if (budget == 0) return;
    long n = net::Receive(c.socket, scratch_.data(), std::min(budget, scratch_.size()));
    if (n == net::kWouldBlock) return;
    if (n == net::kPeerClosed) {
      // The station has finished: its partial frame goes; the connection is
      // confirmed and closed once its frames are handled (Watch).
      c.stationDone = true;
      c.partialDropped = c.have;
      c.have = 0;
      return;
    }
    if (n < 0) {  // a broken connection: nobody to confirm anything to
      Drop(c, Closing::kBroken);
      return;
    }
    c.lastHeard = now;
    const unsigned char* p = scratch_.data();
    std::size_t left = static_cast<std::size_t>(n);
    while (left > 0) {
      std::size_t take = std::min(left, NET_FRAME_SIZE - c.have);
      std::memcpy(c.partial.data() + c.have, p, take);
      std::size_t before = c.have;
      if (before == 0) c.frameStarted = now;
      c.have += take;
      p += take;
      left -= take;
      // Reject a stream that is not ours as soon as its first bytes show it.
      if (before < 4 && c.have >= 4 &&
          PallixGetU32(c.partial.data() + NET_FRAME_MAGIC_OFFSET) != NET_FRAME_MAGIC) {
        Refuse(c, Closing::kBadMagic);
        return;
      }
      if (before < NET_FRAME_DATA_OFFSET && c.have >= NET_FRAME_DATA_OFFSET &&
          PallixGetU32(c.partial.data() + NET_FRAME_LENGTH_OFFSET) > NET_FRAME_DATA_SIZE) {
        Refuse(c, Closing::kBadLength);
        return;
      }
      if (c.have == NET_FRAME_SIZE) {
        if (!FrameIsWellFormed(c.partial.data())) {
          Refuse(c, Closing::kBadTrailer);  // magic and length passed above
          return;
        }
        c.frames.push_back(c.partial);
        ++c.received;
        c.have = 0;
        if (PallixGetU32(c.partial.data() + NET_FRAME_COMMAND_OFFSET) == NET_CMD_FILE_CHUNK) {
          ++c.chunks;
          c.lastChunk = now;
        }
      }
    }
  }
}

void Server::Refuse(Connection& c, Closing why) {
  // The stream has lost its alignment, or was never ours: nothing more of
  // it is read. Frames that came whole before are still written, and the
  // station hears so before the close, so it need not send them again.
  ReportClose(c, why);
  c.refused = true;
  c.have = 0;
  if (c.received == 0) {
    net::Close(c.socket);
    c.socket = net::kNoSocket;
    c.open = false;
  }
}

void Server::Watch(Connection& c, Clock::time_point now) {
  if (!c.open) return;
  if ((c.stationDone || c.refused) && c.frames.empty() && !c.inHand) {
    if (c.refused) {  // already reported
      SendReceipt(c, c.received);
      // What it sent after is not read; dropped here, so that the close
      // ends the stream after the receipt instead of resetting it (which
      // may cost the station the receipt).
      for (int i = 0; i < 64 && net::Receive(c.socket, scratch_.data(), scratch_.size()) > 0; ++i) {
      }
      net::Close(c.socket);
      c.socket = net::kNoSocket;
      c.open = false;
      return;
    }
    Finish(c, Closing::kFinished);
    return;
  }
  // While a station waits on us, it hears of progress: only once the last
  // receipt has left the socket, so a peer that reads none costs nothing.
  if (WaitingOnUs(c) && now - c.lastReceipt >= kProgressInterval) {
    if (Handled(c) > c.receiptCount && net::UnsentBytes(c.socket) <= 0) SendReceipt(c, Handled(c));
    c.lastReceipt = now;
  }
  if (WaitingOnUs(c)) return;
  if (c.have > 0 && now - c.frameStarted >= frameDeadline_) {
    Drop(c, Closing::kTooSlow);
  } else if (now - c.lastHeard >= silence_) {
    // Silent between frames with everything handled: the station may learn
    // that before it reconnects. Otherwise it hears nothing and sends again.
    if (c.have == 0 && c.frames.empty() && !c.inHand)
      Finish(c, Closing::kSilence);
    else
      Drop(c, Closing::kSilence);
  }
}

std::uint32_t Server::Handled(const Connection& c) {
  return c.received - static_cast<std::uint32_t>(c.frames.size()) - (c.inHand ? 1 : 0);
}

void Server::SendReceipt(Connection& c, std::uint32_t count) {
  if (c.receiptsBroken) return;
  // Receipts are far apart: the send buffer takes them whole unless the
  // station has read none for a long while. Should one not go whole, the
  // station gets no more (it sends again, which does no harm).
  const Frame receipt = ReceiptFrame(count);
  if (net::Send(c.socket, receipt.data(), receipt.size()) != static_cast<long>(receipt.size())) {
    c.receiptsBroken = true;
    return;
  }
  c.receiptCount = count;
}

void Server::Finish(Connection& c, Closing why) {
  // Everything received has been handled: the last receipt counts it all.
  SendReceipt(c, c.received);
  Drop(c, why);
}

void Server::Drop(Connection& c, Closing why) {
  ReportClose(c, why);
  net::Close(c.socket);
  c.socket = net::kNoSocket;
  c.open = false;
  c.have = 0;  // finished frames stay and are still delivered
}

void Server::ReportClose(const Connection& c, Closing why) {
  const char* a = c.address;
  const int p = c.port;
  switch (why) {
    case Closing::kFinished:
      ReportFinished(c);
      return;
    case Closing::kSilence:
      ReportSilence(c);
      return;
    case Closing::kBroken:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "connection broken",
                       "connection from %s:%d broke (reset by the station or the network) after "
                       "%u frame%s; %u not yet written are still written; no receipt",
                       a, p, c.received, Plural(c.received), c.received - Handled(c));
      return;
    case Closing::kBadMagic:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad magic",
                       "connection from %s:%d closed: it sends bytes that are not a frame "
                       "(starting 0x%08X; a frame starts 0x%08X)",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_MAGIC_OFFSET),
                       NET_FRAME_MAGIC);
      return;
    case Closing::kBadLength:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad length",
                       "connection from %s:%d closed: a frame with length %u (at most %u), "
                       "after %u good frames%s",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_LENGTH_OFFSET),
                       NET_FRAME_DATA_SIZE, c.received, GoodFramesKept(c.received));
      return;
    case Closing::kBadTrailer:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad trailer",
                       "connection from %s:%d closed: a frame ends in 0x%08X instead of 0x%08X "
                       "(bad trailer), after %u good frames%s",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_TRAILER_OFFSET),
                       NET_FRAME_TRAILER, c.received, GoodFramesKept(c.received));
      return;
    case Closing::kTooSlow:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "frame too slow",
                       "connection from %s:%d closed: a frame was not complete %.0f s after its "
                       "first byte (%zu of %u bytes came); that frame is lost",
                       a, p, Seconds(frameDeadline_), c.have, NET_FRAME_SIZE);
      return;
    case Closing::kGaveWay:
    case Closing::kShared:
    case Closing::kDescriptors:
      ReportGaveWay(c, why);
      return;
    case Closing::kUnhandled:
      // The reader says why in its own words, once; this is detail.
      PALLIX_LOG_EVENT(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, kClosed, a, "not handled",
                       "connection from %s:%d closed: the reader could not handle its frame %u; "
                       "%zu more dropped unconfirmed, %u handled before it confirmed",
                       a, p, c.received + 1, c.framesDropped, c.received);
      return;
  }
}

void Server::ReportFinished(const Connection& c) {
  const char* a = c.address;
  const int p = c.port;
  if (c.receiptsBroken) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, but its "
                     "receipt could not be sent: it will send them again",
                     a, p, c.received, Plural(c.received));
  } else if (c.partialDropped > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, receipt sent; "
                     "it ended in the middle of a frame (%zu of %u bytes), which is lost",
                     a, p, c.received, Plural(c.received), c.partialDropped, NET_FRAME_SIZE);
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, receipt sent", a, p,
                     c.received, Plural(c.received));
  }
}

void Server::ReportSilence(const Connection& c) {
  const char* a = c.address;
  const int p = c.port;
  const std::uint32_t waiting = c.received - Handled(c);
  if (c.have > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d closed after %.1f s of silence in the middle of a frame "
                     "(%zu of %u bytes): that frame is lost, the station must send it again",
                     a, p, Seconds(silence_), c.have, NET_FRAME_SIZE);
  } else if (waiting > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d closed after %.1f s of silence while %u of its frames "
                     "waited to be written (spool held up?): they are still written, but "
                     "the station gets no receipt for them and will send them again",
                     a, p, Seconds(silence_), waiting);
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d closed after %.1f s of silence: %u frame%s received, all "
                     "handled, receipt sent",
                     a, p, Seconds(silence_), c.received, Plural(c.received));
  }
}

// Closed to make room (kGaveWay, kShared) or after a shortage of
// descriptors.
void Server::ReportGaveWay(const Connection& c, Closing why) {
  const char* a = c.address;
  const int p = c.port;
  const char* key = why == Closing::kDescriptors ? "out of descriptors" : "gave way";
  char reason[200];
  if (why == Closing::kGaveWay) {
    std::snprintf(reason, sizeof reason,
                  "to make room for a waiting station: all %zu slots were taken", limit_);
  } else if (why == Closing::kShared) {
    std::snprintf(reason, sizeof reason,
                  "to make room for a station of another address: all %zu slots were taken and "
                  "busy, and %s held %zu of them, the most",
                  limit_, a, c.addressHeld);
  } else {
    std::snprintf(reason, sizeof reason,
                  "because the process ran out of file descriptors (it holds fewer "
                  "connections for a while)");
  }
  if (c.framesDropped > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it held %zu frames waiting to be "
                     "taken: those are dropped unconfirmed (the station sends them again); "
                     "%u handled and confirmed",
                     a, p, reason, c.framesDropped, c.received);
  } else if (c.received == 0) {
    PALLIX_LOG_EVENT(why == Closing::kDescriptors ? kWarning : kInfo, PALLIX_LOG_NET, kClosed, a,
                     key, "connection from %s:%d closed %s and it had never sent a whole frame", a,
                     p, reason);
  } else if (why == Closing::kShared) {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s; its %u frame%s handled and confirmed", a, p,
                     reason, c.received, Plural(c.received));
  } else if (c.chunks == 0) {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it had sent no file chunk, only %u "
                     "other frame%s (keep-alives), handled and confirmed",
                     a, p, reason, c.received, Plural(c.received));
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it had completed no file chunk for "
                     "%.1f s; its %u frame%s handled and confirmed",
                     a, p, reason, kGiveWayIdleMs / 1000.0, c.received, Plural(c.received));
  }
}

bool Server::TakeFrame(unsigned char* out) {
  bool wake = false;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(lock_);
    const Clock::time_point now = Clock::now();
    // The reader asks again only once it has handled the frame it took last
    // (written it to the spool): that frame's connection may now be
    // confirmed and closed.
    if (inHand_ != nullptr) {
      Connection& h = *inHand_;
      h.inHand = false;
      inHand_ = nullptr;
      if (h.frames.empty() && (!h.open || h.stationDone || h.refused)) wake = true;
    }
    // By address first: the turn goes to the address that has had the
    // fewest frames lately (then the one served longest ago), so that a
    // station that has sent little is served before the next frame of an
    // address, or a few, that have sent thousands. Within one address,
    // round robin by connection, not by arrival: each turn goes to the
    // connection served longest ago, one never served first, so a station's
    // few frames never wait behind another's many. A station that has
    // finished sending comes before those still sending (it only waits for
    // its receipt), and of those the one closest to the end: serving it
    // confirms a whole exchange and frees its slot for a waiting station.
    Connection* next = nullptr;
    const auto before = [now](const Connection& a, const Connection& b) {
      if (a.source != b.source) {
        const double aServed = Served(*a.source, now), bServed = Served(*b.source, now);
        if (aServed != bServed) return aServed < bServed;
        if (a.source->lastServed != b.source->lastServed)
          return a.source->lastServed < b.source->lastServed;
      }
      const bool aEnding = a.stationDone || a.refused, bEnding = b.stationDone || b.refused;
      if (aEnding != bEnding) return aEnding;
      if (aEnding && a.frames.size() != b.frames.size()) return a.frames.size() < b.frames.size();
      if ((a.taken == 0) != (b.taken == 0)) return a.taken == 0;
      if (a.taken != 0 && a.lastServed != b.lastServed) return a.lastServed < b.lastServed;
      return a.accepted < b.accepted;
    };
    for (auto& c : connections_)
      if (!c->frames.empty() && (next == nullptr || before(*c, *next))) next = c.get();
    if (next != nullptr) {
      Connection& c = *next;
      found = true;
      std::memcpy(out, c.frames.front().data(), NET_FRAME_SIZE);
      std::memcpy(lastAddress_, c.address, sizeof lastAddress_);
      lastPort_ = c.port;
      const bool wasFull = HeldBack(c);
      c.frames.pop_front();
      c.inHand = true;
      ++c.taken;
      c.lastServed = now;
      Source& source = *c.source;
      source.served = Served(source, now) + 1;
      source.servedAt = now;
      source.lastServed = now;
      inHand_ = &c;
      lastTaken_ = now;
      if (wasFull && Reading(c)) {
        // It was held back, neither silent nor idle.
        c.lastHeard = now;
        c.lastChunk = now;
        wake = true;
      }
    }
    lastKnown_ = found && lastAddress_[0] != '\0';
  }
  if (wake) waker_.Signal();
  return found;
}

bool Server::RefuseTaken() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (inHand_ == nullptr) return false;
    Connection& c = *inHand_;
    inHand_ = nullptr;
    c.inHand = false;
    // Counts run in order, so nothing after the refused frame can be
    // confirmed either: it and the frames behind it go unconfirmed, and the
    // station hears at once what of it is handled (often nothing), before
    // the close the I/O thread makes.
    c.framesDropped = c.frames.size();
    c.received -= static_cast<std::uint32_t>(c.frames.size()) + 1;
    c.frames.clear();
    ReportClose(c, Closing::kUnhandled);
    if (c.open && !c.refused) {
      c.refused = true;
      c.have = 0;
    }
  }
  waker_.Signal();
  return true;
}

int Server::FramePeer(char* address, std::size_t size, int* port) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!lastKnown_) {
    address[0] = '\0';
    *port = 0;
    return 0;
  }
  std::snprintf(address, size, "%s", lastAddress_);
  *port = lastPort_;
  return 1;
}

bool Server::PeerConnected(const char* address, int port) {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& c : connections_)
    if (c->port == port && std::strcmp(c->address, address) == 0) return true;
  for (const Waiting& w : waiting_)
    if (w.port == port && std::strcmp(w.address, address) == 0) return true;
  return false;
}

int Server::SendingConnections() {
  std::lock_guard<std::mutex> lock(lock_);
  int n = 0;
  for (auto& c : connections_)
    if (Reading(*c)) ++n;
  return n;
}

int Server::Limit() {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(limit_);
}

int Server::AcceptShortages() {
  std::lock_guard<std::mutex> lock(lock_);
  return shortages_;
}

// ---- Station ---------------------------------------------------------------

class Station {
 public:
  Station(int channel, int timeoutMs) : channel_(channel), timeoutMs_(timeoutMs) {}
  ~Station() {
    std::lock_guard<std::mutex> lock(lock_);
    EndConnectionLocked(false);
  }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  int Send(const char* host, int port, const unsigned char* data, std::size_t size);
  // A SendNetData call on the channel failed before it reached the station
  // (a bad argument): what it was handed never went.
  void NoteFailedSend(int result);
  // Ends the connection, waiting for the monitor's receipts as long as they
  // confirm more frames (at most the timeout without progress). 1 when no
  // send failed and every frame Send reported as sent has been confirmed,
  // kUnconfirmed otherwise.
  int Finish();

 private:
  int SendFrames(const char* host, int port, const unsigned char* data, std::size_t size);
  // Ends the connection. Its frames count as confirmed only when a receipt
  // of the monitor names exactly as many: with `awaitReceipt` the station
  // half-closes and waits for it; without, what has come must do.
  void EndConnectionLocked(bool awaitReceipt);
  // Reads what the monitor has sent, waiting at most waitMs for it to come:
  // receipts raise confirmed_. False once the connection has ended (closed
  // or reset).
  bool ReadReceiptsLocked(int waitMs);
  // Says (at debug level: the station tool's --verbose) what each frame of
  // a batch just handed to the connection carries.
  void ReportSentLocked(const unsigned char* data, std::size_t size) const;

  std::mutex lock_;
  int channel_;  // for the reports: a program may run several stations
  int timeoutMs_;
  net::SocketHandle socket_ = net::kNoSocket;  // guarded by lock_, as all below
  std::string host_;
  int port_ = 0;
  std::uint64_t sentOnConnection_ = 0;  // frames handed to the current connection
  std::uint64_t confirmed_ = 0;         // of those, the most a receipt confirmed
  Frame inbound_{};                     // a frame from the monitor, being read
  std::size_t inboundHave_ = 0;
  bool unconfirmed_ = false;  // some frames sent were never confirmed
  // Sends that failed, and the last one's result: the frames handed to them
  // were not delivered, whatever the receipts of the others say.
  int failedSends_ = 0;
  int lastFailure_ = 0;
};

int Station::Send(const char* host, int port, const unsigned char* data, std::size_t size) {
  const int result = SendFrames(host, port, data, size);
  if (result < 0) NoteFailedSend(result);
  return result;
}

void Station::NoteFailedSend(int result) {
  std::lock_guard<std::mutex> lock(lock_);
  ++failedSends_;
  lastFailure_ = result;
}

int Station::SendFrames(const char* host, int port, const unsigned char* data, std::size_t size) {
  if (size == 0 || size % NET_FRAME_SIZE != 0) return kBadFrame;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    if (!FrameIsWellFormed(data + off)) return kBadFrame;
  }
  std::lock_guard<std::mutex> lock(lock_);
  if (socket_ != net::kNoSocket && (host_ != host || port_ != port)) EndConnectionLocked(true);
  // Take in the receipts that came meanwhile, and find out whether the
  // monitor has closed the connection (it drops silent ones) before writing
  // into a connection that is gone.
  if (socket_ != net::kNoSocket && !ReadReceiptsLocked(0)) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: the monitor at %s:%d has closed the connection (silence?): "
               "connecting again",
               channel_, host_.c_str(), port_);
    EndConnectionLocked(false);
  }
  if (socket_ == net::kNoSocket) {
    net::ConnectError why = net::ConnectError::kNone;
    socket_ = net::ConnectTcp(host, port, timeoutMs_, &why);
    if (socket_ == net::kNoSocket) {
      PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, "channel %d: cannot connect to %s:%d: %s",
                 channel_, host, port,
                 why == net::ConnectError::kUnknownHost ? "the name does not resolve"
                 : why == net::ConnectError::kRefused
                     ? "refused, nothing listens there"
                     : "no answer in time, or the network is unreachable");
      return why == net::ConnectError::kUnknownHost ? kUnknownHost
             : why == net::ConnectError::kRefused   ? kConnectRefused
                                                    : kConnectFailed;
    }
    host_ = host;
    port_ = port;
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, "channel %d: connected to the monitor at %s:%d",
               channel_, host, port);
  }
  if (!net::SendAll(socket_, data, size, timeoutMs_)) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: sending to %s:%d failed: the connection broke or the monitor "
               "stopped reading for %d ms",
               channel_, host_.c_str(), port_, timeoutMs_);
    EndConnectionLocked(false);
    return kSendFailed;
  }
  if (log::Enabled(PALLIX_LOG_DEBUG)) ReportSentLocked(data, size);
  sentOnConnection_ += size / NET_FRAME_SIZE;
  return static_cast<int>(size / NET_FRAME_SIZE);
}

void Station::ReportSentLocked(const unsigned char* data, std::size_t size) const {
  std::uint64_t number = sentOnConnection_;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    const unsigned char* f = data + off;
    ++number;
    if (PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_FILE_CHUNK) {
      PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
                 "channel %d: frame %llu sent to %s:%d: command %u, %u bytes of data", channel_,
                 static_cast<unsigned long long>(number), host_.c_str(), port_,
                 PallixGetU32(f + NET_FRAME_COMMAND_OFFSET),
                 PallixGetU32(f + NET_FRAME_LENGTH_OFFSET));
      continue;
    }
    const unsigned char* chunk = f + NET_FRAME_DATA_OFFSET;
    const int total = PallixGetI16(chunk + FILE_CHUNK_TOTAL_OFFSET);
    const int chunks = total > 0 ? (total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE : 0;
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: frame %llu sent to %s:%d: transfer '%s', chunk %d of %d (index "
               "%d), %d bytes of %d",
               channel_, static_cast<unsigned long long>(number), host_.c_str(), port_,
               PrintableName(chunk + FILE_CHUNK_NAME_OFFSET, FILE_CHUNK_NAME_SIZE).c_str(),
               PallixGetI16(chunk + FILE_CHUNK_INDEX_OFFSET) + 1, chunks,
               PallixGetI16(chunk + FILE_CHUNK_INDEX_OFFSET),
               PallixGetI16(chunk + FILE_CHUNK_COUNT_OFFSET), total);
  }
}

int Station::Finish() {
  std::lock_guard<std::mutex> lock(lock_);
  EndConnectionLocked(true);
  if (failedSends_ > 0) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: closed after %d failed send%s (the last: %d): what they were handed "
               "was not delivered and must be sent again",
               channel_, failedSends_, failedSends_ == 1 ? "" : "s", lastFailure_);
  }
  return unconfirmed_ || failedSends_ > 0 ? kUnconfirmed : 1;
}

void Station::EndConnectionLocked(bool awaitReceipt) {
  if (socket_ == net::kNoSocket) return;
  // How the connection ended, for the report.
  const char* how = awaitReceipt ? "every frame was already confirmed" : "without waiting";
  if (awaitReceipt && confirmed_ != sentOnConnection_) {
    net::ShutdownSend(socket_);
    // A monitor that keeps confirming frames is busy, not gone: the timeout
    // counts from the last progress.
    const auto patience = std::chrono::milliseconds(timeoutMs_);
    auto deadline = Clock::now() + patience;
    std::uint64_t progress = confirmed_;
    how = "the monitor's final receipt came";
    while (confirmed_ != sentOnConnection_) {
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) {
        how = "no receipt came in time";
        break;
      }
      if (!ReadReceiptsLocked(static_cast<int>(WaitMs(left)))) {
        // The final receipt and the close often come in one read.
        if (confirmed_ != sentOnConnection_) how = "the monitor closed the connection";
        break;
      }
      if (confirmed_ > progress) {
        progress = confirmed_;
        deadline = Clock::now() + patience;
      }
    }
  }
  PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
             "channel %d: connection to %s:%d closed (%s): %llu of %llu frames confirmed%s",
             channel_, host_.c_str(), port_, how, static_cast<unsigned long long>(confirmed_),
             static_cast<unsigned long long>(sentOnConnection_),
             confirmed_ == sentOnConnection_ ? "" : ": the rest must be sent again");
  if (confirmed_ != sentOnConnection_) unconfirmed_ = true;
  net::Close(socket_);
  socket_ = net::kNoSocket;
  sentOnConnection_ = 0;
  confirmed_ = 0;
  inboundHave_ = 0;
}

bool Station::ReadReceiptsLocked(int waitMs) {
  net::PollItem item{socket_, true};
  const int ready = net::Poll(&item, 1, waitMs);
  if (ready < 0) return false;
  if (ready == 0) return true;
  for (;;) {
    const long n =
        net::Receive(socket_, inbound_.data() + inboundHave_, inbound_.size() - inboundHave_);
    if (n == net::kWouldBlock) return true;
    if (n <= 0) return false;
    inboundHave_ += static_cast<std::size_t>(n);
    if (inboundHave_ < inbound_.size()) continue;
    inboundHave_ = 0;
    // Any other frame is none of a station's business.
    const unsigned char* f = inbound_.data();
    if (FrameIsWellFormed(f) && PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) == NET_CMD_RECEIPT &&
        PallixGetU32(f + NET_FRAME_LENGTH_OFFSET) >= NET_RECEIPT_LENGTH) {
      const std::uint64_t count =
          PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET);
      confirmed_ = std::max(confirmed_, count);
      PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
                 "channel %d: receipt from %s:%d: %llu of the %llu frames sent are written",
                 channel_, host_.c_str(), port_, static_cast<unsigned long long>(count),
                 static_cast<unsigned long long>(sentOnConnection_));
    }
  }
}

// ---- Channels --------------------------------------------------------------

struct Channel {
  int mode = kModeServer;
  std::unique_ptr<Server> server;
  std::unique_ptr<Station> station;
};

constexpr std::size_t kChannelCount = kLastChannel - kFirstChannel + 1;

class Registry {
 public:
  // The library may be unloaded while a channel is open (the monitor never
  // closes its own): stop every thread and close every socket then.
  ~Registry() { CloseAll(); }

  void CloseAll() {
    std::array<std::shared_ptr<Channel>, kChannelCount> closing;
    {
      std::lock_guard<std::mutex> guard(lock);
      closing.swap(channels);
    }
    // Destroyed here, outside the lock: servers join their threads, stations
    // close at once.
  }

  std::mutex lock;
  std::array<std::shared_ptr<Channel>, kChannelCount> channels;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool ValidChannel(int channel) { return channel >= kFirstChannel && channel <= kLastChannel; }

std::shared_ptr<Channel> Find(int channel) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.channels[static_cast<std::size_t>(channel - kFirstChannel)];
}

}  // namespace

namespace {

int OpenChannel(int channel, int mode, int port, const ServerLimits& limits, int stationTimeoutMs) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (mode != kModeServer && mode != kModeStation) return kBadMode;
  if (port < 0 || port > 65535) return kBadArgument;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto& slot = r.channels[static_cast<std::size_t>(channel - kFirstChannel)];
  if (slot) return kChannelBusy;
  auto ch = std::make_shared<Channel>();
  ch->mode = mode;
  if (mode == kModeServer) {
    int error = 0;
    ch->server = Server::Start(port, limits, &error);
    if (!ch->server) return error;
  } else {
    ch->station = std::make_unique<Station>(channel, stationTimeoutMs);
  }
  slot = std::move(ch);
  return 1;
}

}  // namespace

int Open(int channel, int mode, int port, int option) {
  ServerLimits limits;
  if (option > 0) limits.silenceMs = option;
  return OpenChannel(channel, mode, port, limits, option > 0 ? option : kDefaultStationTimeoutMs);
}

int OpenServer(int channel, int port, const ServerLimits& limits) {
  if (limits.silenceMs <= 0 || limits.frameDeadlineMs <= 0) return kBadArgument;
  return OpenChannel(channel, kModeServer, port, limits, 0);
}

int Close(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    ch.swap(r.channels[static_cast<std::size_t>(channel - kFirstChannel)]);
  }
  if (!ch) return 0;
  return ch->station ? ch->station->Finish() : 1;
}

int Read(int channel, void* buf, int size) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (buf == nullptr || size < static_cast<int>(NET_FRAME_SIZE)) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->TakeFrame(static_cast<unsigned char*>(buf)) ? static_cast<int>(NET_FRAME_SIZE)
                                                                 : 0;
}

int Send(int channel, const char* host, int port, const void* buf, int size) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535 || buf == nullptr ||
      size <= 0) {
    // A station that checks only CloseNet must not hear "delivered" then.
    if (ch && ch->station) ch->station->NoteFailedSend(kBadArgument);
    return kBadArgument;
  }
  if (!ch) return kNotOpen;
  if (!ch->station) return kWrongMode;
  return ch->station->Send(host, port, static_cast<const unsigned char*>(buf),
                           static_cast<std::size_t>(size));
}

int RefuseFrame(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->RefuseTaken() ? 1 : 0;
}

int FramePeer(int channel, char* address, int size, int* port) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (address == nullptr || port == nullptr || size < 1) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->FramePeer(address, static_cast<std::size_t>(size), port);
}

int ListeningPort(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->Port();
}

int PeerConnected(int channel, const char* address, int port) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (address == nullptr) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->PeerConnected(address, port) ? 1 : 0;
}

int ConnectionLimit(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->Limit();
}

int ConnectionCount(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->SendingConnections();
}

int AcceptShortages(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->AcceptShortages();
}

void CloseAll() { TheRegistry().CloseAll(); }

}  // namespace pallix::transport
