// The receipt rule, both ends: when a server connection is told how many of
// its frames are handled (progress while its station waits on us, the last
// receipt before the close), and how a station counts the receipts it
// reads before it calls its frames confirmed.
#include "transport/Receipts.h"

#include <algorithm>

#include "transport/Server.h"
#include "transport/Station.h"

namespace pallix::transport {

Frame ReceiptFrame(std::uint32_t confirmed, std::uint32_t rejected) {
  Frame f{};
  PallixPutU32(f.data() + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(f.data() + NET_FRAME_COMMAND_OFFSET, NET_CMD_RECEIPT);
  // A station that knows only the count reads the first field and sees
  // frames refused for good as not confirmed.
  PallixPutU32(f.data() + NET_FRAME_LENGTH_OFFSET,
               rejected == 0 ? NET_RECEIPT_LENGTH : NET_RECEIPT_REJECTED_LENGTH);
  PallixPutU32(f.data() + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET, confirmed);
  PallixPutU32(f.data() + NET_FRAME_DATA_OFFSET + NET_RECEIPT_REJECTED_OFFSET, rejected);
  PallixPutU32(f.data() + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  return f;
}

bool ReadReceipt(const unsigned char* f, std::uint32_t* confirmed, std::uint32_t* rejected) {
  if (!FrameIsWellFormed(f) || PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_RECEIPT)
    return false;
  const std::uint32_t length = PallixGetU32(f + NET_FRAME_LENGTH_OFFSET);
  if (length < NET_RECEIPT_LENGTH) return false;
  *confirmed = PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET);
  *rejected = length >= NET_RECEIPT_REJECTED_LENGTH
                  ? PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_REJECTED_OFFSET)
                  : 0;
  return true;
}

void Server::Watch(Connection& c, Clock::time_point now) {
  if (!c.open) return;
  if (c.probeWanted && !c.gaveUp) Probe(c, now);
  if (c.gaveUp) {
    Drop(c, Closing::kGaveUp);
    return;
  }
  if ((c.stationDone || c.refused) && c.frames.empty() && !c.inHand) {
    if (c.refused) {  // already reported
      SendReceipt(c, Handled(c));
      // What it sent after is not read; dropped here, so that the close
      // ends the stream after the receipt instead of resetting it (which
      // may cost the station the receipt).
      for (int i = 0; i < 64 && net::Receive(c.socket, scratch_.data(), scratch_.size()) > 0; ++i) {
      }
      CloseSocket(c);
      return;
    }
    Finish(c, Closing::kFinished);
    return;
  }
  // While a station waits on us, it hears of progress: only once the last
  // receipt has left the socket, so a peer that reads none costs nothing.
  if (WaitingOnUs(c) && now - c.lastReceipt >= kProgressInterval) {
    if (Handled(c) > c.receiptCount && net::UnsentBytes(c.socket) <= 0) SendReceipt(c, Handled(c));
    c.lastReceipt = now;
  }
  if (WaitingOnUs(c)) return;
  const bool late = c.have > 0 && now - c.frameStarted >= frameDeadline_;
  if (!late && now - c.lastHeard < silence_) return;
  const Closing why = late ? Closing::kTooSlow : Closing::kSilence;
  if (!late && c.frames.empty() && !c.inHand) {
    // Silent between frames with everything handled: the station may learn
    // that before it reconnects.
    Finish(c, why);
    return;
  }
  // Its partial frame is lost; the frames it finished are still written and
  // confirmed before the close, as after a bad frame.
  Refuse(c, why);
}

std::uint32_t Server::Handled(const Connection& c) {
  return c.received - static_cast<std::uint32_t>(c.frames.size()) - (c.inHand ? 1 : 0);
}

void Server::SendReceipt(Connection& c, std::uint32_t handled) {
  if (c.receiptsBroken) return;
  // Receipts are far apart: the send buffer takes them whole unless the
  // station has read none for a long while. Should one not go whole, the
  // station gets no more (it sends again, which does no harm).
  const Frame receipt = ReceiptFrame(handled - c.rejected, c.rejected);
  if (net::Send(c.socket, receipt.data(), receipt.size()) != static_cast<long>(receipt.size())) {
    c.receiptsBroken = true;
    return;
  }
  // A count that rose is what keeps a station waiting.
  if (handled > c.receiptCount) c.lastProgress = Clock::now();
  c.receiptCount = handled;
}

void Server::Finish(Connection& c, Closing why) {
  // Everything received has been handled: the last receipt counts it all.
  SendReceipt(c, Handled(c));
  Drop(c, why);
}

void Station::EndConnectionLocked(bool awaitReceipt) {
  if (socket_ == net::kNoSocket) return;
  // How the connection ended, for the report.
  const char* how = awaitReceipt ? "every frame was already answered" : "without waiting";
  if (awaitReceipt && AnsweredLocked() != sentOnConnection_) {
    net::ShutdownSend(socket_);
    // A monitor that keeps confirming frames is busy, not gone: the timeout
    // counts from the last progress.
    const auto patience = std::chrono::milliseconds(timeoutMs_);
    auto deadline = Clock::now() + patience;
    std::uint64_t progress = AnsweredLocked();
    how = "the monitor's final receipt came";
    while (AnsweredLocked() != sentOnConnection_) {
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) {
        how = "no receipt came in time";
        break;
      }
      if (!ReadReceiptsLocked(static_cast<int>(WaitMs(left)))) {
        // The final receipt and the close often come in one read.
        if (AnsweredLocked() != sentOnConnection_) how = "the monitor closed the connection";
        break;
      }
      if (AnsweredLocked() > progress) {
        progress = AnsweredLocked();
        deadline = Clock::now() + patience;
      }
    }
  }
  PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
             "channel %d: connection to %s:%d closed (%s): %llu of %llu frames confirmed%s%s",
             channel_, host_.c_str(), port_, how, static_cast<unsigned long long>(confirmed_),
             static_cast<unsigned long long>(sentOnConnection_),
             rejected_ == 0 ? "" : ", the rest refused for good: do not send those again",
             AnsweredLocked() == sentOnConnection_ ? "" : ": the rest must be sent again");
  if (AnsweredLocked() != sentOnConnection_) unconfirmed_ = true;
  rejectedOnChannel_ += rejected_;
  net::Close(socket_);
  socket_ = net::kNoSocket;
  sentOnConnection_ = 0;
  confirmed_ = 0;
  rejected_ = 0;
  inboundHave_ = 0;
}

