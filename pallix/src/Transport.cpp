#include "Transport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
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

// ---- Server ----------------------------------------------------------------

class Server {
 public:
  static std::unique_ptr<Server> Start(int port, int silenceMs, int* error);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  bool TakeFrame(unsigned char* out);
  int Port() const { return port_; }
  int OpenConnections();

 private:
  struct Connection {
    net::SocketHandle socket = net::kNoSocket;
    bool open = true;
    Frame partial{};
    std::size_t have = 0;      // bytes of the partial frame received so far
    std::deque<Frame> frames;  // finished frames, oldest first
    Clock::time_point lastHeard;
  };

  Server() = default;
  void Run();
  // The following run on the I/O thread with lock_ held.
  void AcceptPending(Clock::time_point now);
  void ReadFrom(Connection& c, Clock::time_point now);
  void Drop(Connection& c);

  net::SocketHandle listener_ = net::kNoSocket;
  int port_ = 0;
  Clock::duration silence_{};
  net::Waker waker_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::unique_ptr<Connection>> connections_;  // guarded by lock_
  std::size_t next_ = 0;                // round-robin start of TakeFrame, guarded by lock_
  std::vector<unsigned char> scratch_;  // receive buffer of the I/O thread
  std::thread thread_;
};

std::unique_ptr<Server> Server::Start(int port, int silenceMs, int* error) {
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
  s->silence_ = std::chrono::milliseconds(silenceMs);
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
  std::vector<net::PollItem> items;
  std::vector<Connection*> polled;
  while (!stop_) {
    items.clear();
    polled.clear();
    Clock::time_point now = Clock::now();
    long timeoutMs = 1000;
    {
      std::lock_guard<std::mutex> lock(lock_);
      items.push_back(net::PollItem{waker_.Handle(), true});
      // At the limit, new stations wait in the system's queue of pending
      // connections until a slot frees: nothing they send is lost, and
      // nothing tells them "delivered" for bytes nobody will read.
      items.push_back(net::PollItem{listener_, connections_.size() < kMaxConnections});
      for (auto& c : connections_) {
        // A connection whose frames are not taken is not read: flow control
        // holds its station back, and it does not count as silent.
        if (!c->open || c->frames.size() >= kMaxQueuedFrames) continue;
        items.push_back(net::PollItem{c->socket, true});
        polled.push_back(c.get());
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(c->lastHeard + silence_ - now)
                .count();
        timeoutMs = std::min(timeoutMs, std::max(0L, static_cast<long>(left) + 1));
      }
    }
    int ready = net::Poll(items.data(), items.size(), static_cast<int>(timeoutMs));
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
      if (items[i + 2].readable && polled[i]->open) ReadFrom(*polled[i], now);
    }
    if (items[1].readable) AcceptPending(now);
    for (auto& c : connections_) {
      if (c->open && c->frames.size() < kMaxQueuedFrames && now - c->lastHeard >= silence_)
        Drop(*c);
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const std::unique_ptr<Connection>& c) {
                                        return !c->open && c->frames.empty();
                                      }),
                       connections_.end());
  }
}

void Server::AcceptPending(Clock::time_point now) {
  // Bounded, so that a storm of connections cannot starve the readers.
  for (int i = 0; i < 64; ++i) {
    if (connections_.size() >= kMaxConnections) return;
    net::SocketHandle s = net::Accept(listener_);
    if (s == net::kNoSocket) return;
    auto c = std::make_unique<Connection>();
    c->socket = s;
    c->lastHeard = now;
    connections_.push_back(std::move(c));
  }
}

void Server::ReadFrom(Connection& c, Clock::time_point now) {
  for (;;) {
    // Never take in more than the free frame slots can hold.
    std::size_t budget = (kMaxQueuedFrames - c.frames.size()) * NET_FRAME_SIZE - c.have;
    if (budget == 0) return;
    long n = net::Receive(c.socket, scratch_.data(), std::min(budget, scratch_.size()));
    if (n == net::kWouldBlock) return;
    if (n <= 0) {  // end of stream or a broken connection: the partial frame goes
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
        c.have = 0;
      }
    }
  }
}

