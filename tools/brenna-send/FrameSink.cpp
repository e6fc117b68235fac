#include "FrameSink.h"

#include "ExitStatus.h"
#include "Pallix.h"
#include "PallixWire.h"

namespace brenna_send {

namespace {
constexpr int kStationMode = 1;
}  // namespace

bool NetworkSink::Open(std::string* error) {
  const int rc = OpenNet(m_channel, kStationMode, 0, m_options.timeoutMs);
  m_open = rc == 1;
  if (!m_open) {
    *error = "cannot open station channel " + std::to_string(m_channel) + " (" +
             std::to_string(rc) + ")";
  }
  return m_open;
}

NetworkSink::~NetworkSink() {
  if (m_open) CloseNet(m_channel);
}

int NetworkSink::Close(std::string* error) {
  if (!m_open) return kExitOk;
  m_open = false;
  const int rc = CloseNet(m_channel);
  if (rc == 1) return kExitOk;
  if (rc == PALLIX_SEND_REJECTED) {
    *error = "the monitor at " + m_options.host + ":" + std::to_string(m_options.port) +
             " refused a file for good (its journal says which and why: a transfer name or "
             "path it cannot store, a record too large): do not send it again; the others "
             "are delivered";
    return kExitRejected;
  }
  // Sent is not delivered: only the monitor's receipt says the frames are
  // in its spool directory.
  *error = "the monitor at " + m_options.host + ":" + std::to_string(m_options.port) +
           " did not confirm that it stored every frame (no receipt within " +
           std::to_string(m_options.timeoutMs) +
           " ms, or the connection ended without one): the files may be lost, send them again";
  if (rc != PALLIX_SEND_UNCONFIRMED) *error += " (" + std::to_string(rc) + ")";
  return kExitSendFailed;
}

int NetworkSink::Put(const unsigned char* frames, std::size_t size, const std::string& file,
                     std::string* error) {
  const std::string where = m_options.host + ":" + std::to_string(m_options.port);
  const int rc = SendNetData(m_channel, m_options.host.c_str(), m_options.port, frames,
                             static_cast<int>(size));
  if (rc == static_cast<int>(size / NET_FRAME_SIZE)) return kExitOk;
  switch (rc) {
    case PALLIX_SEND_UNKNOWN_HOST:
      *error = "unknown host " + m_options.host + ": the name does not resolve";
      return kExitUnknownHost;
    case PALLIX_SEND_REFUSED:
      *error = "connection to " + where + " refused: no monitor listens on that port";
      return kExitRefused;
    case PALLIX_SEND_CONNECT_FAILED:
      *error = "cannot reach " + where + ": no answer within " +
               std::to_string(m_options.timeoutMs) + " ms";
      return kExitSendFailed;
    default:
      *error = "sending " + file + " to " + where + " failed (" + std::to_string(rc) +
               "): the connection broke or the monitor stopped reading";
      return kExitSendFailed;
  }
}

int FileSink::Put(const unsigned char* frames, std::size_t size, const std::string&,
                  std::string* error) {
  m_out.write(reinterpret_cast<const char*>(frames), static_cast<std::streamsize>(size));
  if (m_out) return kExitOk;
  *error = "cannot write " + m_path;
  return kExitBadInput;
}

}  // namespace brenna_send
