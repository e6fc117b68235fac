#include "Transport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
  int Port() const { return port_; }
  int SendingConnections();
  int AcceptShortages();

 private:
  struct Connection {
    net::SocketHandle socket = net::kNoSocket;
    bool open = true;          // the socket is still open
    bool stationDone = false;  // the station has ended its sending direction
    Frame partial{};
    std::size_t have = 0;            // bytes of the partial frame received so far
    Clock::time_point frameStarted;  // when the partial frame's first byte came
    std::deque<Frame> frames;        // finished frames, oldest first
    std::uint32_t received = 0;      // well-formed frames completed on it
    bool inHand = false;             // its frame went out with the last TakeFrame
    Clock::time_point lastHeard;
    // Receipts: when the last progress was looked at, the count last sent;
    // broken once one could not be sent whole (the rest would be out of
    // step).
    Clock::time_point lastReceipt;
    std::uint32_t receiptCount = 0;
    bool receiptsBroken = false;
  };

  Server() = default;
  void Run();
  // The following run on the I/O thread with lock_ held; only that thread
  // adds and removes connections.
  static bool Reading(const Connection& c) { return c.open && !c.stationDone; }
  static bool HeldBack(const Connection& c) { return c.frames.size() >= kMaxQueuedFrames; }
  bool WantsToAccept(Clock::time_point now);
  void AcceptPending(Clock::time_point now);
  void OnShortage(Clock::time_point now);
  Connection* GiveWayCandidate(Clock::time_point now);
  void GiveWay(Connection* c);
  void ReadFrom(Connection& c, Clock::time_point now);
  void Watch(Connection& c, Clock::time_point now);
  static std::uint32_t Handled(const Connection& c);
  void SendReceipt(Connection& c, std::uint32_t count);
  void Finish(Connection& c);
  void Drop(Connection& c);

  net::SocketHandle listener_ = net::kNoSocket;
  int port_ = 0;
  Clock::duration silence_{};
  Clock::duration frameDeadline_{};
  net::Waker waker_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::unique_ptr<Connection>> connections_;  // guarded by lock_
  std::size_t next_ = 0;          // round-robin start of TakeFrame, guarded by lock_
  Connection* inHand_ = nullptr;  // whose frame TakeFrame returned last, guarded by lock_
  // Accepting under a shortage of descriptors; all guarded by lock_.
  std::size_t limit_ = kMaxConnections;
  Clock::time_point limitRestores_;
  Clock::time_point acceptResumes_;
  Clock::duration acceptPause_{};
  int shortages_ = 0;
  std::vector<unsigned char> scratch_;  // receive buffer of the I/O thread
  std::thread thread_;
};

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
  net::Close(listener_);
}

void Server::Run() {
  const auto giveWayQuiet = std::chrono::milliseconds(kGiveWayQuietMs);
  std::vector<net::PollItem> items;
  std::vector<Connection*> polled;
  while (!stop_) {
    items.clear();
    polled.clear();
    Clock::time_point now = Clock::now();
    Clock::duration wait = std::chrono::seconds(1);
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (limit_ < kMaxConnections && now >= limitRestores_) limit_ = kMaxConnections;
      items.push_back(net::PollItem{waker_.Handle(), true});
      // At the limit, new stations wait in the system's queue of pending
      // connections until a slot frees or a connection gives way: nothing
      // they send is lost, and nothing tells them "delivered" for bytes
      // nobody will read.
      items.push_back(net::PollItem{listener_, WantsToAccept(now)});
      if (now < acceptResumes_) wait = std::min(wait, acceptResumes_ - now);
      const bool full = connections_.size() >= limit_;
      for (auto& c : connections_) {
        if (c->open && (c->stationDone || HeldBack(*c)))
          wait = std::min(wait, c->lastReceipt + kProgressInterval - now);
        // A connection whose frames are not taken is not read: flow control
        // holds its station back, and it does not count as silent.
        if (!Reading(*c) || HeldBack(*c)) continue;
        items.push_back(net::PollItem{c->socket, true});
        polled.push_back(c.get());
        wait = std::min(wait, c->lastHeard + silence_ - now);
        if (c->have > 0) wait = std::min(wait, c->frameStarted + frameDeadline_ - now);
        // Once it may give way the listener is watched instead.
        const Clock::time_point mayGiveWay = c->lastHeard + giveWayQuiet;
        if (full && c->received == 0 && mayGiveWay > now) wait = std::min(wait, mayGiveWay - now);
      }
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
    // Only this thread removes connections, so the pointers are still good.
    for (std::size_t i = 0; i < polled.size(); ++i) {
      if (items[i + 2].readable && Reading(*polled[i])) ReadFrom(*polled[i], now);
    }
    if (items[1].readable) AcceptPending(now);
    for (auto& c : connections_) Watch(*c, now);
    // Descriptors given back after a shortage: beyond the lowered limit,
    // connections that never completed a frame go.
    while (connections_.size() > limit_) {
      Connection* c = GiveWayCandidate(now);
      if (c == nullptr) break;
      GiveWay(c);
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const std::unique_ptr<Connection>& c) {
                                        return !c->open && c->frames.empty() && !c->inHand;
                                      }),
                       connections_.end());
  }
}

