// What a server connection reports when it is closed: one line for each
// way a connection ends, saying what became of its frames.
#include <chrono>
#include <cstdio>

#include "transport/Server.h"

namespace pallix::transport {

namespace {

const char* Plural(std::uint32_t n) { return n == 1 ? "" : "s"; }

// Seconds with one decimal, for reports.
double Seconds(Clock::duration d) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) /
         1000.0;
}

// The end of a refusal's report: what becomes of the frames before it.
const char* GoodFramesKept(std::uint32_t good) {
  return good == 0 ? "" : "; they are still written, and confirmed before the close";
}

}  // namespace

void Server::ReportClose(const Connection& c, Closing why) {
  const char* a = c.address;
  const int p = c.port;
  switch (why) {
    case Closing::kFinished:
      ReportFinished(c);
      return;
    case Closing::kSilence:
      ReportSilence(c);
      return;
    case Closing::kBroken:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "connection broken",
                       "connection from %s:%d broke (reset by the station or the network) after "
                       "%u frame%s handled; %zu not yet written are dropped: the station was "
                       "told nothing of them and sends them again",
                       a, p, c.received, Plural(c.received), c.framesDropped);
      return;
    case Closing::kGaveUp:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "station gave up",
                       "station %s:%d no longer waits for its frames (it closed after %.1f s "
                       "without news): %zu not yet written are dropped, so that what it will "
                       "send again is not shown twice; %u handled before",
                       a, p, Seconds(Clock::now() - c.lastProgress), c.framesDropped, c.received);
      return;
    case Closing::kBadMagic:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad magic",
                       "connection from %s:%d closed: it sends bytes that are not a frame "
                       "(starting 0x%08X; a frame starts 0x%08X)",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_MAGIC_OFFSET),
                       NET_FRAME_MAGIC);
      return;
    case Closing::kBadLength:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad length",
                       "connection from %s:%d closed: a frame with length %u (at most %u), "
                       "after %u good frames%s",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_LENGTH_OFFSET),
                       NET_FRAME_DATA_SIZE, c.received, GoodFramesKept(c.received));
      return;
    case Closing::kBadTrailer:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kRefused, a, "bad trailer",
                       "connection from %s:%d closed: a frame ends in 0x%08X instead of 0x%08X "
                       "(bad trailer), after %u good frames%s",
                       a, p, PallixGetU32(c.partial.data() + NET_FRAME_TRAILER_OFFSET),
                       NET_FRAME_TRAILER, c.received, GoodFramesKept(c.received));
      return;
    case Closing::kTooSlow:
      PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "frame too slow",
                       "connection from %s:%d closed: a frame was not complete %.0f s after its "
                       "first byte (%zu of %u bytes came); that frame is lost%s",
                       a, p, Seconds(frameDeadline_), c.have, NET_FRAME_SIZE,
                       GoodFramesKept(c.received));
      return;
    case Closing::kGaveWay:
    case Closing::kShared:
    case Closing::kDescriptors:
      ReportGaveWay(c, why);
      return;
    case Closing::kUnhandled:
      // The reader says why in its own words, once; this is detail.
      PALLIX_LOG_EVENT(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, kClosed, a, "not handled",
                       "connection from %s:%d closed: the reader could not handle its frame %u; "
                       "%zu more dropped unconfirmed, %u handled before it confirmed",
                       a, p, c.received + 1, c.framesDropped, c.received);
      return;
  }
}

void Server::ReportFinished(const Connection& c) {
  const char* a = c.address;
  const int p = c.port;
  if (c.receiptsBroken) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, but its "
                     "receipt could not be sent: it will send them again",
                     a, p, c.received, Plural(c.received));
  } else if (c.rejected > 0) {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, %u of them "
                     "refused for good; receipt sent, telling it not to send those again",
                     a, p, c.received, Plural(c.received), c.rejected);
  } else if (c.partialDropped > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, receipt sent; "
                     "it ended in the middle of a frame (%zu of %u bytes), which is lost",
                     a, p, c.received, Plural(c.received), c.partialDropped, NET_FRAME_SIZE);
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, "station finished",
                     "station %s:%d finished: %u frame%s received, all handled, receipt sent", a, p,
                     c.received, Plural(c.received));
  }
}

void Server::ReportSilence(const Connection& c) {
  const char* a = c.address;
  const int p = c.port;
  const std::uint32_t waiting = c.received - Handled(c);
  if (c.have > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d closed after %.1f s of silence in the middle of a frame "
                     "(%zu of %u bytes): that frame is lost, the station must send it again",
                     a, p, Seconds(silence_), c.have, NET_FRAME_SIZE);
  } else if (waiting > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d is read no further after %.1f s of silence while %u of its "
                     "frames waited to be written (spool held up?): they are still written, "
                     "and confirmed before the close",
                     a, p, Seconds(silence_), waiting);
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, "silence",
                     "station %s:%d closed after %.1f s of silence: %u frame%s received, all "
                     "handled, receipt sent",
                     a, p, Seconds(silence_), c.received, Plural(c.received));
  }
}

// Closed to make room (kGaveWay, kShared) or after a shortage of
// descriptors.
void Server::ReportGaveWay(const Connection& c, Closing why) {
  const char* a = c.address;
  const int p = c.port;
  const char* key = why == Closing::kDescriptors ? "out of descriptors" : "gave way";
  char reason[200];
  if (why == Closing::kGaveWay) {
    std::snprintf(reason, sizeof reason, "to make room for a newcomer: all %zu places were taken",
                  limit_);
  } else if (why == Closing::kShared) {
    std::snprintf(reason, sizeof reason,
                  "to make room for a station of another address: all %zu places were taken, and "
                  "%s had and held the most (standing %.0f: frames lately and connections)",
                  limit_, a, c.addressStanding);
  } else {
    std::snprintf(reason, sizeof reason,
                  "because the process ran out of file descriptors (it holds fewer "
                  "connections for a while)");
  }
  if (c.framesDropped > 0) {
    PALLIX_LOG_EVENT(kWarning, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it held %zu frames waiting to be "
                     "taken: those are dropped unconfirmed (the station sends them again); "
                     "%u handled and confirmed",
                     a, p, reason, c.framesDropped, c.received);
  } else if (c.received == 0) {
    PALLIX_LOG_EVENT(why == Closing::kDescriptors ? kWarning : kInfo, PALLIX_LOG_NET, kClosed, a,
                     key, "connection from %s:%d closed %s and it had never sent a whole frame", a,
                     p, reason);
  } else if (why == Closing::kShared) {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s; its %u frame%s handled and confirmed", a, p,
                     reason, c.received, Plural(c.received));
  } else if (c.chunks == 0) {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it had sent no file chunk, only %u "
                     "other frame%s (keep-alives), handled and confirmed",
                     a, p, reason, c.received, Plural(c.received));
  } else {
    PALLIX_LOG_EVENT(kInfo, PALLIX_LOG_NET, kClosed, a, key,
                     "connection from %s:%d closed %s and it had completed no file chunk for "
                     "%.1f s; its %u frame%s handled and confirmed",
                     a, p, reason, kGiveWayIdleMs / 1000.0, c.received, Plural(c.received));
  }
}

}  // namespace pallix::transport
