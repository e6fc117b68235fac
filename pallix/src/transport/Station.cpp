#include "transport/Station.h"

#include <cstdio>

#include "Log.h"

namespace pallix::transport {

namespace {

// A transfer name (GBK bytes from the wire) for a report, whose text is
// UTF-8: printable ASCII as it is, every other byte as \xNN.
std::string PrintableName(const unsigned char* name, std::size_t room) {
  std::string out;
  for (std::size_t i = 0; i < room && name[i] != 0; ++i) {
    const unsigned char c = name[i];
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

int Station::Send(const char* host, int port, const unsigned char* data, std::size_t size) {
  const int result = SendFrames(host, port, data, size);
  if (result < 0) NoteFailedSend(result);
  return result;
}

void Station::NoteFailedSend(int result) {
  PallixMutexLock lock(lock_);
  ++failedSends_;
  lastFailure_ = result;
}

int Station::SendFrames(const char* host, int port, const unsigned char* data, std::size_t size) {
  if (size == 0 || size % NET_FRAME_SIZE != 0) return kBadFrame;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    if (!FrameIsWellFormed(data + off)) return kBadFrame;
  }
  PallixMutexLock lock(lock_);
  if (socket_ != net::kNoSocket && (host_ != host || port_ != port)) EndConnectionLocked(true);
  // Take in the receipts that came meanwhile, and find out whether the
  // monitor has closed the connection (it drops silent ones) before writing
  // into a connection that is gone.
  if (socket_ != net::kNoSocket && !ReadReceiptsLocked(0)) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: the monitor at %s:%d has closed the connection (silence?): "
               "connecting again",
               channel_, host_.c_str(), port_);
    EndConnectionLocked(false);
  }
  if (socket_ == net::kNoSocket) {
    net::ConnectError why = net::ConnectError::kNone;
    socket_ = net::ConnectTcp(host, port, timeoutMs_, &why);
    if (socket_ == net::kNoSocket) {
      PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, "channel %d: cannot connect to %s:%d: %s",
                 channel_, host, port,
                 why == net::ConnectError::kUnknownHost ? "the name does not resolve"
                 : why == net::ConnectError::kRefused
                     ? "refused, nothing listens there"
                     : "no answer in time, or the network is unreachable");
      return why == net::ConnectError::kUnknownHost ? kUnknownHost
             : why == net::ConnectError::kRefused   ? kConnectRefused
                                                    : kConnectFailed;
    }
    host_ = host;
    port_ = port;
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, "channel %d: connected to the monitor at %s:%d",
               channel_, host, port);
  }
  if (!net::SendAll(socket_, data, size, timeoutMs_)) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: sending to %s:%d failed: the connection broke or the monitor "
               "stopped reading for %d ms",
               channel_, host_.c_str(), port_, timeoutMs_);
    EndConnectionLocked(false);
    return kSendFailed;
  }
  if (log::Enabled(PALLIX_LOG_DEBUG)) ReportSentLocked(data, size);
  sentOnConnection_ += size / NET_FRAME_SIZE;
  return static_cast<int>(size / NET_FRAME_SIZE);
}

void Station::ReportSentLocked(const unsigned char* data, std::size_t size) const {
  std::uint64_t number = sentOnConnection_;
  for (std::size_t off = 0; off < size; off += NET_FRAME_SIZE) {
    const unsigned char* f = data + off;
    ++number;
    if (PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_FILE_CHUNK) {
      PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
                 "channel %d: frame %llu sent to %s:%d: command %u, %u bytes of data", channel_,
                 static_cast<unsigned long long>(number), host_.c_str(), port_,
                 PallixGetU32(f + NET_FRAME_COMMAND_OFFSET),
                 PallixGetU32(f + NET_FRAME_LENGTH_OFFSET));
      continue;
    }
    const unsigned char* chunk = f + NET_FRAME_DATA_OFFSET;
    const int total = PallixGetI16(chunk + FILE_CHUNK_TOTAL_OFFSET);
    const int chunks = total > 0 ? (total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE : 0;
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: frame %llu sent to %s:%d: transfer '%s', chunk %d of %d (index "
               "%d), %d bytes of %d",
               channel_, static_cast<unsigned long long>(number), host_.c_str(), port_,
               PrintableName(chunk + FILE_CHUNK_NAME_OFFSET, FILE_CHUNK_NAME_SIZE).c_str(),
               PallixGetI16(chunk + FILE_CHUNK_INDEX_OFFSET) + 1, chunks,
               PallixGetI16(chunk + FILE_CHUNK_INDEX_OFFSET),
               PallixGetI16(chunk + FILE_CHUNK_COUNT_OFFSET), total);
  }
}

int Station::Finish() {
  PallixMutexLock lock(lock_);
  EndConnectionLocked(true);
  if (failedSends_ > 0) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: closed after %d failed send%s (the last: %d): what they were handed "
               "was not delivered and must be sent again",
               channel_, failedSends_, failedSends_ == 1 ? "" : "s", lastFailure_);
  }
  if (unconfirmed_ || failedSends_ > 0) return kUnconfirmed;
  if (rejectedOnChannel_ > 0) {
    PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET,
               "channel %d: closed; the monitor refused %llu frame%s for good (its journal says "
               "why): do not send those again, the rest are delivered",
               channel_, static_cast<unsigned long long>(rejectedOnChannel_),
               rejectedOnChannel_ == 1 ? "" : "s");
    return kRejected;
  }
  return 1;
}

}  // namespace pallix::transport
