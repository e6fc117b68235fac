// FreePort - a TCP port nobody listens on right now, so parallel tests never
// fight over a fixed one.
#ifndef BRENNA_TESTS_FREEPORT_H
#define BRENNA_TESTS_FREEPORT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

// A socket listening at a port of the system's choosing, on 127.0.0.1 or
// on every interface, with the given queue of pending connections; closed
// when the object goes. port() is 0 when it could not be set up.
class TcpListener {
 public:
  explicit TcpListener(int backlog, in_addr_t address = INADDR_LOOPBACK) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    socklen_t len = sizeof addr;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(m_fd, backlog) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
      m_port = ntohs(addr.sin_port);
  }
  ~TcpListener() {
    if (m_fd >= 0) ::close(m_fd);
  }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;
  int fd() const { return m_fd; }
  int port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

// A socket listening on a free port of every interface, held until the
// object goes: a port in use.
class BusyPort {
 public:
  BusyPort() : m_listener(1, INADDR_ANY) {}
  int port() const { return m_listener.port(); }

 private:
  TcpListener m_listener;
};

#endif  // BRENNA_TESTS_FREEPORT_H
