#include "web/Connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace web {

namespace {

void AddressOf(const sockaddr_storage& a, std::string* ip, int* port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    *port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    *port = ntohs(in->sin6_port);
  }
  *ip = text;
}

}  // namespace

Connection::Connection(int sock, std::chrono::milliseconds writeTimeout)
    : sock_(sock), writeTimeout_(writeTimeout) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    AddressOf(a, &address_, &port_);
}

Connection::~Connection() {
  ::shutdown(sock_, SHUT_RDWR);
  ::close(sock_);
}

void Connection::Expect(Clock::time_point firstByte, Clock::time_point deadline) {
  firstByte_ = firstByte;
  deadline_ = deadline;
  closeAfter_ = false;
}

Connection::Clock::time_point Connection::Deadline() const {
  return NothingWaiting() ? std::min(firstByte_, deadline_) : deadline_;
}

bool Connection::Fill() {
  if (taken_ > 0) {
    pending_.erase(0, taken_);
    taken_ = 0;
  }
  char buf[4096];
  while (pending_.size() < kMaxRequestHead) {
    const ssize_t n = ::recv(sock_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      pending_.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

bool Connection::HeadWaiting() const {
  if (pending_.size() - taken_ >= kMaxRequestHead) return true;
  // A head ends with an empty line; the library takes bare line feeds too.
  const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(taken_);
  for (auto it = from; it != pending_.end(); ++it) {
    if (*it != '\n') continue;
    auto next = it + 1;
    if (next != pending_.end() && *next == '\r') ++next;
    if (next != pending_.end() && *next == '\n') return true;
  }
  return false;
}

bool Connection::Wait(short events, Clock::time_point until) const {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{sock_, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000 * 1000)));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

bool Connection::is_readable() const { return !NothingWaiting() || Wait(POLLIN, deadline_); }

bool Connection::is_writable() const { return Wait(POLLOUT, Clock::now() + writeTimeout_); }

ssize_t Connection::read(char* ptr, size_t size) {
  if (NothingWaiting()) {
    // What is not here by the request's deadline does not come.
    if (!Wait(POLLIN, deadline_)) return -1;
    if (!Fill() && NothingWaiting()) return -1;
    if (NothingWaiting()) return -1;
  }
  const std::size_t n = std::min(size, pending_.size() - taken_);
  std::copy_n(pending_.data() + taken_, n, ptr);
  taken_ += n;
  return static_cast<ssize_t>(n);
}

ssize_t Connection::write(const char* ptr, size_t size) {
  for (;;) {
    const ssize_t n = ::send(sock_, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    // A page that does not take what it is sent is let go.
    if (!is_writable()) return -1;
  }
}

void Connection::get_remote_ip_and_port(std::string& ip, int& port) const {
  ip = address_;
  port = port_;
}

void Connection::get_local_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &len) == 0) AddressOf(a, &ip, &port);
}

}  // namespace web
