// Winsock implementation of TestSocket.h.
#include <winsock2.h>
#include <ws2tcpip.h>

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
}  // namespace

int FreePort() {
  int port = 0;
  Handle s = Listen(false, 1, &port);
  Close(s);
  return s == kNone ? 0 : port;
}

Handle Listen(bool everyInterface, int backlog, int* port) {
  if (!Ready()) return kNone;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNone;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(everyInterface ? INADDR_ANY : INADDR_LOOPBACK);
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
  if (!Ready()) return kNone;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNone;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::closesocket(s);
    return kNone;
  }
  return static_cast<Handle>(s);
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

bool ClosedByPeer(Handle s, int waitMs) {
  WSAPOLLFD p{};
  p.fd = Raw(s);
  p.events = POLLRDNORM;
  if (::WSAPoll(&p, 1, waitMs) <= 0) return false;
  u_long one = 1, zero = 0;
  ::ioctlsocket(Raw(s), FIONBIO, &one);
  char c;
  const int k = ::recv(Raw(s), &c, 1, 0);
  const int err = k < 0 ? WSAGetLastError() : 0;
  ::ioctlsocket(Raw(s), FIONBIO, &zero);
  return k == 0 || (k < 0 && err != WSAEWOULDBLOCK);
}

void SetNoDelay(Handle s) {
  BOOL one = TRUE;
  ::setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void Close(Handle s) {
  if (s != kNone) ::closesocket(Raw(s));
}

}  // namespace test_socket
