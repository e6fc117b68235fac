// NetTasks - the network worker's receiving task. NetRecvTask makes one
// read attempt per call and hands a file-chunk frame to the chunk writer
// under the spool lock; the task queue calls it again and again. A frame
// the spool cannot take yet is kept and tried again until it is written.
// (The worker's other task, the idle state it shows first, is the
// monitor's: monitor/IdleStateTask.h.)
#ifndef BRENNA_ACQUISITION_NETTASKS_H
#define BRENNA_ACQUISITION_NETTASKS_H

#include <chrono>
#include <functional>
#include <string>

#include "PallixWire.h"
#include "platform/FramePeer.h"

// The network channel the monitor listens on.
constexpr int kNetChannel = 11;

int NetRecvTask();

// What NetRecvTask calls, replaceable so tests can script the network and
// the writer.
struct NetRecvCalls {
  std::function<int(int channel, void* buf, int size)> read;
  // The station of the frame read last; may be empty (stations unknown).
  std::function<bool(int channel, FramePeer* peer)> peer;
  std::function<int(const void* data, int length, const FramePeer& peer)> save;
  std::function<void()> pause;
  // Housekeeping at the start of every call (the spool sweep); may be empty.
  std::function<void()> sweep;
  // Refuses the frame read last to its station (a receipt for what of its
  // connection was handled before it, then the close); false when it
  // cannot. May be empty: such a frame is then held like one the spool
  // cannot take yet.
  std::function<bool(int channel)> refuse;
  // Tells the station of the frame read last that it is refused for good
  // (IsRefusedForGood): not delivered, not to be sent again. May be empty:
  // the station is then told nothing more than that it was handled.
  std::function<bool(int channel)> reject;
  // Whether the station of the frame read last still waits for it
  // (kFrameWanted, kFrameGivenUp, kFrameAsking), asked before a held frame
  // is tried again. May be empty: it is then always tried.
  std::function<int(int channel)> wanted;
};

// Calls between two tries of a frame the spool could not take: with the
// 5 ms pause of every call, about a second; and while its station is asked
// whether it still waits for the frame, about 50 ms.
constexpr int kRetryPasses = 200;
constexpr int kAskAgainPasses = 10;

// What NetRecvTask carries from one call to the next: a chunk frame the
// writer answered with kChunkSpoolUnwritable or kChunkNoDescriptors. While
// it is held no frame is read: the transport counts a frame as handled only
// when the next one is asked for, so the stations are held back instead of
// told "delivered".
struct NetRecvHold {
  bool holding = false;
  int why = 0;  // the writer's answer that holds it
  int passesLeft = 0;
  unsigned char frame[NET_FRAME_SIZE] = {};
  FramePeer peer;  // the frame's station
  // Since when a frame is held, and how often it was tried: the journal says
  // when holding starts and when it ends, not at every try.
  std::chrono::steady_clock::time_point heldSince{};
  int tries = 0;
  // Chunks refused because the spool directory is no directory: said once
  // when it starts, and once, with the count, when chunks are taken again.
  bool refusing = false;
  long refused = 0;
  std::chrono::steady_clock::time_point refusingSince{};
};

// One receive attempt with the given calls, or one more try of the held
// frame (NetRecvTask uses the library's ReadNetData, SaveRecvChunk, a 5 ms
// sleep, a sweep of the spool directory every kSweepPeriod and the
// library's PallixRefuseFrame and PallixRejectFrame).
int NetRecvOnce(const NetRecvCalls& calls, NetRecvHold& hold);

#endif  // BRENNA_ACQUISITION_NETTASKS_H
