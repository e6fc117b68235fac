#include "Crowds.h"

#include "MonitorProcess.h"

namespace {

// Peers of one-frame real results, each connecting anew every 3.5 s: 1,600
// of them offer about 460 results a second, well above the 200 frames the
// monitor takes.
HostileMix Flood(const std::vector<std::string>& results, int sources) {
  HostileMix mix;
  mix.floods = 1600;
  mix.floodStreams = results;
  mix.floodCycle = std::chrono::milliseconds(3500);
  mix.sources = sources;
  return mix;
}

// 300 held connections, each sending `message` every `pause`, from
// `sources` addresses (0: 127.0.0.1).
HostileMix Held(const std::string& message, std::chrono::milliseconds pause, int sources) {
  HostileMix mix;
  mix.keepAlives = 300;
  mix.keepAlivePause = pause;
  mix.transferEvery = 1;
  mix.transfer = message;
  mix.sources = sources;
  return mix;
}

}  // namespace

std::vector<CrowdKind> AllCrowds() {
  return {CrowdKind::kPoolFlood,     CrowdKind::kOneAddressFlood, CrowdKind::kTinyTransfers,
          CrowdKind::kNeverEnding,   CrowdKind::kAcceptStorm,     CrowdKind::kBehindOneAddress,
          CrowdKind::kResettingFlood};
}

const char* CrowdName(CrowdKind kind) {
  switch (kind) {
    case CrowdKind::kPoolFlood:
      return "a flood of real results from 64 addresses";
    case CrowdKind::kOneAddressFlood:
      return "a flood of real results from one address";
    case CrowdKind::kTinyTransfers:
      return "300 connections of 20 addresses, a tiny real result every 0.9 s";
    case CrowdKind::kNeverEnding:
      return "300 held connections, a chunk of a never-ending transfer every 0.95 s";
    case CrowdKind::kAcceptStorm:
      return "a one-address flood and 300 connect-and-close a second from 200 addresses";
    case CrowdKind::kBehindOneAddress:
      return "17 real stations behind one address beside a flood from 32";
    case CrowdKind::kResettingFlood:
      return "a one-address flood resetting half its connections";
  }
  return "?";
}

bool Crowd::Start(CrowdKind kind, MonitorProcess& m, std::string* error) {
  std::vector<std::string> results;
  std::vector<std::string> descriptions;
  for (int k = 1; k <= 8; ++k) descriptions.push_back(SmallResult(25, std::to_string(k)));
  if (!m.Frames("crowd", descriptions, &results, error)) return false;
  const int port = m.port();
  auto start = [&](const HostileMix& mix) {
    m_peers.push_back(std::make_unique<HostilePeers>(port, mix));
  };
  switch (kind) {
    case CrowdKind::kPoolFlood:
      start(Flood(results, 64));
      break;
    case CrowdKind::kOneAddressFlood:
      start(Flood(results, 0));
      break;
    case CrowdKind::kTinyTransfers:
      start(Held(results.front(), std::chrono::milliseconds(900), 20));
      break;
    case CrowdKind::kNeverEnding: {
      // The first chunk of a transfer of many, sent again and again: it
      // never completes.
      std::vector<std::string> endless;
      if (!m.Frames("endless", {LargeResult(5, 60)}, &endless, error)) return false;
      start(Held(endless.front(), std::chrono::milliseconds(950), 0));
      break;
    }
    case CrowdKind::kAcceptStorm: {
      start(Flood(results, 0));
      HostileMix storm;
      storm.churn = 300;
      storm.sources = 200;
      start(storm);
      break;
    }
    case CrowdKind::kBehindOneAddress: {
      HostileMix flood = Flood(results, 32);
      flood.firstSource = 20;
      start(flood);
      std::vector<std::string> own;
      std::vector<std::string> theirs;
      for (int k = 1; k <= 17; ++k) theirs.push_back(SmallResult(11, std::to_string(100 + k)));
      if (!m.Frames("nat", theirs, &own, error)) return false;
      // Each station sends its result, waits for its receipt as the station
      // tool does, and sends again after a moment: a line of stations
      // behind one router.
      for (const std::string& frame : own) {
        m_stations.emplace_back([this, port, frame] {
          while (!m_stop) {
            const StreamOutcome out = SendAsStation(port, frame, "127.0.0.3");
            ++m_sent;
            if (out.closedByPeer && out.error.empty() && out.receipt == 1) ++m_confirmed;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
          }
        });
      }
      break;
    }
    case CrowdKind::kResettingFlood: {
      HostileMix mix = Flood(results, 0);
      mix.resetEvery = 2;
      start(mix);
      break;
    }
  }
  return true;
}

Crowd::~Crowd() {
  m_stop = true;
  for (std::thread& t : m_stations) t.join();
}

long Crowd::Closed() const {
  long n = 0;
  for (const auto& p : m_peers) n += p->Closed();
  return n;
}

long Crowd::FramesFlooded() const {
  long n = 0;
  for (const auto& p : m_peers) n += p->FramesFlooded();
  return n;
}
