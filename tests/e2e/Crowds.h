// Crowds - what a real station must get through, as the monitor was
// attacked: floods of real results from a pool of 64 addresses and from one,
// 300 connections from 20 addresses sending a tiny real result every 0.9 s,
// 300 held connections each sending a chunk of a never-ending transfer every
// 0.95 s, a flood beside a storm of connect-and-close connections from 200
// addresses, 17 real stations behind one address (a NAT), and a flood whose
// peers reset half their connections. The load test and the end-to-end
// benchmark run the same crowds. A real station sends from 127.0.0.2; the
// crowds never use that address.
#ifndef BRENNA_E2E_CROWDS_H
#define BRENNA_E2E_CROWDS_H

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Station.h"

class MonitorProcess;

enum class CrowdKind {
  kPoolFlood,
  kOneAddressFlood,
  kTinyTransfers,
  kNeverEnding,
  kAcceptStorm,
  kBehindOneAddress,
  kResettingFlood,
};

// Every kind, in the order the attacks ran.
std::vector<CrowdKind> AllCrowds();
const char* CrowdName(CrowdKind kind);

// A crowd against the monitor on `port`, running until destroyed.
class Crowd {
 public:
  // Builds the crowd's results with the monitor's brenna-send (false, with
  // the reason, when that fails) and starts it.
  bool Start(CrowdKind kind, MonitorProcess& m, std::string* error);
  ~Crowd();
  Crowd() = default;
  Crowd(const Crowd&) = delete;
  Crowd& operator=(const Crowd&) = delete;

  // Connections the monitor closed, and whole frames flooded, so far.
  long Closed() const;
  long FramesFlooded() const;
  // Results the stations behind one address had confirmed, of those sent.
  long StationsConfirmed() const { return m_confirmed.load(); }
  long StationsSent() const { return m_sent.load(); }

 private:
  std::vector<std::unique_ptr<HostilePeers>> m_peers;
  std::vector<std::thread> m_stations;
  std::atomic<bool> m_stop{false};
  std::atomic<long> m_confirmed{0};
  std::atomic<long> m_sent{0};
};

#endif  // BRENNA_E2E_CROWDS_H
