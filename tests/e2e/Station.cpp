#include "Station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

#include "ChildProcess.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

// Makes `s` connect from a loopback address of its own (127.0.0.x).
bool BindSource(int s, const std::string& source) {
  sockaddr_in from{};
  from.sin_family = AF_INET;
  return inet_pton(AF_INET, source.c_str(), &from.sin_addr) == 1 &&
         bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
}

int ConnectLoopback(int port, const std::string& source = std::string()) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  if (!source.empty() && !BindSource(s, source)) {
    close(s);
    return -1;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(s);
    return -1;
  }
  return s;
}

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

const unsigned char* Chunk(const std::string& frame) {
  return reinterpret_cast<const unsigned char*>(frame.data()) + NET_FRAME_DATA_OFFSET;
}

}  // namespace

bool WaitForListener(int port, ChildProcess* program, std::chrono::milliseconds limit,
                     std::string* error) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const int s = ConnectLoopback(port);
    if (s >= 0) {
      // Leave nothing behind in the listener: it closes a station that ends
      // its side without a frame, and a count of its sockets taken right
      // after this must not include the probe.
      shutdown(s, SHUT_WR);
      pollfd p{s, POLLIN, 0};
      char byte;
      const auto closedBy = Clock::now() + std::chrono::seconds(5);
      while (poll(&p, 1, MillisLeft(closedBy)) > 0 && recv(s, &byte, 1, 0) > 0) {
      }
      close(s);
      return true;
    }
    if (program != nullptr && !program->Running()) {
      *error = "the monitor ended before it listened (" + program->Describe() + ")";
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "nothing listened on port " + std::to_string(port) + " within " +
               std::to_string(limit.count()) + " ms";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool StartListening(ChildProcess* program, const std::vector<std::string>& argv,
                    const ChildProcess::Options& options, int port, std::chrono::milliseconds limit,
                    std::string* error) {
  if (program->Start(argv, options, error) && WaitForListener(port, program, limit, error))
    return true;
  if (!options.logPath.empty())
    *error += "\n" + argv.front() + " printed:\n" + ReadFileBytes(options.logPath);
  return false;
}

namespace {

// How a stream is sent: at once or piece by piece, from which address, and
// how long it may take.
struct StreamPlan {
  std::chrono::milliseconds limit{0};  // in all (patience 0), or without progress
  size_t piece = 0;
  std::chrono::milliseconds pause{0};
  std::string source;
  bool patience = false;  // `limit` counts from the last progress, as at a station
};

// The count of the last well-formed receipt among whole frames of `answer`
// from `*parsed` on, and what it says was refused for good; -1 when there
// is none.
long ReceiptIn(const std::string& answer, size_t* parsed, long* refused) {
  long count = -1;
  for (; *parsed + NET_FRAME_SIZE <= answer.size(); *parsed += NET_FRAME_SIZE) {
    const auto* f = reinterpret_cast<const unsigned char*>(answer.data()) + *parsed;
    if (PallixGetU32(f + NET_FRAME_MAGIC_OFFSET) != NET_FRAME_MAGIC ||
        PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_RECEIPT ||
        PallixGetU32(f + NET_FRAME_TRAILER_OFFSET) != NET_FRAME_TRAILER)
      continue;
    count = PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET);
    if (PallixGetU32(f + NET_FRAME_LENGTH_OFFSET) >= NET_RECEIPT_REJECTED_LENGTH)
      *refused = PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_REJECTED_OFFSET);
  }
  return count;
}

