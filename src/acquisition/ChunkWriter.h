// ChunkWriter - puts the chunks of a transferred file together in the spool
// directory and publishes the decompressed result as "<name>.DOING".
//
// The file system is the reassembly buffer: chunk k of a transfer lands at
// byte k x 1942 of "<spool>/<name>.compress"; once that file reaches the
// announced total it is decompressed (to "rtdata.dat") and the result is
// published. Nothing of a transfer in progress is held in memory, so
// reassembly survives a restart. The caller holds the spool lock.
#ifndef BRENNA_ACQUISITION_CHUNKWRITER_H
#define BRENNA_ACQUISITION_CHUNKWRITER_H

#include <chrono>
#include <string>

#include "Pallix.h"
#include "acquisition/SpoolLock.h"
#include "platform/FramePeer.h"

class SpoolIo;

// Results of SaveRecvChunk.
enum ChunkResult {
  kChunkPublished = 1,  // the chunk completed its file; "<name>.DOING" holds the result
  // The writer is done with the chunk: nothing to hold back or hand in
  // again. One of four: stored, its file waiting for more chunks; its
  // transfer abandoned (its file overran the announced total); the chunk or
  // its result lost (the journal says why); or publication left to the
  // transfer's next chunk (no memory for it now).
  kChunkHandled = 0,
  kChunkBadName = -1,          // empty or unusable transfer name: nothing written
  kChunkBadTotal = -2,         // total of 0 or less: nothing written
  kChunkOutOfRange = -3,       // length, count, index or path outside their limits: nothing written
  kChunkSpoolUnwritable = -4,  // the spool cannot be written now (full, over quota, read-only,
                               // failing, or its directory gone and not made again): nothing of
                               // the chunk was kept, the same chunk may be handed in again later
  kChunkNoDescriptors = -5,    // as -4, because the process has no file descriptor to spare now
  kChunkNoSpool = -6,          // the spool directory is no directory (a file or a link to nothing
                               // stands in its place): nothing was kept, and no chunk can be until
                               // someone removes it, so the frame is refused to its station
  kChunkTooLarge = -7          // the transfer is complete but decompresses to more than a record:
                               // its chunk file is removed, nothing is published
};

// The answers that are final whoever sends the chunk and however often: a
// name, total or place the monitor cannot store, a path too long, a result
// too large. The station is told so (not to send it again), never that it
// was delivered.
inline bool IsRefusedForGood(int result) {
  return result == kChunkBadName || result == kChunkBadTotal || result == kChunkOutOfRange ||
         result == kChunkTooLarge;
}

// The largest decompressed result, and so the copy buffer.
constexpr int kResultMax = PALLIX_RECORD_MAX;

// A chunk file nobody has written to for this long belongs to an abandoned
// transfer, unless its station is still connected: the next chunk of its
// name starts a fresh file, and the spool sweep removes it (SpoolSweep.h).
constexpr std::chrono::minutes kAbandonedAfter{10};

// Whether a file last written `age` ago by its time stamp is abandoned. A
// time that far ahead counts too: the clock was set back, and nobody writes
// to the file now. Only for files of an earlier run: what this run wrote is
// judged by its own record (IsAbandonedTransfer).
inline bool IsAbandonedAge(std::chrono::seconds age) {
  return age > kAbandonedAfter || age < -kAbandonedAfter;
}

// Whether the chunk file of transfer `name` is abandoned: by the transfer
// ledger's monotonic record of its last chunk and its station's connection
// while this run wrote to it, else by `fileAge`, the file's time stamp.
bool IsAbandonedTransfer(const std::string& name, std::chrono::seconds fileAge)
    PALLIX_REQUIRES(theSpoolLock);

// Handles one chunk record of `length` bytes at data (the frame's data
// field), with the spool directory of the site configuration. `peer` is the
// station the frame came from, for the journal: every refusal and the
// publication name it.
int SaveRecvChunk(const void* data, int length, const FramePeer& peer = FramePeer())
    PALLIX_REQUIRES(theSpoolLock);

// The same against a given spool directory and file layer.
int SaveRecvChunkIn(SpoolIo& io, const std::string& spoolDir, const void* data, int length,
                    const FramePeer& peer = FramePeer()) PALLIX_REQUIRES(theSpoolLock);

// Whether a transfer name may become part of a file name in the spool
// directory (PallixIsUsableTransferName: the rule stations check too; on
// Windows also what Windows takes for a file's name, CanNameFile).
bool IsUsableTransferName(const std::string& name);

#endif  // BRENNA_ACQUISITION_CHUNKWRITER_H
