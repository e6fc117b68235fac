// HostileLine - a program at a line's address that answers the overview its
// own way: `answer` runs on each connection it takes, on the thread that
// takes them. Counts them, and the most bytes sent on one.
#ifndef BRENNA_TESTS_WEB_HOSTILELINE_H
#define BRENNA_TESTS_WEB_HOSTILELINE_H

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "TestSocket.h"

class HostileLine {
 public:
  // Sends on the connection; false once the peer has let go (or we stop).
  using Send = std::function<bool(const std::string& data)>;

  explicit HostileLine(std::function<void(const Send&)> answer)
      : fd_(test_socket::Listen(false, 16, &port_)) {
    thread_ = std::thread([this, answer] {
      while (!stop_) {
        pollfd p{static_cast<int>(fd_), POLLIN, 0};
        const int c =
            ::poll(&p, 1, 50) > 0 ? ::accept(static_cast<int>(fd_), nullptr, nullptr) : -1;
        if (c < 0) continue;
        ++connections_;
        std::size_t sent = 0;
        answer([&](const std::string& data) {
          sent += data.size();
          return !stop_ && test_socket::SendAll(c, data.data(), data.size());
        });
        mostSent_ = std::max<std::size_t>(mostSent_, sent);
        test_socket::Close(c);
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

 private:
  int port_ = 0;  // before fd_: Listen fills it while fd_ is made
  test_socket::Handle fd_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<std::size_t> mostSent_{0};
  std::thread thread_;
};

#endif  // BRENNA_TESTS_WEB_HOSTILELINE_H
