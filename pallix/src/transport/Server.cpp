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

void Server::Drop(Connection& c, Closing why) {
  ReportClose(c, why);
  net::Close(c.socket);
  c.socket = net::kNoSocket;
  c.open = false;
  c.have = 0;  // finished frames stay and are still delivered
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
