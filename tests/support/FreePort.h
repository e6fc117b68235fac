// FreePort - a TCP port nobody listens on right now, so parallel tests never
// fight over a fixed one; and listeners that hold a port.
#ifndef BRENNA_TESTS_FREEPORT_H
#define BRENNA_TESTS_FREEPORT_H

#include <random>

#include "TestSocket.h"

// A TCP port nobody listens on right now on any interface (the monitor
// listens on every one): bound, read and closed. 0 when there is none.
// Taken below the ports the system hands to outgoing connections (from
// 32768 on Linux, 49152 on Windows): a port of the system's choosing may
// be the source port of another test's connection the moment the monitor
// wants to listen on it.
inline int FreePort() {
  static std::mt19937 pick{std::random_device{}()};
  std::uniform_int_distribution<int> below(20000, 32767);
  // The last try takes whatever the system gives.
  for (int attempt = 200; attempt >= 0; --attempt) {
    int port = attempt > 0 ? below(pick) : 0;
    const test_socket::Handle s = test_socket::Listen(true, 1, &port);
    if (s == test_socket::kNone) continue;
    test_socket::Close(s);
    return port;
  }
  return 0;
}

// A socket listening at a port of the system's choosing, on 127.0.0.1 or
// on every interface, with the given queue of pending connections; closed
// when the object goes. port() is 0 when it could not be set up.
class TcpListener {
 public:
  explicit TcpListener(int backlog, bool everyInterface = false)
      : m_fd(test_socket::Listen(everyInterface, backlog, &m_port)) {
    if (m_fd == test_socket::kNone) m_port = 0;
  }
  ~TcpListener() { test_socket::Close(m_fd); }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;
  test_socket::Handle fd() const { return m_fd; }
  int port() const { return m_port; }

 private:
  int m_port = 0;  // before m_fd: Listen fills it while m_fd is made
  test_socket::Handle m_fd = test_socket::kNone;
};

// A socket listening on a free port of every interface, held until the
// object goes: a port in use.
class BusyPort {
 public:
  BusyPort() : m_listener(1, true) {}
  int port() const { return m_listener.port(); }

 private:
  TcpListener m_listener;
};

#endif  // BRENNA_TESTS_FREEPORT_H
