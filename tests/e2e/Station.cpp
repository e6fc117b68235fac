#include "Station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

#include "ChildProcess.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"

namespace {

using Clock = std::chrono::steady_clock;

int ConnectLoopback(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
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

StreamOutcome SendStream(int port, const std::string& bytes, std::chrono::milliseconds limit,
                         size_t piece, std::chrono::milliseconds pause) {
  StreamOutcome out;
  const auto deadline = Clock::now() + limit;
  const int s = ConnectLoopback(port);
  if (s < 0) {
    out.error = std::string("connect: ") + std::strerror(errno);
    return out;
  }
  out.connected = true;
  if (piece > 0) {
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
    if (piece > 0) chunk = std::min(chunk, piece);
    const ssize_t n = send(s, bytes.data() + out.bytesSent, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      out.error = std::string("send: ") + std::strerror(errno);
      out.closedByPeer = errno == EPIPE || errno == ECONNRESET;
      break;
    }
    out.bytesSent += static_cast<size_t>(n);
    if (piece > 0 && pause.count() > 0) std::this_thread::sleep_for(pause);
  }
  if (!out.closedByPeer) {
    shutdown(s, SHUT_WR);
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
      // The monitor never sends anything; bytes would be ignored.
    }
  }
  close(s);
  return out;
}

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
