#include "acquisition/NetTasks.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolAccess.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolLock.h"
#include "acquisition/SpoolSweep.h"
#include "acquisition/TransferLedger.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"
#include "platform/PallixBinding.h"
#include "platform/ProcessLimits.h"

namespace {

// The transfer name of the chunk in a frame, for a journal line.
std::string ChunkName(const unsigned char* frame) {
  const char* name =
      reinterpret_cast<const char*>(frame + NET_FRAME_DATA_OFFSET + FILE_CHUNK_NAME_OFFSET);
  const void* nul = std::memchr(name, 0, FILE_CHUNK_NAME_SIZE);
  const size_t n = nul != nullptr ? static_cast<const char*>(nul) - name : FILE_CHUNK_NAME_SIZE;
  return journal::JournalName(std::string_view(name, n));
}

// Says why reception waits: a warning once, when it starts.
void SayHeld(const NetRecvHold& hold) {
  if (hold.why == kChunkNoDescriptors) {
    const process_limits::OpenFiles limit = process_limits::OpenFileLimit();
    BRENNA_LOG(kWarning, kSpool,
               "a spool file cannot be opened: the process has no file descriptor to spare (it "
               "may open %ld files): reception waits and stations are held back; the chunk of "
               "'%s' from %s is tried again every second",
               limit.soft, ChunkName(hold.frame).c_str(), PeerText(hold.peer).c_str());
    return;
  }
  BRENNA_LOG(kWarning, kSpool,
             "the spool directory %s cannot be written (disk full, over quota, read-only or "
             "failing): reception waits and stations are held back; the chunk of '%s' from %s "
             "is tried again every second",
             journal::JournalName(CurrentSpoolAccess().spoolDirectory()).c_str(),
             ChunkName(hold.frame).c_str(), PeerText(hold.peer).c_str());
}

// What stands where the spool directory should be, for the journal.
const char* NoSpoolDirectory(const std::string& dir) {
  switch (InspectDirectory(dir)) {
    case DirectoryKind::kNotDirectory:
      return "is a file, not a directory";
    case DirectoryKind::kBrokenLink:
      return "is a link to nothing";
    default:
      return "is no directory";
  }
}

// A spool directory with a file or a dead link in its place takes nothing
// until someone removes it: each chunk is refused to its station at once
// (it learns to send again instead of waiting in vain), and the journal
// says so when it starts and when it ends, not per chunk. False when the
// frame cannot be refused (a library without PallixRefuseFrame).
bool RefuseWithoutSpool(const NetRecvCalls& calls, NetRecvHold& hold) {
  if (!calls.refuse || !calls.refuse(kNetChannel)) return false;
  ++hold.refused;
  if (hold.refusing) return true;
  hold.refusing = true;
  hold.refusingSince = std::chrono::steady_clock::now();
  const std::string dir = CurrentSpoolAccess().spoolDirectory();
  BRENNA_LOG(kError, kSpool,
             "the spool directory %s %s: every chunk is refused, and its station told at once "
             "that it was not delivered (it must send again), the first of '%s' from %s; "
             "remove what is in the way, or name another SpoolDir in Pallix.ini",
             journal::JournalName(dir).c_str(), NoSpoolDirectory(dir),
             ChunkName(hold.frame).c_str(), PeerText(hold.peer).c_str());
  return true;
}

// Chunks are written again after a time of refusals: said once, counted.
void EndRefusing(NetRecvHold& hold) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - hold.refusingSince).count();
  BRENNA_LOG(kInfo, kSpool,
             "the spool directory %s takes chunks again after %.0f s: %ld chunk%s refused "
             "meanwhile",
             journal::JournalName(CurrentSpoolAccess().spoolDirectory()).c_str(), seconds,
             hold.refused, hold.refused == 1 ? " was" : "s were");
  hold.refusing = false;
  hold.refused = 0;
}

// Hands the frame in hold to the writer, which needs the spool lock: the
// save call is a std::function, which the analysis cannot see through.
int Save(const NetRecvCalls& calls, const NetRecvHold& hold) PALLIX_REQUIRES(theSpoolLock) {
  return calls.save(hold.frame + NET_FRAME_DATA_OFFSET,
                    PallixGetI32(hold.frame + NET_FRAME_LENGTH_OFFSET), hold.peer);
}