bool Station::ReadReceiptsLocked(int waitMs) {
  net::PollItem item{socket_, true};
  const int ready = net::Poll(&item, 1, waitMs);
  if (ready < 0) return false;
  if (ready == 0) return true;
  for (;;) {
    const long n =
        net::Receive(socket_, inbound_.data() + inboundHave_, inbound_.size() - inboundHave_);
    if (n == net::kWouldBlock) return true;
    if (n <= 0) return false;
    inboundHave_ += static_cast<std::size_t>(n);
    if (inboundHave_ < inbound_.size()) continue;
    inboundHave_ = 0;
    // Any other frame is none of a station's business.
    std::uint32_t count = 0, refused = 0;
    if (ReadReceipt(inbound_.data(), &count, &refused)) {
      confirmed_ = std::max<std::uint64_t>(confirmed_, count);
      rejected_ = std::max<std::uint64_t>(rejected_, refused);
      if (refused == 0) {
        PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
                   "channel %d: receipt from %s:%d: %u of the %llu frames sent are written",
                   channel_, host_.c_str(), port_, count,
                   static_cast<unsigned long long>(sentOnConnection_));
      } else {
        PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
                   "channel %d: receipt from %s:%d: %u of the %llu frames sent are written, %u "
                   "refused for good",
                   channel_, host_.c_str(), port_, count,
                   static_cast<unsigned long long>(sentOnConnection_), refused);
      }
    }
  }
}

}  // namespace pallix::transport