StreamOutcome Stream(int port, const std::string& bytes, const StreamPlan& plan) {
  StreamOutcome out;
  auto deadline = Clock::now() + plan.limit;
  const auto progress = [&] {
    if (plan.patience) deadline = Clock::now() + plan.limit;
  };
  const int s = ConnectLoopback(port, plan.source);
  if (s < 0) {
    out.error = std::string("connect: ") + std::strerror(errno);
    return out;
  }
  out.connected = true;
  progress();
  if (plan.piece > 0) {
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  // Sending waits for room (the monitor's flow control holds a station
  // back); a peer that has gone shows as an error, not a signal.
  while (out.bytesSent < bytes.size()) {
    pollfd p{s, POLLOUT, 0};
    if (poll(&p, 1, MillisLeft(deadline)) <= 0) {
      out.error = "send stalled";
      break;
    }
    size_t chunk = bytes.size() - out.bytesSent;
    if (plan.piece > 0) chunk = std::min(chunk, plan.piece);
    const ssize_t n = send(s, bytes.data() + out.bytesSent, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      out.error = std::string("send: ") + std::strerror(errno);
      out.closedByPeer = errno == EPIPE || errno == ECONNRESET;
      break;
    }
    out.bytesSent += static_cast<size_t>(n);
    progress();
    if (plan.piece > 0 && plan.pause.count() > 0) std::this_thread::sleep_for(plan.pause);
  }
  if (!out.closedByPeer) {
    shutdown(s, SHUT_WR);
    // The monitor sends receipts, nothing else: receipts of progress, then
    // the last one, which counts everything.
    std::string answer;
    size_t parsed = 0;
    char sink[4096];
    for (;;) {
      pollfd p{s, POLLIN, 0};
      if (poll(&p, 1, MillisLeft(deadline)) <= 0) {
        if (out.error.empty()) out.error = "the monitor did not close the connection";
        break;
      }
      const ssize_t n = recv(s, sink, sizeof sink, 0);
      if (n == 0 || (n < 0 && errno == ECONNRESET)) {
        out.closedByPeer = true;
        break;
      }
      if (n < 0 && errno != EINTR && errno != EAGAIN) {
        out.error = std::string("recv: ") + std::strerror(errno);
        break;
      }
      if (n > 0 && answer.size() < (1u << 20)) answer.append(sink, static_cast<size_t>(n));
      const long refusedBefore = out.refused;
      const long count = ReceiptIn(answer, &parsed, &out.refused);
      if (count > out.receipt || out.refused > refusedBefore) {
        out.receipt = std::max(out.receipt, count);
        progress();
      }
    }
  }
  close(s);
  return out;
}

}  // namespace

StreamOutcome SendStream(int port, const std::string& bytes, std::chrono::milliseconds limit,
                         size_t piece, std::chrono::milliseconds pause) {
  StreamPlan plan;
  plan.limit = limit;
  plan.piece = piece;
  plan.pause = pause;
  return Stream(port, bytes, plan);
}

StreamOutcome SendAsStation(int port, const std::string& bytes, const std::string& source,
                            std::chrono::milliseconds patience) {
  StreamPlan plan;
  plan.limit = patience;
  plan.source = source;
  plan.patience = true;
  return Stream(port, bytes, plan);
}

struct HostilePeers::Impl {
  enum class Kind { kTrickle, kSquatter, kGarbage, kFrameThenTrickle, kFlood, kKeepAlive, kChurn };
  struct Peer {
    Kind kind;
    int fd = -1;
    size_t sent = 0;                   // bytes of what it sends, sent so far
    bool ended = false;                // flood: its sending direction is ended
    Clock::time_point next;            // when it next sends (or reconnects)
    int number = 0;                    // its place among the peers
    const std::string* out = nullptr;  // keep-alive: the message being sent
    int messages = 0;                  // keep-alive: messages begun on this connection
    Clock::time_point cycleEnd;        // flood with a cycle: when it connects anew
    long connections = 0;              // made so far
  };

  int port;
  HostileMix mix;
  std::vector<Peer> peers;
  std::atomic<bool> stop{false};
  std::atomic<long> closed{0};
  std::atomic<long> flooded{0};
  std::string frame;      // well formed, naming no transfer
  std::string flood;      // mix.floodFrames of them
  std::string keepAlive;  // a whole frame of command 0
  std::mt19937 rng{7};
  std::thread thread;

