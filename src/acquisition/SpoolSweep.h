// SpoolSweep - removes what transfers leave behind when they never finish:
// chunk files of abandoned or undecompressable transfers, and a
// "<name>.DOING.part" or "rtdata.dat" (or its temporary) left by a crash.
// Each goes once nobody has written to it for kAbandonedAfter
// (ChunkWriter.h): a chunk file of this run by the transfer ledger's own
// record, and never while its station is still connected; anything else by
// its time stamp. A "<name>.DOING" is never touched: it waits to be shown.
// Only regular files are removed.
//
// Beside it, WatchTransfers says at once when a station's connection ends
// with its transfer incomplete. The caller holds the spool lock for both.
#ifndef BRENNA_ACQUISITION_SPOOLSWEEP_H
#define BRENNA_ACQUISITION_SPOOLSWEEP_H

#include <chrono>
#include <functional>
#include <string>

#include "acquisition/SpoolLock.h"
#include "platform/FramePeer.h"
#include "platform/PallixBinding.h"

class SpoolIo;
class TransferLedger;

// How often the network worker sweeps, after a first sweep at its start.
constexpr std::chrono::seconds kSweepPeriod{60};
// How often it looks whether the stations of transfers in progress are
// still connected.
constexpr std::chrono::milliseconds kWatchPeriod{250};

// Sweeps spoolDir once; returns the number of files removed.
int SweepSpool(SpoolIo& io, const std::string& spoolDir) PALLIX_REQUIRES(theSpoolLock);

// Asks `connection` about the station of every transfer in progress of
// `ledger` not yet known to be gone; notes the answer, and for each whose
// connection has ended with chunks missing journals (a warning) its name,
// station, chunks received of the total and when it will be given up.
// Returns how many such ended.
int WatchTransfers(TransferLedger& ledger,
                   const std::function<PeerState(const FramePeer&)>& connection)
    PALLIX_REQUIRES(theSpoolLock);

#endif  // BRENNA_ACQUISITION_SPOOLSWEEP_H
