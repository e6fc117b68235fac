// The server's places: taking in every station as it comes, who waits for
// a place and who gets the next one, and making room: first from
// connections that do no work, then from the address that has had and
// holds the most.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "transport/Server.h"

namespace pallix::transport {

bool Server::WantsToAccept(Clock::time_point now) {
  if (now < acceptResumes_) return false;
  // Without room to wait (a process short of descriptors) a newcomer is
  // taken only into a place: it waits in the system's queue meanwhile,
  // nothing of it lost.
  return waitingLimit_ > 0 || connections_.size() < limit_ || GiveWayCandidate(now) != nullptr;
}

void Server::AcceptPending(Clock::time_point now) {
  // Bounded, so that a storm of connections cannot starve the readers; the
  // loop comes straight back while more wait.
  for (int i = 0; i < kAcceptsPerRound; ++i) {
    if (!WantsToAccept(now) || !AcceptOne(now)) break;
  }
  ActivateWaiting(now);
}

bool Server::AcceptOne(Clock::time_point now) {
  bool shortage = false;
  Waiting w;
  w.socket = net::Accept(listener_, &shortage, w.address, sizeof w.address, &w.port);
  if (w.socket == net::kNoSocket) {
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
  if (w.address[0] == '\0') {
    // The system no longer names its peer (it was reset before it was
    // taken in): nothing can come of it, and it must not count as an
    // address of its own.
    net::Close(w.socket);
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, nullptr, "address unknown",
                     "a connection whose address is unknown closed: it was reset before it was "
                     "taken in, and the system no longer names its peer");
    return true;
  }
  w.source = SourceOf(w.address, now);
  ++w.source->held;
  // Those taken in earlier go first; with none of them, a free place or
  // one that gives way takes the newcomer at once.
  if (waiting_.empty()) {
    Connection* room = connections_.size() < limit_ ? nullptr : GiveWayCandidate(now);
    if (connections_.size() < limit_ || room != nullptr) {
      if (room != nullptr) GiveWay(room, Closing::kGaveWay);
      Activate(w, now);
      return true;
    }
  }
  if (waiting_.size() < waitingLimit_) {
    waiting_.push_back(w);
  } else {
    WaitOrTurnAway(w, now);
  }
  return true;
}

void Server::WaitOrTurnAway(const Waiting& w, Clock::time_point now) {
  WorkOutStandings(now);
  const Source* highest = nullptr;
  for (const Waiting& other : waiting_)
    if (highest == nullptr || other.source->standing > highest->standing) highest = other.source;
  // It counts itself already: once it has taken the place its address
  // stands no higher than the other, so the two never take places from
  // each other in turn.
  if (highest != nullptr && highest != w.source && w.source->standing + 1 <= highest->standing &&
      DropNewestWaiting(highest)) {
    waiting_.push_back(w);
    return;
  }
  TurnAway(w);
}

void Server::Activate(const Waiting& w, Clock::time_point now) {
  auto c = std::make_unique<Connection>();
  c->socket = w.socket;
  std::snprintf(c->address, sizeof c->address, "%s", w.address);
  c->port = w.port;
  c->source = w.source;
  c->accepted = now;
  c->lastHeard = now;
  c->lastChunk = now;
  c->lastReceipt = now;
  c->lastProgress = now;
  PALLIX_LOG_EVENT(PALLIX_LOG_INFO, PALLIX_LOG_NET, PALLIX_EVENT_CONNECTION_OPENED, c->address,
                   nullptr, "station %s:%d connected (%zu of %zu places taken)", c->address,
                   c->port, connections_.size() + 1, limit_);
  connections_.push_back(std::move(c));
}

void Server::ActivateWaiting(Clock::time_point now) {
  while (!waiting_.empty()) {
    WorkOutStandings(now);
    // The address standing lowest first; of its connections the one
    // waiting longest (the deque keeps them oldest first).
    auto next = waiting_.begin();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
      if (it->source->standing < next->source->standing) next = it;
    if (connections_.size() >= limit_) {
      Connection* room = GiveWayCandidate(now);
      Closing why = Closing::kGaveWay;
      if (room == nullptr) {
        room = RoomByStanding(next->source);
        why = Closing::kShared;
      }
      if (room == nullptr) return;
      GiveWay(room, why);
    }
    const Waiting w = *next;
    waiting_.erase(next);
    Activate(w, now);
  }
}

bool Server::DropNewestWaiting(const Source* source) {
  for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
    if (source != nullptr && it->source != source) continue;
    const Waiting w = *it;
    waiting_.erase(std::next(it).base());
    net::Close(w.socket);
    if (w.source->held > 0) --w.source->held;
    if (source != nullptr) {
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, w.address, "gave way",
                       "connection from %s:%d closed unread to make room for a station of "
                       "another address: all %zu places and %zu waiting places were taken, and "
                       "%s had and held the most (%zu connections, %.0f frames lately): the "
                       "station must send again",
                       w.address, w.port, limit_, waiting_.size() + 1, w.address, w.source->held,
                       w.source->standing - static_cast<double>(w.source->held) - 1);
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

void Server::WorkOutStandings(Clock::time_point now) {
  for (auto& [address, source] : sources_)
    source.standing = Served(source, now) + static_cast<double>(source.held);
}

Server::Connection* Server::RoomByStanding(const Source* newcomer) {
  const Source* highest = nullptr;
  for (const auto& c : connections_)
    if (c->open && (highest == nullptr || c->source->standing > highest->standing))
      highest = c->source;
  // Two lower: once it has moved the newcomer's address stands no higher
  // than the other, so two addresses never take places from each other in
  // turn.
  if (highest == nullptr || highest == newcomer || newcomer->standing + 2 > highest->standing)
    return nullptr;
  // Of that address the connection that loses least: none of its frames
  // taken yet (nothing of its transfer written), the newest; never the one
  // whose frame is in hand, nor one closing already.
  Connection* best = nullptr;
  const auto better = [](const Connection& a, const Connection& b) {
    if ((a.taken == 0) != (b.taken == 0)) return a.taken == 0;
    return a.accepted > b.accepted;
  };
  for (const auto& c : connections_) {
    if (c->source != highest || !c->open || c->refused || c->inHand) continue;
    if (best == nullptr || better(*c, *best)) best = c.get();
  }
  if (best != nullptr) best->addressStanding = highest->standing;
  return best;
}

void Server::TurnAway(const Waiting& w) {
  net::Close(w.socket);
  if (w.source->held > 0) --w.source->held;
  PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, PALLIX_EVENT_CONNECTION_REFUSED, w.address,
                   "address holds the most",
                   "connection from %s:%d turned away unread: all %zu places and %zu waiting "
                   "places are taken, and its address has had and holds as much as any (%zu "
                   "connections, %.0f frames lately): the station must send again",
                   w.address, w.port, limit_, waiting_.size(), w.source->held,
                   w.source->standing - static_cast<double>(w.source->held) - 1);
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
  // A connection closed but not yet let go still points at its address.
  std::unordered_map<const Source*, bool> used;
  for (const auto& c : connections_) used[c->source] = true;
  for (auto it = sources_.begin(); it != sources_.end();) {
    // Below half a frame an address counts as never served.
    if (it->second.held == 0 && used.count(&it->second) == 0 && Served(it->second, now) < 0.5)
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
  // Every place busy with frames: only while frames are being taken (while
  // the spool holds them up nobody could be served anyway), a connection
  // makes room once it has had its place a while, so that no station waits
  // for the others' frames to drain. Its frames not yet taken go
  // unconfirmed. First one that has parked frames and sent nothing whole
  // since (the longest first), then one that keeps sending, held back, once
  // it has had its turns (the one that had most first).
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