  void Connect(Peer& p, Clock::time_point now) {
    p.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    p.sent = 0;
    p.ended = false;
    p.next = now;
    p.out = nullptr;
    p.messages = 0;
    p.cycleEnd = now + mix.floodCycle;
    ++p.connections;
    if (p.fd < 0) return;
    if (mix.sources > 0 &&
        !BindSource(p.fd, "127.0.0." + std::to_string(mix.firstSource + p.number % mix.sources))) {
      close(p.fd);
      p.fd = -1;
      return;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    // Not waiting for the handshake: a full queue of pending connections
    // makes the system retry it by itself.
    connect(p.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }

  const std::string& FloodOf(const Peer& p) const {
    if (mix.floodStreams.empty()) return flood;
    return mix.floodStreams[static_cast<size_t>(p.number) % mix.floodStreams.size()];
  }

  // Sends as much of `bytes` from p.sent on as the connection takes now.
  void Push(Peer& p, const std::string& bytes) {
    while (p.sent < bytes.size()) {
      const ssize_t n =
          send(p.fd, bytes.data() + p.sent, bytes.size() - p.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0) return;
      const size_t before = p.sent / NET_FRAME_SIZE;
      p.sent += static_cast<size_t>(n);
      if (p.kind == Kind::kFlood) flooded += static_cast<long>(p.sent / NET_FRAME_SIZE - before);
    }
  }

  // A flooding peer: its frames as fast as they are taken, then the end of
  // its sending direction (or a reset, or silence), connecting anew each
  // cycle.
  void ActFlood(Peer& p, Clock::time_point now) {
    if (mix.floodCycle.count() > 0 && now >= p.cycleEnd) {
      close(p.fd);  // left as it is: its frames may still be taken
      Connect(p, now);
      return;
    }
    const std::string& stream = FloodOf(p);
    Push(p, stream);
    if (p.sent == stream.size() && mix.resetEvery > 0 && p.connections % mix.resetEvery == 0) {
      const linger now0{1, 0};
      setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &now0, sizeof now0);
      close(p.fd);
      p.fd = -1;
      ++closed;
      p.next = now + std::chrono::milliseconds(5);
      return;
    }
    if (p.sent == stream.size() && !p.ended) {
      if (mix.floodEnds) shutdown(p.fd, SHUT_WR);
      p.ended = true;
    }
    p.next = now + std::chrono::milliseconds(p.ended ? 1000 : 5);
  }

  void Act(Peer& p, Clock::time_point now) {
    if (p.fd < 0) {
      if (now >= p.next) Connect(p, now);
      return;
    }
    if (now < p.next) return;
    const size_t oneFrame = frame.size();
    switch (p.kind) {
      case Kind::kFrameThenTrickle:
        // The whole first frame at once, then the second byte by byte.
        if (p.sent < oneFrame) {
          Push(p, frame);
          p.next = now + std::chrono::milliseconds(p.sent < oneFrame ? 20 : 0);
          return;
        }
        [[fallthrough]];
      case Kind::kTrickle: {
        // Never the last byte: the frame is never complete.
        const size_t start = p.kind == Kind::kTrickle ? 0 : oneFrame;
        if (p.sent - start + 1 < oneFrame) {
          // Until the handshake is done nothing goes out; try again later.
          if (send(p.fd, frame.data() + (p.sent - start), 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1)
            ++p.sent;
        }
        p.next = now + mix.tricklePause;
        return;
      }
      case Kind::kGarbage:
        if (p.sent == 0) {
          char noise[256];
          for (char& c : noise) c = static_cast<char>(rng());
          noise[0] = 0x01;  // certainly not a frame's magic
          if (send(p.fd, noise, sizeof noise, MSG_NOSIGNAL | MSG_DONTWAIT) > 0) p.sent = 1;
          p.next = now + std::chrono::milliseconds(20);
          return;
        }
        break;
      case Kind::kFlood:
        ActFlood(p, now);
        return;
      case Kind::kKeepAlive:
        // A whole message at a time: a keep-alive, or now and then a tiny
        // real transfer.
        if (p.out == nullptr || p.sent == p.out->size()) {
          ++p.messages;
          const bool real = mix.transferEvery > 0 && p.messages % mix.transferEvery == 0;
          p.out = real ? &mix.transfer : &keepAlive;
          p.sent = 0;
        }
        Push(p, *p.out);
        p.next =
            now + (p.sent == p.out->size() ? mix.keepAlivePause : std::chrono::milliseconds(20));
        return;
      case Kind::kChurn:
        // Connected a moment ago (the handshake is done by now): closed at
        // once, and back after the pause.
        close(p.fd);
        p.fd = -1;
        ++closed;
        p.next = now + mix.churnPause;
        return;
      case Kind::kSquatter:
        break;
    }
    p.next = now + std::chrono::seconds(1);
  }

  void Run() {
    std::vector<pollfd> fds;
    while (!stop) {
      Clock::time_point now = Clock::now();
      for (Peer& p : peers) Act(p, now);
      fds.clear();
      for (const Peer& p : peers) fds.push_back(pollfd{p.fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 5) < 0 && errno != EINTR) break;
      now = Clock::now();
      for (size_t i = 0; i < peers.size(); ++i) {
        Peer& p = peers[i];
        if (p.fd < 0 || (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) == 0) continue;
        char sink[4096];
        const ssize_t n = recv(p.fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) continue;
        // Closed by the monitor (or refused): come back.
        close(p.fd);
        p.fd = -1;
        ++closed;
        p.next = p.kind == Kind::kGarbage ? now + std::chrono::milliseconds(50)
                 : p.kind == Kind::kFlood && mix.floodCycle.count() > 0 ? std::max(now, p.cycleEnd)
                                                                        : now;
      }
    }
    for (Peer& p : peers)
      if (p.fd >= 0) close(p.fd);
  }
};

HostilePeers::HostilePeers(int port, int trickles, int squatters, int garbage,
                           std::chrono::milliseconds tricklePause)
    : HostilePeers(port, [&] {
        HostileMix mix;
        mix.trickles = trickles;
        mix.squatters = squatters;
        mix.garbage = garbage;
        mix.tricklePause = tricklePause;
        return mix;
      }()) {}

HostilePeers::HostilePeers(int port, const HostileMix& mix) : m_impl(std::make_unique<Impl>()) {
  m_impl->port = port;
  m_impl->mix = mix;
  // A well-formed frame, so the monitor cannot tell its bytes from a
  // station's; its chunk names no transfer.
  m_impl->frame.assign(NET_FRAME_SIZE, '\0');
  auto* h = reinterpret_cast<unsigned char*>(m_impl->frame.data());
  PallixPutU32(h + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(h + NET_FRAME_COMMAND_OFFSET, NET_CMD_FILE_CHUNK);
  PallixPutU32(h + NET_FRAME_LENGTH_OFFSET, NET_FRAME_DATA_SIZE);
  PallixPutU32(h + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  for (int i = 0; i < mix.floodFrames; ++i) m_impl->flood += m_impl->frame;
  m_impl->keepAlive.assign(NET_FRAME_SIZE, '\0');
  auto* k = reinterpret_cast<unsigned char*>(m_impl->keepAlive.data());
  PallixPutU32(k + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(k + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  const Clock::time_point now = Clock::now();
  using Kind = Impl::Kind;
  // The trickles first, so that they are the ones in the monitor's slots.
  for (const auto& [kind, count] :
       {std::pair{Kind::kTrickle, mix.trickles},
        std::pair{Kind::kFrameThenTrickle, mix.frameThenTrickle},
        std::pair{Kind::kFlood, mix.floods}, std::pair{Kind::kKeepAlive, mix.keepAlives},
        std::pair{Kind::kSquatter, mix.squatters}, std::pair{Kind::kGarbage, mix.garbage},
        std::pair{Kind::kChurn, mix.churn}})
    for (int i = 0; i < count; ++i) {
      Impl::Peer p;
      p.kind = kind;
      p.next = now;
      p.number = static_cast<int>(m_impl->peers.size());
      m_impl->peers.push_back(p);
    }
  for (Impl::Peer& p : m_impl->peers) m_impl->Connect(p, now);
  m_impl->thread = std::thread([impl = m_impl.get()] { impl->Run(); });
}

HostilePeers::~HostilePeers() {
  m_impl->stop = true;
  m_impl->thread.join();
}

long HostilePeers::Closed() const { return m_impl->closed.load(); }

long HostilePeers::FramesFlooded() const { return m_impl->flooded.load(); }

SilentStation::SilentStation(int port, const std::string& bytes) {
  m_fd = ConnectLoopback(port);
  if (m_fd < 0) return;
  m_ok = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

SilentStation::~SilentStation() {
  if (m_fd >= 0) close(m_fd);
}

std::vector<std::string> SplitFrames(const std::string& bytes) {
  std::vector<std::string> frames;
  if (bytes.size() % NET_FRAME_SIZE != 0) return frames;
  for (size_t off = 0; off < bytes.size(); off += NET_FRAME_SIZE)
    frames.push_back(bytes.substr(off, NET_FRAME_SIZE));
  return frames;
}

std::string WithTransferName(const std::string& frame, const std::string& name) {
  std::string out = frame;
  char* field = out.data() + NET_FRAME_DATA_OFFSET + FILE_CHUNK_NAME_OFFSET;
  std::memset(field, 0, FILE_CHUNK_NAME_SIZE);
  std::memcpy(field, name.data(), std::min<size_t>(name.size(), FILE_CHUNK_NAME_SIZE - 1));
  return out;
}

int ChunkIndex(const std::string& frame) {
  return PallixGetI16(Chunk(frame) + FILE_CHUNK_INDEX_OFFSET);
}

int ChunkTotal(const std::string& frame) {
  return PallixGetI16(Chunk(frame) + FILE_CHUNK_TOTAL_OFFSET);
}

std::string TransferName(const std::string& frame) {
  const char* name = reinterpret_cast<const char*>(Chunk(frame) + FILE_CHUNK_NAME_OFFSET);
  return std::string(name, strnlen(name, FILE_CHUNK_NAME_SIZE));
}

std::string IncompressibleText(unsigned seed, size_t length) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kAlphabet) - 2);
  std::string out(length, ' ');
  for (char& c : out) c = kAlphabet[pick(rng)];
  return out;
}
