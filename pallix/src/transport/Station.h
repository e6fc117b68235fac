// Station - a station channel: one connection to the monitor, made or
// remade as Send needs it, whose frames count as delivered once the
// monitor's receipts confirm them (Receipts.cpp).
#ifndef PALLIX_TRANSPORT_STATION_H
#define PALLIX_TRANSPORT_STATION_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "PallixThreadSafety.h"
#include "Transport.h"
#include "platform/Socket.h"
#include "transport/Frame.h"

namespace pallix::transport {

class Station {
 public:
  Station(int channel, int timeoutMs) : channel_(channel), timeoutMs_(timeoutMs) {}
  ~Station() {
    PallixMutexLock lock(lock_);
    EndConnectionLocked(false);
  }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  int Send(const char* host, int port, const unsigned char* data, std::size_t size);
  // A SendNetData call on the channel failed before it reached the station
  // (a bad argument): what it was handed never went.
  void NoteFailedSend(int result);
  // Ends the connection, waiting for the monitor's receipts as long as they
  // answer more frames (at most the timeout without progress). kUnconfirmed
  // when a send failed or a frame Send reported as sent was not answered;
  // else kRejected when the monitor refused some for good, 1 when it
  // confirmed them all.
  int Finish();
  // Frames of the current connection the monitor has answered: delivered, or
  // refused for good.
  std::uint64_t AnsweredLocked() const PALLIX_REQUIRES(lock_) { return confirmed_ + rejected_; }

 private:
  int SendFrames(const char* host, int port, const unsigned char* data, std::size_t size);
  // Ends the connection. Its frames count as confirmed only when a receipt
  // of the monitor names exactly as many: with `awaitReceipt` the station
  // half-closes and waits for it; without, what has come must do.
  void EndConnectionLocked(bool awaitReceipt) PALLIX_REQUIRES(lock_);
  // Reads what the monitor has sent, waiting at most waitMs for it to come:
  // receipts raise confirmed_. False once the connection has ended (closed
  // or reset).
  bool ReadReceiptsLocked(int waitMs) PALLIX_REQUIRES(lock_);
  // Says (at debug level: the station tool's --verbose) what each frame of
  // a batch just handed to the connection carries.
  void ReportSentLocked(const unsigned char* data, std::size_t size) const PALLIX_REQUIRES(lock_);

  PallixMutex lock_;
  int channel_;  // for the reports: a program may run several stations
  int timeoutMs_;
  net::SocketHandle socket_ PALLIX_GUARDED_BY(lock_) = net::kNoSocket;
  std::string host_ PALLIX_GUARDED_BY(lock_);
  int port_ PALLIX_GUARDED_BY(lock_) = 0;
  std::uint64_t sentOnConnection_ PALLIX_GUARDED_BY(lock_) =
      0;                                                  // frames handed to the current connection
  std::uint64_t confirmed_ PALLIX_GUARDED_BY(lock_) = 0;  // of those, the most a receipt confirmed
  std::uint64_t rejected_ PALLIX_GUARDED_BY(lock_) = 0;   // and the most it said were refused
  // Frames the monitor refused for good on the channel's earlier connections.
  std::uint64_t rejectedOnChannel_ PALLIX_GUARDED_BY(lock_) = 0;
  Frame inbound_ PALLIX_GUARDED_BY(lock_){};  // a frame from the monitor, being read
  std::size_t inboundHave_ PALLIX_GUARDED_BY(lock_) = 0;
  bool unconfirmed_ PALLIX_GUARDED_BY(lock_) = false;  // some frames sent were never confirmed
  // Sends that failed, and the last one's result: the frames handed to them
  // were not delivered, whatever the receipts of the others say.
  int failedSends_ PALLIX_GUARDED_BY(lock_) = 0;
  int lastFailure_ PALLIX_GUARDED_BY(lock_) = 0;
};

}  // namespace pallix::transport

#endif  // PALLIX_TRANSPORT_STATION_H
