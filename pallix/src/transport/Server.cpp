#include "transport/Server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "transport/Receipts.h"

namespace pallix::transport {

namespace {

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

}  // namespace

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
  s->slots_ = SlotsFor(left);
  {
    // No other thread runs yet: held only because the analysis asks.
    PallixMutexLock lock(s->lock_);
    s->limit_ = s->slots_;
    s->waitingRoom_ = s->waitingLimit_ = WaitingRoomFor(left, s->slots_);
  }
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
  PallixMutexLock lock(lock_);
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
      PallixMutexLock lock(lock_);
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

    PallixMutexLock lock(lock_);
    HandlePolled(items, polled, now);
  }
}

Clock::duration Server::ListPollItems(Clock::time_point now, std::vector<net::PollItem>* items,
                                      std::vector<Connection*>* polled) {
  Clock::duration wait = std::chrono::seconds(1);
  if (limit_ < slots_ && now >= limitRestores_) {
    limit_ = slots_;
    waitingLimit_ = waitingRoom_;
    PALLIX_LOG(PALLIX_LOG_INFO, PALLIX_LOG_NET, "holding up to %zu station connections again",
               slots_);
  }
  items->push_back(net::PollItem{waker_.Handle(), true});
  // The system's queue of pending connections is taken in as it comes
  // (unless accepting rests after a shortage of descriptors): a station
  // that waits there is seen at once, whatever holds the places.
  const bool accepting = WantsToAccept(now);
  items->push_back(net::PollItem{listener_, accepting});
  if (now < acceptResumes_) wait = std::min(wait, acceptResumes_ - now);
  for (auto& c : connections_) {
    if (WaitingOnUs(*c)) wait = std::min(wait, c->lastReceipt + kProgressInterval - now);
    // A connection whose frames are not taken is not read: flow control
    // holds its station back, and it does not count as silent.
    if (!Reading(*c) || HeldBack(*c)) continue;
    items->push_back(net::PollItem{c->socket, true});
    polled->push_back(c.get());
    wait = std::min(wait, c->lastHeard + silence_ - now);
    if (c->have > 0) wait = std::min(wait, c->frameStarted + frameDeadline_ - now);
    // While the listener rests for want of room, it is watched again once
    // a connection may give way.
    if (accepting) continue;
    const Clock::time_point quiet = c->lastHeard + std::chrono::milliseconds(kGiveWayQuietMs);
    if (c->chunks == 0 && quiet > now) wait = std::min(wait, quiet - now);
    const Clock::time_point idle = c->lastChunk + std::chrono::milliseconds(kGiveWayIdleMs);
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
  for (auto& c : connections_) Watch(*c, now);
  // Descriptors given back after a shortage: those waiting go first, then
  // beyond the lowered limit connections that may give way.
  while (waiting_.size() > waitingLimit_) DropNewestWaiting(nullptr);
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

// A full house is worth one line: stations beyond it wait, taken in but
// unread. Said again once it has emptied by a good margin.
void Server::ReportFullHouse() {
  if (!fullReported_ && connections_.size() >= limit_) {
    fullReported_ = true;
    PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_NET,
               "all %zu connection places are taken: further stations wait, taken in but "
               "unread, until one closes or gives way (one without a whole file chunk for "
               "%.1f s first, then one of the address that has had and holds the most)",
               limit_, kGiveWayIdleMs / 1000.0);
  } else if (fullReported_ && connections_.size() + kSpareDescriptors <= limit_) {
    fullReported_ = false;
  }
}

void Server::ReadFrom(Connection& c, Clock::time_point now) {
  for (;;) {
    // Never take in more than the free frame places can hold.
    const std::size_t budget = (kMaxQueuedFrames - c.frames.size()) * NET_FRAME_SIZE - c.have;
    if (budget == 0) return;
    long n = net::Receive(c.socket, scratch_.data(), std::min(budget, scratch_.size()));
    if (n == net::kWouldBlock) return;
    if (n == net::kPeerClosed) {
      // The station has finished: its partial frame goes; the connection is
      // confirmed and closed once its frames are handled (Watch).
      c.stationDone = true;
      c.partialDropped = c.have;
      c.have = 0;
      c.lastProgress = now;
      return;
    }
    if (n < 0) {
      // Reset: the station gave up on what it sent (or never was one), so
      // nothing of it not yet handled is written; it was told nothing.
      GiveUp(c);
      Drop(c, Closing::kBroken);
      return;
    }
    c.lastHeard = now;
    c.lastProgress = now;
    TakeInBytes(c, scratch_.data(), static_cast<std::size_t>(n), now);
    if (!Reading(c)) return;
  }
}

void Server::TakeInBytes(Connection& c, const unsigned char* p, std::size_t left,
                         Clock::time_point now) {
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

void Server::Refuse(Connection& c, Closing why) {
  // The stream has lost its alignment, or was never ours: nothing more of
  // it is read. Frames that came whole before are still written, and the
  // station hears so before the close, so it need not send them again.
  ReportClose(c, why);
  c.refused = true;
  c.have = 0;
  if (c.received == 0) CloseSocket(c);
}

void Server::Drop(Connection& c, Closing why) {
  ReportClose(c, why);
  CloseSocket(c);
  c.have = 0;  // finished frames stay and are still delivered, unless given up
}

void Server::CloseSocket(Connection& c) {
  if (!c.open) return;
  net::Close(c.socket);
  c.socket = net::kNoSocket;
  c.open = false;
  if (c.source != nullptr && c.source->held > 0) --c.source->held;
}

bool Server::TakeFrame(unsigned char* out) {
  bool wake = false;
  bool found = false;
  {
    PallixMutexLock lock(lock_);
    const Clock::time_point now = Clock::now();
    // The reader asks again only once it has handled the frame it took last
    // (written it to the spool): that frame's connection may now be
    // confirmed and closed.
    if (inHand_ != nullptr) {
      Connection& h = *inHand_;
      h.inHand = false;
      inHand_ = nullptr;
      if (h.rejectPending) {
        h.rejectPending = false;
        ++h.rejected;
      }
      if (h.frames.empty() && (!h.open || h.stationDone || h.refused)) wake = true;
    }
    Connection* next = NextToServe(now, &wake);
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
    PallixMutexLock lock(lock_);
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

bool Server::RejectTaken() {
  PallixMutexLock lock(lock_);
  if (inHand_ == nullptr) return false;
  // Handled like any other once the reader asks again, but its station
  // hears that it was refused, not delivered (Receipts.cpp): it must not
  // send it again.
  inHand_->rejectPending = true;
  return true;
}

int Server::FramePeer(char* address, std::size_t size, int* port) {
  PallixMutexLock lock(lock_);
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
  PallixMutexLock lock(lock_);
  for (auto& c : connections_)
    if (c->port == port && std::strcmp(c->address, address) == 0) return true;
  for (const Waiting& w : waiting_)
    if (w.port == port && std::strcmp(w.address, address) == 0) return true;
  return false;
}

int Server::QueuedFrames(const char* address, int port) {
  PallixMutexLock lock(lock_);
  int n = 0;
  for (auto& c : connections_)
    if (c->port == port && std::strcmp(c->address, address) == 0)
      n += static_cast<int>(c->frames.size());
  return n;
}

int Server::SendingConnections() {
  PallixMutexLock lock(lock_);
  int n = 0;
  for (auto& c : connections_)
    if (Reading(*c)) ++n;
  return n;
}

int Server::Limit() {
  PallixMutexLock lock(lock_);
  return static_cast<int>(limit_);
}

int Server::AcceptShortages() {
  PallixMutexLock lock(lock_);
  return shortages_;
}

}  // namespace pallix::transport
