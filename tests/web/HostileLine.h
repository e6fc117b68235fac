// HostileLine - a program at a line's address that answers the overview
// its own way: `answer` runs on each connection it takes, on the thread
// that takes them, until it returns or the object goes. Counts the
// connections, and the most bytes `answer` got out on one before the peer
// let go of it.
#ifndef BRENNA_TESTS_WEB_HOSTILELINE_H
#define BRENNA_TESTS_WEB_HOSTILELINE_H

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "TestSocket.h"

class HostileLine {
 public:
  // Sends `data` on `fd`; false once the peer has let go, or the line stops.
  using Send = std::function<bool(const std::string& data)>;
  using Answer = std::function<void(Send send)>;

  explicit HostileLine(Answer answer, int port = 0)
      : port_(port), fd_(test_socket::Listen(false, 16, &port_)) {
    thread_ = std::thread([this, answer] {
      while (!stop_) {
        pollfd p{static_cast<int>(fd_), POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int c = ::accept(static_cast<int>(fd_), nullptr, nullptr);
        if (c < 0) continue;
        ++connections_;
        std::size_t sent = 0;
        answer([&](const std::string& data) { return SendAll(c, data, &sent); });
        if (sent > mostSent_) mostSent_ = sent;
        ::close(c);
      }
    });
  }
  ~HostileLine() {
    stop_ = true;
    thread_.join();
    test_socket::Close(fd_);
  }
  HostileLine(const HostileLine&) = delete;
  HostileLine& operator=(const HostileLine&) = delete;

  int port() const { return port_; }
  int connections() const { return connections_; }
  std::size_t mostSent() const { return mostSent_; }
  bool stopping() const { return stop_; }

 private:
  bool SendAll(int c, const std::string& data, std::size_t* sent) {
    if (stop_) return false;
    for (std::size_t at = 0; at < data.size();) {
      if (stop_) return false;
      pollfd p{c, POLLOUT, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::send(c, data.data() + at, data.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
      *sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  int port_;
  test_socket::Handle fd_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<std::size_t> mostSent_{0};
  std::thread thread_;
};

#endif  // BRENNA_TESTS_WEB_HOSTILELINE_H