bool Server::WantsToAccept(Clock::time_point now) {
  if (now < acceptResumes_) return false;
  return connections_.size() < limit_ || GiveWayCandidate(now) != nullptr;
}

void Server::AcceptPending(Clock::time_point now) {
  // Bounded, so that a storm of connections cannot starve the readers.
  for (int i = 0; i < 64; ++i) {
    if (connections_.size() >= limit_) {
      // Only the first accept after the listener showed readable is sure to
      // find a station waiting; make room for that one alone.
      if (i > 0) return;
      Connection* c = GiveWayCandidate(now);
      if (c == nullptr) return;
      GiveWay(c);
      if (connections_.size() >= limit_) return;
    }
    bool shortage = false;
    net::SocketHandle s = net::Accept(listener_, &shortage);
    if (s == net::kNoSocket) {
      if (shortage) OnShortage(now);
      return;
    }
    acceptPause_ = Clock::duration::zero();
    auto c = std::make_unique<Connection>();
    c->socket = s;
    c->lastHeard = now;
    c->lastReceipt = now;
    connections_.push_back(std::move(c));
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
  const Clock::duration first = std::chrono::milliseconds(50);
  const Clock::duration longest = std::chrono::milliseconds(1000);
  acceptPause_ =
      acceptPause_ == Clock::duration::zero() ? first : std::min(2 * acceptPause_, longest);
  acceptResumes_ = now + acceptPause_;
}

Server::Connection* Server::GiveWayCandidate(Clock::time_point now) {
  // A connection that has never completed a frame and has been quiet a
  // while: a squatter, a trickle, a station that never got going. The
  // quietest goes first; one that is busy with its first frame stays.
  Connection* best = nullptr;
  for (auto& c : connections_) {
    if (!Reading(*c) || c->received != 0) continue;
    if (now - c->lastHeard < std::chrono::milliseconds(kGiveWayQuietMs)) continue;
    if (best == nullptr || c->lastHeard < best->lastHeard) best = c.get();
  }
  return best;
}

void Server::GiveWay(Connection* c) {
  // It has no frames, so nothing of it is lost beyond its partial frame.
  Drop(*c);
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
      c.have = 0;
      return;
    }
    if (n < 0) {  // a broken connection: nobody to confirm anything to
      Drop(c);
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
        Drop(c);
        return;
      }
      if (before < NET_FRAME_DATA_OFFSET && c.have >= NET_FRAME_DATA_OFFSET &&
          PallixGetU32(c.partial.data() + NET_FRAME_LENGTH_OFFSET) > NET_FRAME_DATA_SIZE) {
        Drop(c);
        return;
      }
      if (c.have == NET_FRAME_SIZE) {
        if (!FrameIsWellFormed(c.partial.data())) {
          Drop(c);
          return;
        }
        c.frames.push_back(c.partial);
        ++c.received;
        c.have = 0;
      }
    }
  }
}

