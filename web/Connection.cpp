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
    headEnd_ = headEnd_ > taken_ ? headEnd_ - taken_ : 0;
    taken_ = 0;
  }
  char buf[4096];
  while (pending_.size() < kMaxRequestHead) {
    std::size_t n = 0;
    const std::size_t room = std::min(sizeof buf, kMaxRequestHead - pending_.size());
    const stream_socket::Io got = stream_socket::Receive(sock_, buf, room, &n);
    if (got != stream_socket::Io::kDone) return got == stream_socket::Io::kNotNow;
    pending_.append(buf, n);
  }
  return true;
}

HeadState Connection::Examine() {
  std::size_t end = 0;
  const HeadState state = ExamineHead(pending_.data() + taken_, pending_.size() - taken_, &end);
  rangeRefused_ = false;
  headEnd_ = taken_;
  if (state != HeadState::kComplete) return state;
  std::string head = pending_.substr(taken_, end);
  rangeRefused_ = RefuseLongRange(&head);
  if (rangeRefused_) {
    pending_.replace(taken_, end, head);
    end = head.size();
  }
  headEnd_ = taken_ + end;
  return state;
}

void Connection::Refuse(int status, Clock::time_point until) {
  const std::string answer = RefusalAnswer(status);
  std::size_t sent = 0;
  stream_socket::Send(sock_, answer.data(), answer.size(), &sent);
  stream_socket::ShutdownSend(sock_);
  std::string().swap(pending_);
  taken_ = headEnd_ = 0;
  closing_ = true;
  firstByte_ = deadline_ = until;
}

bool Connection::Discard() {
  char buf[4096];
  // At most this much a turn: a peer that floods holds up no other.
  for (int turn = 0; turn < 16; ++turn) {
    std::size_t n = 0;
    const stream_socket::Io got = stream_socket::Receive(sock_, buf, sizeof buf, &n);
    if (got != stream_socket::Io::kDone) return got == stream_socket::Io::kNotNow;
  }
  return true;
}

bool Connection::WaitWritable(Clock::time_point until) const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  if (left <= 0) return false;
  return stream_socket::WaitWritable(sock_,
                                     static_cast<int>(std::min<long long>(left, 1000 * 1000)));
}

bool Connection::is_readable() const { return taken_ < headEnd_; }

bool Connection::is_writable() const { return WaitWritable(Clock::now() + writeTimeout_); }

ssize_t Connection::read(char* ptr, size_t size) {
  // The head handed on, and nothing past it: a body is never read.
  const std::size_t n = std::min(size, headEnd_ - taken_);
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
