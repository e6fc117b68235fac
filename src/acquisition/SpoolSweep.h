// SpoolSweep - removes what transfers leave behind when they never finish:
// chunk files of abandoned or undecompressable transfers, and a
// "<name>.DOING.part" or "rtdata.dat" (or its temporary) left by a crash.
// Each goes once nobody has written to it for kAbandonedAfter
// (ChunkWriter.h). A "<name>.DOING" is never touched: it waits to be shown.
// Only regular files are removed. The caller holds g_spoolLock.
#ifndef BRENNA_ACQUISITION_SPOOLSWEEP_H
#define BRENNA_ACQUISITION_SPOOLSWEEP_H

#include <chrono>
#include <string>

class SpoolIo;

// How often the network worker sweeps, after a first sweep at its start.
constexpr std::chrono::seconds kSweepPeriod{60};

// Sweeps spoolDir once; returns the number of files removed.
int SweepSpool(SpoolIo& io, const std::string& spoolDir);

#endif  // BRENNA_ACQUISITION_SPOOLSWEEP_H
