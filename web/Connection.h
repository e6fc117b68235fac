// Connection - one browser's connection as brenna-web serves it: the
// socket, what came on it and was not read yet, and by when the request
// under way must be complete. It is the stream the HTTP library reads
// requests from and writes answers to, and it lives as long as the
// connection, so requests sent one after the other without waiting
// (pipelined) are all answered, each in turn.
//
// The library reads a request's head only once the gate has found it
// whole (web/RequestHead), and only the head: past its empty line there is
// nothing to read (a body is never read), so the library never waits on
// the socket and never holds more than the head. Time is bounded for the
// whole request, never per read: a request must be complete by its
// deadline however slowly it trickles in. Each write may wait at most the
// write timeout for room.
#ifndef BRENNA_WEB_CONNECTION_H
#define BRENNA_WEB_CONNECTION_H

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "web/RequestHead.h"

namespace web {

class Connection : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  Connection(socket_t sock, std::chrono::milliseconds writeTimeout);
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The peer's address as text ("127.0.0.1", "::1").
  const std::string& Address() const { return address_; }
  socket_t Socket() const { return sock_; }

  // The next request must be complete by `deadline`; its first byte, when
  // it has not come yet, by `firstByte` (a kept-alive connection waits
  // less long than a new one for its next request).
  void Expect(Clock::time_point firstByte, Clock::time_point deadline);
  Clock::time_point Deadline() const;

  // Reads what has come without waiting, as much as a head may be; false
  // when the peer closed the connection or it failed.
  bool Fill();
  // What has come of the next request's head. Once it is complete, it is
  // what the library reads (its Range taken out when it is too long).
  HeadState Examine();
  bool NothingWaiting() const { return pending_.size() == taken_; }
  // The head handed on was taken out of a Range too long for one range.
  bool RangeRefused() const { return rangeRefused_; }
  // Whether the library read the head handed on to its end.
  bool HeadRead() const { return taken_ == headEnd_; }

  // The gate's refusal of a head (web/RequestHead's RefusalAnswer): sent
  // if there is room at once, then only what still comes is read, and
  // dropped, until `until` (so that the peer reads the answer rather
  // than a reset).
  void Refuse(int status, Clock::time_point until);
  bool Closing() const { return closing_; }
  // Reads and drops what has come; false when the peer closed or failed.
  bool Discard();

  // The connection closes after the answer under way.
  void CloseAfter() { closeAfter_ = true; }
  bool ClosingAfter() const { return closeAfter_; }
  int answered = 0;  // requests answered on it

  // httplib::Stream
  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return sock_; }

 private:
  // Waits until the socket has room for sending or `until` passes; true
  // when it has.
  bool WaitWritable(Clock::time_point until) const;

  socket_t sock_;
  std::chrono::milliseconds writeTimeout_;
  std::string address_;
  int port_ = 0;
  std::string pending_;  // received, not read yet from taken_ on
  std::size_t taken_ = 0;
  std::size_t headEnd_ = 0;  // the library reads up to here
  Clock::time_point firstByte_{}, deadline_{};
  bool closeAfter_ = false;
  bool rangeRefused_ = false;
  bool closing_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_CONNECTION_H
