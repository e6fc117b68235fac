// POSIX implementation of TestSocket.h.
#include "TestSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace test_socket {

int FreePort() {
  int port = 0;
  Handle s = Listen(false, 1, &port);
  Close(s);
  return s == kNone ? 0 : port;
}

Handle Listen(bool everyInterface, int backlog, int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return kNone;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(everyInterface ? INADDR_ANY : INADDR_LOOPBACK);
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
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return kNone;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return kNone;
  }
  return fd;
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

bool ClosedByPeer(Handle s, int waitMs) {
  pollfd p{static_cast<int>(s), POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0) return false;
  char c;
  ssize_t k = ::recv(static_cast<int>(s), &c, 1, MSG_DONTWAIT);
  return k == 0 || (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

void SetNoDelay(Handle s) {
  int one = 1;
  ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Close(Handle s) {
  if (s != kNone) ::close(static_cast<int>(s));
}

}  // namespace test_socket
