#include "web/LineClient.h"

#include <algorithm>
#include <utility>

#include "platform/StreamSocket.h"

namespace web {

namespace {

using Clock = std::chrono::steady_clock;
// How often a wait for the line looks up (the watch's tick).
constexpr int kSliceMs = 250;

int MsUntil(Clock::time_point t) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now());
  return static_cast<int>(std::max<long long>(0, std::min<long long>(left.count(), 1000 * 1000)));
}

}  // namespace

class LineClient::Stream : public httplib::Stream {
 public:
  Stream(LineClient& client, socket_t sock, std::chrono::milliseconds writeTimeout)
      : client_(client), sock_(sock), writeTimeout_(writeTimeout) {}

  bool is_readable() const override { return taken_ < buffer_.size(); }
  bool is_writable() const override { return stream_socket::WaitWritable(sock_, 0); }

  ssize_t read(char* ptr, size_t size) override {
    if (client_.undelivered_ >= kMaxUndelivered) {
      client_.overLimit_ = true;
      return -1;
    }
    if (taken_ == buffer_.size()) {
      const int got = Receive();
      if (got <= 0) return got;
    }
    const std::size_t n =
        std::min({size, buffer_.size() - taken_, kMaxUndelivered - client_.undelivered_});
    std::copy_n(buffer_.data() + taken_, n, ptr);
    taken_ += n;
    client_.undelivered_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const auto until = Clock::now() + writeTimeout_;
    for (;;) {
      std::size_t n = 0;
      const stream_socket::Io sent = stream_socket::Send(sock_, ptr, size, &n);
      if (sent == stream_socket::Io::kDone) return static_cast<ssize_t>(n);
      if (sent != stream_socket::Io::kNotNow || Clock::now() >= until ||
          !stream_socket::WaitWritable(sock_, MsUntil(until)))
        return -1;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    stream_socket::PeerAddress(sock_, &ip, &port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    stream_socket::LocalAddress(sock_, &ip, &port);
  }
  socket_t socket() const override { return sock_; }

 private:
  // Waits for what the line sends next, in slices: 1 when bytes came, 0
  // when it closed the connection, -1 when it failed or was silent too long.
  int Receive() {
    buffer_.clear();
    taken_ = 0;
    const auto until = Clock::now() + client_.silence_;
    char buf[4096];
    for (;;) {
      if (client_.tick_) client_.tick_();
      std::size_t n = 0;
      if (stream_socket::WaitReadable(sock_, std::min(kSliceMs, MsUntil(until)))) {
        const stream_socket::Io got = stream_socket::Receive(sock_, buf, sizeof buf, &n);
        if (got == stream_socket::Io::kClosed) return 0;
        if (got == stream_socket::Io::kFailed) return -1;
      }
      if (n > 0) {
        buffer_.assign(buf, n);
        client_.received_ += n;
        return 1;
      }
      if (Clock::now() >= until) return -1;
    }
  }

  LineClient& client_;
  const socket_t sock_;
  const std::chrono::milliseconds writeTimeout_;
  std::string buffer_;
  std::size_t taken_ = 0;
};

LineClient::LineClient(const std::string& host, int port, std::chrono::milliseconds silence,
                       std::function<void()> tick)
    : httplib::ClientImpl(host, port), silence_(silence), tick_(std::move(tick)) {
  // What a line sends is read as it came: never inflated.
  set_decompress(false);
}

bool LineClient::process_socket(const Socket& socket,
                                std::function<bool(httplib::Stream& strm)> callback) {
  connected_ = true;
  undelivered_ = 0;
  const auto writeTimeout =
      std::chrono::seconds(write_timeout_sec_) + std::chrono::microseconds(write_timeout_usec_);
  Stream stream(*this, socket.sock,
                std::chrono::duration_cast<std::chrono::milliseconds>(writeTimeout));
  return callback(stream);
}

}  // namespace web