// Hands the frame in hold to the writer under the spool lock, and keeps it
// when the spool cannot be written now.
void SaveHeld(const NetRecvCalls& calls, NetRecvHold& hold) {
  int result = kChunkHandled;
  try {
    // The lock guard releases the spool lock however the writer ends; a
    // chunk whose writing throws is lost and reception carries on.
    SpoolLockGuard lock(*CurrentSpoolAccess().spoolLock);
    result = Save(calls, hold);
  } catch (...) {
    BRENNA_EVENT(kError, kSpool, kTransferRefused,
                 hold.peer.address.empty() ? nullptr : hold.peer.address.c_str(), "writer failed",
                 "chunk of transfer '%s' from %s lost: writing it failed unexpectedly; "
                 "reception goes on",
                 ChunkName(hold.frame).c_str(), PeerText(hold.peer).c_str());
  }
  if (result == kChunkNoSpool && RefuseWithoutSpool(calls, hold)) {
    result = kChunkHandled;  // handled: the station has its answer
  } else if (result == kChunkNoSpool) {
    result = kChunkSpoolUnwritable;  // no way to tell the station: held, as on a full disk
  } else if (result >= 0 && hold.refusing) {
    EndRefusing(hold);
  } else if (IsRefusedForGood(result) && calls.reject) {
    // The writer has said why in the journal; the station learns that this
    // one is never to be stored, so it stops sending it again.
    calls.reject(kNetChannel);
  }
  const bool wasHolding = hold.holding;
  const int wasWhy = hold.why;
  hold.holding = result == kChunkSpoolUnwritable || result == kChunkNoDescriptors;
  hold.why = hold.holding ? result : 0;
  hold.passesLeft = kRetryPasses;
  // A full spool is one warning when it starts (or its reason changes) and
  // one line when it clears, not a line per try.
  const auto now = std::chrono::steady_clock::now();
  if (hold.holding && (!wasHolding || hold.why != wasWhy)) {
    if (!wasHolding) {
      hold.heldSince = now;
      hold.tries = 0;
    }
    ++hold.tries;
    SayHeld(hold);
  } else if (hold.holding) {
    ++hold.tries;
  } else if (wasHolding && !hold.refusing) {
    BRENNA_LOG(kInfo, kSpool,
               "%s after %.0f s (%d tries): the held chunk of '%s' is handled, reception goes on",
               wasWhy == kChunkNoDescriptors ? "spool files can be opened again"
                                             : "the spool directory can be written again",
               std::chrono::duration<double>(now - hold.heldSince).count(), hold.tries + 1,
               ChunkName(hold.frame).c_str());
  }
}

// A frame held while the spool could not take it is written only while its
// station still waits for it: one that gave up was told nothing and sends
// it again, and writing it too would show its result twice.
bool StillWanted(const NetRecvCalls& calls, NetRecvHold& hold) {
  const int wanted = calls.wanted ? calls.wanted(kNetChannel) : kFrameWanted;
  if (wanted == kFrameAsking) hold.passesLeft = kAskAgainPasses;
  if (wanted != kFrameGivenUp) return wanted == kFrameWanted;
  BRENNA_EVENT(
      kWarning, kSpool, kTransferRefused,
      hold.peer.address.empty() ? nullptr : hold.peer.address.c_str(), "station gave up",
      "the held chunk of '%s' from %s is dropped, not written: its station gave up "
      "waiting after %.0f s (it was told nothing and sends it again)",
      ChunkName(hold.frame).c_str(), PeerText(hold.peer).c_str(),
      std::chrono::duration<double>(std::chrono::steady_clock::now() - hold.heldSince).count());
  hold.holding = false;
  hold.why = 0;
  return false;
}

}  // namespace

int NetRecvOnce(const NetRecvCalls& calls, NetRecvHold& hold) {
  if (calls.sweep) calls.sweep();
  if (hold.holding) {
    if (--hold.passesLeft <= 0 && StillWanted(calls, hold)) SaveHeld(calls, hold);
  } else {
    // A fresh frame each call: magic, zero header, empty data, trailer.
    unsigned char* frame = hold.frame;
    std::memset(frame, 0, NET_FRAME_SIZE);
    PallixPutU32(frame + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
    PallixPutU32(frame + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);

    const int got = calls.read(kNetChannel, frame, NET_FRAME_SIZE);
    if (got > 0) {
      journal::CountFrame();
      if (!calls.peer || !calls.peer(kNetChannel, &hold.peer)) hold.peer = FramePeer();
      const std::uint32_t command = PallixGetU32(frame + NET_FRAME_COMMAND_OFFSET);
      if (command == NET_CMD_FILE_CHUNK) {
        SaveHeld(calls, hold);
      } else {
        BRENNA_EVENT(kDebug, kNet, kFrameIgnored,
                     hold.peer.address.empty() ? nullptr : hold.peer.address.c_str(), "not a chunk",
                     "frame from %s with command %u ignored: only file chunks (%d)",
                     PeerText(hold.peer).c_str(), command, NET_CMD_FILE_CHUNK);
      }
    }
  }
  calls.pause();
  return 0;
}

int NetRecvTask() {
  // Only the worker thread runs this task.
  static NetRecvHold hold;
  static std::chrono::steady_clock::time_point nextSweep{};
  static std::chrono::steady_clock::time_point nextWatch{};
  static const NetRecvCalls calls{
      [](int channel, void* buf, int size) { return ReadNetData(channel, buf, size); },
      [](int channel, FramePeer* peer) { return ReadFramePeer(channel, peer); },
      [](const void* data, int length, const FramePeer& peer)
          PALLIX_REQUIRES(theSpoolLock) { return SaveRecvChunk(data, length, peer); },
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); },
      [] {
        // Every kWatchPeriod, whether the stations of the transfers in
        // progress are still connected; at the first call, then every
        // kSweepPeriod, the sweep: one listing of the directory when there
        // is nothing to remove.
        const auto now = std::chrono::steady_clock::now();
        if (now < nextWatch) return;
        nextWatch = now + kWatchPeriod;
        try {
          const SpoolAccess& shared = CurrentSpoolAccess();
          SpoolLockGuard lock(*shared.spoolLock);
          WatchTransfers(TransferLedger::Spool(),
                         [](const FramePeer& peer) { return PeerConnection(kNetChannel, peer); });
          if (now < nextSweep) return;
          nextSweep = now + kSweepPeriod;
          SpoolIo io;
          SweepSpool(io, shared.spoolDirectory());
        } catch (...) {
        }
      },
      [](int channel) { return RefuseReadFrame(channel); },
      [](int channel) { return RejectReadFrame(channel); },
      [](int channel) { return HeldFrameWanted(channel); }};
  return NetRecvOnce(calls, hold);
}