void Server::Drop(Connection& c) {
  net::Close(c.socket);
  c.socket = net::kNoSocket;
  c.open = false;
  c.have = 0;  // finished frames stay and are still delivered
}

bool Server::TakeFrame(unsigned char* out) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(lock_);
    const std::size_t n = connections_.size();
    std::size_t found = n;
    for (std::size_t k = 0; k < n; ++k) {
      std::size_t i = (next_ + k) % n;
      if (!connections_[i]->frames.empty()) {
        found = i;
        break;
      }
    }
    if (found == n) return false;
    Connection& c = *connections_[found];
    std::memcpy(out, c.frames.front().data(), NET_FRAME_SIZE);
    const bool wasFull = c.frames.size() >= kMaxQueuedFrames;
    c.frames.pop_front();
    next_ = found + 1;
    if (wasFull && c.open) {
      c.lastHeard = Clock::now();  // it was held back, not silent
      wake = true;
    }
    if (!c.open && c.frames.empty()) wake = true;  // let the I/O thread forget it
  }
  if (wake) waker_.Signal();
  return true;
}

int Server::OpenConnections() {
  std::lock_guard<std::mutex> lock(lock_);
  int n = 0;
  for (auto& c : connections_)
    if (c->open) ++n;
  return n;
}

// ---- Station ---------------------------------------------------------------

class Station {
 public:
  explicit Station(int timeoutMs) : timeoutMs_(timeoutMs) {}
  ~Station() { Disconnect(false); }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  int Send(const char* host, int port, const unsigned char* data, std::size_t size);
  // Ends the connection; with `graceful`, waits (at most the timeout) until
  // the monitor has read everything and closed its side.
  void Disconnect(bool graceful);

 private:
  std::mutex lock_;
  int timeoutMs_;
  net::SocketHandle socket_ = net::kNoSocket;  // guarded by lock_
  std::string host_;
  int port_ = 0;

  void DisconnectLocked(bool graceful);
};

int Station::Send(const char* host, int port, const unsigned char* data, std::size_t size) {
  if (size == 0 || size % NET_FRAME_SIZE != 0) return kBadFrame;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    if (!FrameIsWellFormed(data + off)) return kBadFrame;
  }
  std::lock_guard<std::mutex> lock(lock_);
  // The monitor closes connections that stay silent; find that out before
  // writing into a connection that is already gone.
  if (socket_ != net::kNoSocket && (host_ != host || port_ != port || net::PeerHasClosed(socket_)))
    DisconnectLocked(false);
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
    DisconnectLocked(false);
    return kSendFailed;
  }
  return static_cast<int>(size / NET_FRAME_SIZE);
}

void Station::Disconnect(bool graceful) {
  std::lock_guard<std::mutex> lock(lock_);
  DisconnectLocked(graceful);
}

void Station::DisconnectLocked(bool graceful) {
  if (socket_ == net::kNoSocket) return;
  if (graceful) {
    net::ShutdownSend(socket_);
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    unsigned char sink[256];
    for (;;) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      net::PollItem item{socket_, true};
      if (net::Poll(&item, 1, static_cast<int>(left)) <= 0) break;
      long n = net::Receive(socket_, sink, sizeof sink);
      if (n == net::kPeerClosed || n == net::kFailed) break;
    }
  }
  net::Close(socket_);
  socket_ = net::kNoSocket;
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

int Open(int channel, int mode, int port, int option) {
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
    ch->server = Server::Start(port, option > 0 ? option : kDefaultSilenceMs, &error);
    if (!ch->server) return error;
  } else {
    ch->station = std::make_unique<Station>(option > 0 ? option : kDefaultStationTimeoutMs);
  }
  slot = std::move(ch);
  return 1;
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
  if (ch->station) ch->station->Disconnect(true);
  return 1;
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
  return ch->server->OpenConnections();
}

void CloseAll() { TheRegistry().CloseAll(); }

}  // namespace pallix::transport
