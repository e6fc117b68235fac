// The order of service: whose frame the reader takes next, and whether the
// station behind it still waits for it.
#include <chrono>

#include "transport/Receipts.h"
#include "transport/Server.h"

namespace pallix::transport {

Server::Connection* Server::NextToServe(Clock::time_point now, bool* wake) {
  WorkOutStandings(now);
  // The station that has had least goes first: by address, the one that
  // has had and holds least (frames taken lately, halving every
  // kServedHalfLifeMs, and its connections), then the one served longest
  // ago; so a station that has sent little is served before the next frame
  // of an address, or a pool of them, that has sent thousands or holds
  // hundreds of connections, and one flooding address takes no more than
  // its turn. Within an address, a connection whose station has finished
  // sending comes before those still sending, the one with the fewest
  // frames left first (serving it confirms a whole exchange); of the
  // others the one that has had fewest taken, one never served first, so a
  // station's few frames never wait behind another's many.
  const auto before = [](const Connection& a, const Connection& b) {
    if (a.source != b.source) {
      if (a.source->standing != b.source->standing) return a.source->standing < b.source->standing;
      if (a.source->lastServed != b.source->lastServed)
        return a.source->lastServed < b.source->lastServed;
    }
    const bool aEnding = a.stationDone || a.refused, bEnding = b.stationDone || b.refused;
    if (aEnding != bEnding) return aEnding;
    if (aEnding && a.frames.size() != b.frames.size()) return a.frames.size() < b.frames.size();
    if (a.taken != b.taken) return a.taken < b.taken;
    return a.accepted < b.accepted;
  };
  Connection* next = nullptr;
  for (auto& c : connections_) {
    if (c->frames.empty() || c->gaveUp || (next != nullptr && !before(*c, *next))) continue;
    if (StillWanted(*c, now, wake)) next = c.get();
  }
  return next;
}

bool Server::StillWanted(Connection& c, Clock::time_point now, bool* wake) {
  if (c.probedAt == Clock::time_point()) {
    // Fresh enough: its station has had a sign within the time any station
    // waits at least. A station that waits only on us and has had none
    // for longer may have given up and be sending again (it cannot tell
    // what became of them): it is asked first, so that what it gave up on
    // is never written behind its back.
    if (!WaitingOnUs(c) || now - c.lastProgress < std::chrono::milliseconds(kStaleAfterMs))
      return true;
    if (!c.probeWanted) {
      c.probeWanted = true;
      *wake = true;
    }
    return false;
  }
  switch (net::Answered(c.socket)) {
    case net::Answer::kGone:
      GiveUp(c);
      *wake = true;
      return false;
    case net::Answer::kYes:
      break;
    case net::Answer::kUnknown:
      // The system cannot tell (Windows): no reset within the grace is an
      // answer.
      if (now - c.probedAt < std::chrono::milliseconds(kProbeGraceMs)) return false;
      break;
    case net::Answer::kNotYet:
      // A station that does not take in a receipt for so long is not there.
      if (now - c.probedAt >= std::chrono::milliseconds(kStaleAfterMs)) {
        GiveUp(c);
        *wake = true;
      }
      return false;
  }
  c.probedAt = Clock::time_point();
  c.lastProgress = now;
  return true;
}

int Server::InHandWanted() {
  bool wake = false;
  int wanted = 1;
  {
    PallixMutexLock lock(lock_);
    if (inHand_ != nullptr && (inHand_->gaveUp || !StillWanted(*inHand_, Clock::now(), &wake)))
      wanted = inHand_->gaveUp ? 0 : 2;
  }
  if (wake) waker_.Signal();
  return wanted;
}

void Server::Probe(Connection& c, Clock::time_point now) {
  // The receipt it would get now, its count unchanged: a station reads and
  // drops it, one whose socket is closed answers with a reset.
  c.probeWanted = false;
  c.probedAt = now;
  const Frame receipt = ReceiptFrame(Confirmed(c), c.rejected);
  if (c.receiptsBroken ||
      net::Send(c.socket, receipt.data(), receipt.size()) != static_cast<long>(receipt.size()))
    GiveUp(c);
}

void Server::GiveUp(Connection& c) {
  // Nothing of it not yet taken is written: its station was told nothing
  // of those frames and sends them again.
  c.gaveUp = true;
  c.framesDropped = c.frames.size();
  c.received -= static_cast<std::uint32_t>(c.frames.size());
  c.frames.clear();
}

}  // namespace pallix::transport
