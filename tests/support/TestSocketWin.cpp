// Winsock implementation of TestSocket.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <vector>

#include "TestSocket.h"

namespace test_socket {

namespace {
bool Ready() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}
SOCKET Raw(Handle s) { return static_cast<SOCKET>(s); }

// Milliseconds left until deadline (0 when it has passed).
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what is there without waiting, appending it to *got when given.
// True once the peer has closed (end of stream or reset). The socket is
// blocking for the callers, non-blocking only in here.
bool DrainClosed(SOCKET s, std::string* got) {
  u_long one = 1, zero = 0;
  ::ioctlsocket(s, FIONBIO, &one);
  bool closed;
  char buf[4096];
  for (;;) {
    const int k = ::recv(s, buf, sizeof buf, 0);
    if (k > 0) {
      if (got != nullptr) got->append(buf, static_cast<std::size_t>(k));
      continue;
    }
    closed = k == 0 || WSAGetLastError() != WSAEWOULDBLOCK;
    break;
  }
  ::ioctlsocket(s, FIONBIO, &zero);
  return closed;
}

// Waits until the peer closes or the time is up, reading as it comes.
bool WaitForClose(SOCKET s, int waitMs, std::string* got) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = POLLRDNORM;
    if (::WSAPoll(&p, 1, MsLeft(deadline)) <= 0) return false;
    if (DrainClosed(s, got)) return true;
    if (MsLeft(deadline) == 0) return false;
  }
}
}  // namespace

Handle Listen(bool everyInterface, int backlog, int* port) {
  if (!Ready()) return kNone;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNone;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(everyInterface ? INADDR_ANY : INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(*port));
  int len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::closesocket(s);
    return kNone;
  }
  *port = ntohs(addr.sin_port);
  return static_cast<Handle>(s);
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
  if (!Ready()) return kNone;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kNone : static_cast<Handle>(s);
}

bool BindSource(Handle s, const char* address) {
  if (s == kNone) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (::inet_pton(AF_INET, address, &a.sin_addr) != 1) return false;
  return ::bind(Raw(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool Connect(Handle s, int port) {
  if (s == kNone) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(Raw(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool SendAll(Handle s, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const int k = ::send(Raw(s), p, n > 65536 ? 65536 : static_cast<int>(n), 0);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

void ShutdownSend(Handle s) { ::shutdown(Raw(s), SD_SEND); }

bool ClosedByPeer(Handle s, int waitMs) { return WaitForClose(Raw(s), waitMs, nullptr); }

std::string Receive(Handle s, int waitMs, bool* closed) {
  std::string got;
  *closed = WaitForClose(Raw(s), waitMs, &got);
  return got;
}

void SetNoDelay(Handle s) {
  BOOL one = TRUE;
  ::setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void SmallReceiveBuffer(Handle s) {
  int bytes = 1;
  ::setsockopt(Raw(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

int LocalPort(Handle s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (s == kNone || ::getsockname(Raw(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
  return ntohs(a.sin_port);
}

void Close(Handle s) {
  if (s != kNone) ::closesocket(Raw(s));
}

void Reset(Handle s) {
  if (s == kNone) return;
  const linger now{1, 0};
  ::setsockopt(Raw(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
  ::closesocket(Raw(s));
}

// Windows has no per-process limit of open handles that a process could
// lower to run itself short: the cases that do so are POSIX only.
bool GetDescriptorLimit(long*) { return false; }

bool SetDescriptorLimit(long) { return false; }

long LimitLeavingFree(int) { return -1; }

bool DescriptorsFree(int count) {
  std::vector<Handle> sockets;
  for (int i = 0; i < count; ++i) {
    const Handle s = NewSocket();
    if (s == kNone) break;
    sockets.push_back(s);
  }
  for (Handle s : sockets) Close(s);
  return static_cast<int>(sockets.size()) == count;
}

}  // namespace test_socket