void Server::Watch(Connection& c, Clock::time_point now) {
  if (!c.open) return;
  if (c.stationDone && c.frames.empty() && !c.inHand) {
    Finish(c);
    return;
  }
  const bool waitingOnUs = c.stationDone || HeldBack(c);
  if (waitingOnUs && now - c.lastReceipt >= kProgressInterval) {
    if (Handled(c) > c.receiptCount) SendReceipt(c, Handled(c));
    c.lastReceipt = now;
  }
  if (waitingOnUs) return;
  if (c.have > 0 && now - c.frameStarted >= frameDeadline_) {
    Drop(c);
  } else if (now - c.lastHeard >= silence_) {
    // Silent between frames with everything handled: the station may learn
    // that before it reconnects. Otherwise it hears nothing and sends again.
    if (c.have == 0 && c.frames.empty() && !c.inHand)
      Finish(c);
    else
      Drop(c);
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

void Server::Finish(Connection& c) {
  // Everything received has been handled: the last receipt counts it all.
  SendReceipt(c, c.received);
  Drop(c);
}

void Server::Drop(Connection& c) {
  net::Close(c.socket);
  c.socket = net::kNoSocket;
  c.open = false;
  c.have = 0;  // finished frames stay and are still delivered
}

bool Server::TakeFrame(unsigned char* out) {
  bool wake = false;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(lock_);
    // The reader asks again only once it has handled the frame it took last
    // (written it to the spool): that frame's connection may now be
    // confirmed and closed.
    if (inHand_ != nullptr) {
      Connection& h = *inHand_;
      h.inHand = false;
      inHand_ = nullptr;
      if (h.frames.empty() && (!h.open || h.stationDone)) wake = true;
    }
    const std::size_t n = connections_.size();
    for (std::size_t k = 0; k < n && !found; ++k) {
      std::size_t i = (next_ + k) % n;
      Connection& c = *connections_[i];
      if (c.frames.empty()) continue;
      found = true;
      std::memcpy(out, c.frames.front().data(), NET_FRAME_SIZE);
      const bool wasFull = HeldBack(c);
      c.frames.pop_front();
      c.inHand = true;
      inHand_ = &c;
      next_ = i + 1;
      if (wasFull && Reading(c)) {
        c.lastHeard = Clock::now();  // it was held back, not silent
        wake = true;
      }
    }
  }
  if (wake) waker_.Signal();
  return found;
}

int Server::SendingConnections() {
  std::lock_guard<std::mutex> lock(lock_);
  int n = 0;
  for (auto& c : connections_)
    if (Reading(*c)) ++n;
  return n;
}

int Server::AcceptShortages() {
  std::lock_guard<std::mutex> lock(lock_);
  return shortages_;
}

// ---- Station ---------------------------------------------------------------

class Station {
 public:
  explicit Station(int timeoutMs) : timeoutMs_(timeoutMs) {}
  ~Station() {
    std::lock_guard<std::mutex> lock(lock_);
    EndConnectionLocked(false);
  }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  int Send(const char* host, int port, const unsigned char* data, std::size_t size);
  // Ends the connection, waiting for the monitor's receipts as long as they
  // confirm more frames (at most the timeout without progress). 1 when every
  // frame Send reported as sent has been confirmed, kUnconfirmed otherwise.
  int Finish();

 private:
  // Ends the connection. Its frames count as confirmed only when a receipt
  // of the monitor names exactly as many: with `awaitReceipt` the station
  // half-closes and waits for it; without, what has come must do.
  void EndConnectionLocked(bool awaitReceipt);
  // Reads what the monitor has sent, waiting at most waitMs for it to come:
  // receipts raise confirmed_. False once the connection has ended (closed
  // or reset).
  bool ReadReceiptsLocked(int waitMs);

  std::mutex lock_;
  int timeoutMs_;
  net::SocketHandle socket_ = net::kNoSocket;  // guarded by lock_, as all below
  std::string host_;
  int port_ = 0;
  std::uint64_t sentOnConnection_ = 0;  // frames handed to the current connection
  std::uint64_t confirmed_ = 0;         // of those, the most a receipt confirmed
  Frame inbound_{};                     // a frame from the monitor, being read
  std::size_t inboundHave_ = 0;
  bool unconfirmed_ = false;  // some frames sent were never confirmed
};

int Station::Send(const char* host, int port, const unsigned char* data, std::size_t size) {
  if (size == 0 || size % NET_FRAME_SIZE != 0) return kBadFrame;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    if (!FrameIsWellFormed(data + off)) return kBadFrame;
  }
  std::lock_guard<std::mutex> lock(lock_);
  if (socket_ != net::kNoSocket && (host_ != host || port_ != port)) EndConnectionLocked(true);
  // Take in the receipts that came meanwhile, and find out whether the
  // monitor has closed the connection (it drops silent ones) before writing
  // into a connection that is gone.
  if (socket_ != net::kNoSocket && !ReadReceiptsLocked(0)) EndConnectionLocked(false);
  if (socket_ == net::kNoSocket) {
    net::ConnectError why = net::ConnectError::kNone;
    socket_ = net::ConnectTcp(host, port, timeoutMs_, &why);
    if (socket_ == net::kNoSocket) {
      return why == net::ConnectError::kUnknownHost ? kUnknownHost
             : why == net::ConnectError::kRefused   ? kConnectRefused
                                                    : kConnectFailed;
    }
    host_ = host;
    port_ = port;
  }
  if (!net::SendAll(socket_, data, size, timeoutMs_)) {
    EndConnectionLocked(false);
    return kSendFailed;
  }
  sentOnConnection_ += size / NET_FRAME_SIZE;
  return static_cast<int>(size / NET_FRAME_SIZE);
}

int Station::Finish() {
  std::lock_guard<std::mutex> lock(lock_);
  EndConnectionLocked(true);
  return unconfirmed_ ? kUnconfirmed : 1;
}

void Station::EndConnectionLocked(bool awaitReceipt) {
  if (socket_ == net::kNoSocket) return;
  if (awaitReceipt && confirmed_ != sentOnConnection_) {
    net::ShutdownSend(socket_);
    // A monitor that keeps confirming frames is busy, not gone: the timeout
    // counts from the last progress.
    const auto patience = std::chrono::milliseconds(timeoutMs_);
    auto deadline = Clock::now() + patience;
    std::uint64_t progress = confirmed_;
    while (confirmed_ != sentOnConnection_) {
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero() || !ReadReceiptsLocked(static_cast<int>(WaitMs(left))))
        break;
      if (confirmed_ > progress) {
        progress = confirmed_;
        deadline = Clock::now() + patience;
      }
    }
  }
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
    ch->station = std::make_unique<Station>(stationTimeoutMs);
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
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535 || buf == nullptr || size <= 0)
    return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->station) return kWrongMode;
  return ch->station->Send(host, port, static_cast<const unsigned char*>(buf),
                           static_cast<std::size_t>(size));
}

int ListeningPort(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->Port();
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
