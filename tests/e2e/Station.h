// Station - what the end-to-end tests do on the station side of the wire:
// wait for the monitor's listener, send raw bytes over one connection the
// way a station does, and take apart or alter the frames brenna-send wrote.
#ifndef BRENNA_E2E_STATION_H
#define BRENNA_E2E_STATION_H

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"

// Waits until 127.0.0.1:port accepts a connection, and then (up to 5 s)
// until the listener has closed that probe again. Gives up when `limit`
// passes or when `program` (may be null) ends meanwhile.
bool WaitForListener(int port, ChildProcess* program, std::chrono::milliseconds limit,
                     std::string* error);

// Starts a program that listens on `port` (brenna-web) and waits for it as
// WaitForListener does; false with the reason, and what it printed to
// options.logPath so far, in *error.
bool StartListening(ChildProcess* program, const std::vector<std::string>& argv,
                    const ChildProcess::Options& options, int port, std::chrono::milliseconds limit,
                    std::string* error);

struct StreamOutcome {
  bool connected = false;
  size_t bytesSent = 0;       // accepted by the local TCP stack
  bool closedByPeer = false;  // the monitor ended the connection (EOF or reset)
  long receipt = -1;          // frames the monitor's last receipt confirmed; -1: none came
  long refused = 0;           // and said were refused for good
  std::string error;          // what went wrong, if anything
};

// Connects to 127.0.0.1:port, sends `bytes`, half-closes and waits (at most
// `limit`) until the monitor closes the connection, which it does once it
// has handled every frame (after its receipt) or, for a bad stream, at
// once.
// With `piece` > 0 the bytes go out in pieces of that size, each pushed out
// at once and followed by `pause`, so the monitor receives them piecemeal.
StreamOutcome SendStream(int port, const std::string& bytes, std::chrono::milliseconds limit,
                         size_t piece = 0,
                         std::chrono::milliseconds pause = std::chrono::milliseconds(0));

// A station as brenna-send is one: it sends from `source` (a loopback
// address of its own, "127.0.0.2", or empty for 127.0.0.1), half-closes and
// waits for the monitor's receipts, giving up once `patience` passes
// without the monitor taking a byte or a receipt raising the count (the
// station tool's 5 s). The outcome's receipt says what was confirmed.
StreamOutcome SendAsStation(int port, const std::string& bytes, const std::string& source,
                            std::chrono::milliseconds patience = std::chrono::seconds(5));

// A station that connects, sends some bytes and then holds its connection
// open without a word until it is destroyed.
class SilentStation {
 public:
  SilentStation(int port, const std::string& bytes);
  ~SilentStation();
  SilentStation(const SilentStation&) = delete;
  SilentStation& operator=(const SilentStation&) = delete;
  bool ok() const { return m_ok; }

 private:
  int m_fd = -1;
  bool m_ok = false;
};

// The kinds of hostile peer and how many of each (HostilePeers).
struct HostileMix {
  int trickles = 0;   // send a frame but its last byte, one byte every tricklePause
  int squatters = 0;  // send nothing
  int garbage = 0;    // send random bytes
  // Send one whole frame at once, then the next one a byte every
  // tricklePause, never its last.
  int frameThenTrickle = 0;
  // Send floodFrames whole frames as fast as the monitor takes them, then
  // (floodEnds) end their sending direction and wait for the close, or stay
  // connected without a word until closed: stations that never stop
  // sending results. With floodStreams, flooding peer k sends
  // floodStreams[k % n] instead (real results, say). With floodCycle,
  // each flooding peer connects anew once every floodCycle, whether or not
  // the monitor has closed its last connection (which it then leaves): n
  // peers offer n / floodCycle connections a second, whatever the
  // monitor's pace.
  int floods = 0;
  int floodFrames = 16;
  bool floodEnds = true;
  std::vector<std::string> floodStreams;
  std::chrono::milliseconds floodCycle{0};
  // Send a whole keep-alive frame (command 0) at once and then every
  // keepAlivePause, never ending; with transferEvery > 0 every
  // transferEvery-th of them is `transfer` instead (a tiny real result).
  int keepAlives = 0;
  std::chrono::milliseconds keepAlivePause{900};
  int transferEvery = 0;
  std::string transfer;
  // A flooding peer resets every resetEvery-th of its connections once it
  // has sent its frames (a linger of 0), instead of ending properly.
  int resetEvery = 0;
  // Connect and close at once, then again after churnPause: a storm on the
  // system's queue of pending connections.
  int churn = 0;
  std::chrono::milliseconds churnPause{1000};
  std::chrono::milliseconds tricklePause{3000};
  // With sources > 0, peer k connects from 127.0.0.(firstSource + k %
  // sources) instead of 127.0.0.1: a pool of addresses.
  int sources = 0;
  int firstSource = 10;
};

// Hostile peers, from 127.0.0.1 unless given a pool of addresses, driven by
// a thread of their own until destroyed. Each connects again as soon as the
// monitor closes it (a garbage sender after 50 ms). Their frames are well
// formed but name no transfer, so nothing of them reaches the spool
// directory, unless the mix gives them real results to send.
class HostilePeers {
 public:
  HostilePeers(int port, const HostileMix& mix);
  // `trickles` trickling, `squatters` silent and `garbage` garbage peers.
  HostilePeers(int port, int trickles, int squatters, int garbage,
               std::chrono::milliseconds tricklePause);
  ~HostilePeers();
  HostilePeers(const HostilePeers&) = delete;
  HostilePeers& operator=(const HostilePeers&) = delete;
  // How often the monitor has closed one of them so far.
  long Closed() const;
  // Whole frames the flooding peers have sent so far.
  long FramesFlooded() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The 2072-byte frames of a frames file, in file order; empty when the
// length is not a whole number of frames.
std::vector<std::string> SplitFrames(const std::string& bytes);
// The frame's transfer name replaced (raw bytes, at most 99).
std::string WithTransferName(const std::string& frame, const std::string& name);
// The chunk's fields of a file-chunk frame.
int ChunkIndex(const std::string& frame);
int ChunkTotal(const std::string& frame);
std::string TransferName(const std::string& frame);

// `length` characters of letters and digits from a fixed-seed generator:
// values that do not compress, so a record of them spans several chunks.
std::string IncompressibleText(unsigned seed, size_t length);

#endif  // BRENNA_E2E_STATION_H
