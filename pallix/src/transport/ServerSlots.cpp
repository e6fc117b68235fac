// The server's slots: accepting stations, giving way to waiting ones, and
// sharing the slots by peer address when one address holds many.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "transport/Server.h"

namespace pallix::transport {

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

}  // namespace pallix::transport
