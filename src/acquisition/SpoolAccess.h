// SpoolAccess - what the application hands the network task and the chunk
// writer: the spool lock and the spool directory. The application owns both
// (g_spoolLock and the site configuration) and sits above the data path,
// which never names them. Task functions take no arguments, so the pipeline
// installs them here before it starts the network tasks; the result loop is
// handed the same one.
#ifndef BRENNA_ACQUISITION_SPOOLACCESS_H
#define BRENNA_ACQUISITION_SPOOLACCESS_H

#include <functional>
#include <mutex>
#include <string>

struct SpoolAccess {
  // Guards writing and reading of spool files.
  std::mutex* spoolLock = nullptr;
  // The spool directory the site configuration names now; empty when none.
  std::function<std::string()> spoolDirectory;
};

// Installs `given` for the network task and SaveRecvChunk; it must outlive
// every task that runs with it. Null goes back to those of a program that
// installed none: a lock of its own and no spool directory.
void InstallSpoolAccess(const SpoolAccess* given);

// The installed spool lock and spool directory.
const SpoolAccess& CurrentSpoolAccess();

#endif  // BRENNA_ACQUISITION_SPOOLACCESS_H
