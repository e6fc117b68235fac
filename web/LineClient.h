// LineClient - cpp-httplib's client for one line's live updates
// (web/LineWatch), reading on a stream of ours so that nothing a line's
// address answers can swell the overview: the library reads a line of the
// answer's head, or a chunk's size, until its end, however long it is, so
// the stream refuses to give it more than kMaxUndelivered bytes that have
// not been passed on as the answer's content (an endless header line, an
// endless chunk-size line, headers without end). What is passed on is
// bounded by LineWatch itself.
//
// The stream waits for the line in short slices and calls `tick` at each,
// so the watch can tell a line that took the connection but says nothing;
// a connection silent for `silence` is given up.
#ifndef BRENNA_WEB_LINECLIENT_H
#define BRENNA_WEB_LINECLIENT_H

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace web {

// Bytes read for the library and not yet passed on as content.
inline constexpr std::size_t kMaxUndelivered = 64 * 1024;

class LineClient : public httplib::ClientImpl {
 public:
  LineClient(const std::string& host, int port, std::chrono::milliseconds silence,
             std::function<void()> tick);
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  // The content receiver took what the library passed on.
  void Delivered() { undelivered_ = 0; }
  // Whether a connection was made, and how many bytes came on it.
  bool Connected() const { return connected_; }
  std::size_t Received() const { return received_; }
  // The stream refused the library more (kMaxUndelivered).
  bool OverLimit() const { return overLimit_; }

 private:
  class Stream;
  bool process_socket(const Socket& socket,
                      std::function<bool(httplib::Stream& strm)> callback) override;

  const std::chrono::milliseconds silence_;
  const std::function<void()> tick_;
  std::size_t undelivered_ = 0;
  std::size_t received_ = 0;
  bool connected_ = false;
  bool overLimit_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_LINECLIENT_H
