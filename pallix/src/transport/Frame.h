// Frame - what every part of the transport shares: the fixed 2072-byte
// frame, the clock its timers run on, the check of a frame's shape, and
// the wait handed to Poll.
#ifndef PALLIX_TRANSPORT_FRAME_H
#define PALLIX_TRANSPORT_FRAME_H

#include <algorithm>
#include <array>
#include <chrono>

#include "PallixByteOrder.h"
#include "PallixWire.h"

namespace pallix::transport {

using Clock = std::chrono::steady_clock;
using Frame = std::array<unsigned char, NET_FRAME_SIZE>;

// Magic, trailer and a length that fits the data field.
inline bool FrameIsWellFormed(const unsigned char* f) {
  return PallixGetU32(f + NET_FRAME_MAGIC_OFFSET) == NET_FRAME_MAGIC &&
         PallixGetU32(f + NET_FRAME_TRAILER_OFFSET) == NET_FRAME_TRAILER &&
         PallixGetU32(f + NET_FRAME_LENGTH_OFFSET) <= NET_FRAME_DATA_SIZE;
}

// Milliseconds for Poll: `left` rounded up, never below 0.
inline long WaitMs(Clock::duration left) {
  const long ms =
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
  return std::max(0L, ms + 1);
}

}  // namespace pallix::transport

#endif  // PALLIX_TRANSPORT_FRAME_H
