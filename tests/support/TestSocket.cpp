// POSIX implementation of TestSocket.h.
#include "TestSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace test_socket {

namespace {

// Milliseconds left until deadline (0 when it has passed).
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what is there without waiting, appending it to *got when given.
// True once the peer has closed (end of stream or reset).
bool DrainClosed(int fd, std::string* got) {
  char buf[4096];
  for (;;) {
    const ssize_t k = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (k > 0) {
      if (got != nullptr) got->append(buf, static_cast<size_t>(k));
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    return k == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }
}

// Waits until the peer closes or the time is up, reading as it comes.
bool WaitForClose(int fd, int waitMs, std::string* got) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, MsLeft(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    if (DrainClosed(fd, got)) return true;
    if (MsLeft(deadline) == 0) return false;
  }
}

}  // namespace

Handle Listen(bool everyInterface, int backlog, int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return kNone;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(everyInterface ? INADDR_ANY : INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(*port));
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return kNone;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

Handle ConnectLoopback(int port) {
  const Handle s = NewSocket();
  if (s != kNone && !Connect(s, port)) {
    Close(s);
    return kNone;
  }
  return s;
}

Handle NewSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  return fd < 0 ? kNone : fd;
}

bool BindSource(Handle s, const char* address) {
  if (s == kNone) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (::inet_pton(AF_INET, address, &a.sin_addr) != 1) return false;
  return ::bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool Connect(Handle s, int port) {
  if (s == kNone) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool SendAll(Handle s, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t k = ::send(static_cast<int>(s), p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

void ShutdownSend(Handle s) { ::shutdown(static_cast<int>(s), SHUT_WR); }

bool ClosedByPeer(Handle s, int waitMs) {
  return WaitForClose(static_cast<int>(s), waitMs, nullptr);
}

std::string Receive(Handle s, int waitMs, bool* closed) {
  std::string got;
  *closed = WaitForClose(static_cast<int>(s), waitMs, &got);
  return got;
}

void SetNoDelay(Handle s) {
  int one = 1;
  ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void SmallReceiveBuffer(Handle s) {
  int bytes = 1;  // raised to the system's least
  ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int LocalPort(Handle s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (s == kNone || ::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return -1;
  return ntohs(a.sin_port);
}

void Close(Handle s) {
  if (s != kNone) ::close(static_cast<int>(s));
}

void Reset(Handle s) {
  if (s == kNone) return;
  const linger now{1, 0};
  ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &now, sizeof now);
  ::close(static_cast<int>(s));
}

bool GetDescriptorLimit(long* limit) {
  rlimit r{};
  if (::getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
  *limit = static_cast<long>(r.rlim_cur);
  return true;
}

bool SetDescriptorLimit(long limit) {
  rlimit r{};
  if (::getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
  r.rlim_cur = static_cast<rlim_t>(limit);
  return ::setrlimit(RLIMIT_NOFILE, &r) == 0;
}

long LimitLeavingFree(int count) {
  int free = 0;
  for (int fd = 0;; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      if (free == count) return fd;
      ++free;
    }
  }
}

bool DescriptorsFree(int count) {
  std::vector<int> fds;
  for (int i = 0; i < count; ++i) {
    const int fd = ::dup(0);
    if (fd < 0) break;
    fds.push_back(fd);
  }
  for (int fd : fds) ::close(fd);
  return static_cast<int>(fds.size()) == count;
}

}  // namespace test_socket
