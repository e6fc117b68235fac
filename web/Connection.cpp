#include "web/Connection.h"

#include <algorithm>

#include "platform/StreamSocket.h"

namespace web {

Connection::Connection(socket_t sock, std::chrono::milliseconds writeTimeout)
    : sock_(sock), writeTimeout_(writeTimeout) {
  stream_socket::PeerAddress(sock_, &address_, &port_);
}

Connection::~Connection() { stream_socket::Close(sock_); }

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
    std::size_t n = 0;
    const stream_socket::Io got = stream_socket::Receive(sock_, buf, sizeof buf, &n);
    if (got != stream_socket::Io::kDone) return got == stream_socket::Io::kNotNow;
    pending_.append(buf, n);
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

bool Connection::Wait(bool write, Clock::time_point until) const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  if (left <= 0) return false;
  const int ms = static_cast<int>(std::min<long long>(left, 1000 * 1000));
  return write ? stream_socket::WaitWritable(sock_, ms) : stream_socket::WaitReadable(sock_, ms);
}

bool Connection::is_readable() const { return !NothingWaiting() || Wait(false, deadline_); }

bool Connection::is_writable() const { return Wait(true, Clock::now() + writeTimeout_); }

ssize_t Connection::read(char* ptr, size_t size) {
  if (NothingWaiting()) {
    // What is not here by the request's deadline does not come.
    if (!Wait(false, deadline_)) return -1;
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
    std::size_t n = 0;
    const stream_socket::Io sent = stream_socket::Send(sock_, ptr, size, &n);
    if (sent == stream_socket::Io::kDone) return static_cast<ssize_t>(n);
    if (sent != stream_socket::Io::kNotNow) return -1;
    // A page that does not take what it is sent is let go.
    if (!is_writable()) return -1;
  }
}

void Connection::get_remote_ip_and_port(std::string& ip, int& port) const {
  ip = address_;
  port = port_;
}

void Connection::get_local_ip_and_port(std::string& ip, int& port) const {
  stream_socket::LocalAddress(sock_, &ip, &port);
}

}  // namespace web
