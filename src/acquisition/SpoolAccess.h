// SpoolAndBoard - what the application hands the network tasks and the chunk
// writer: the spool lock, the display board and the spool directory. The
// application owns all three (g_spoolLock, g_pMainDlg and the site
// configuration) and sits above the data path, which never names them.
// Task functions take no arguments, so the window installs the three here
// before it starts the network tasks; its own calls into the data path
// (the scan, the decoder, the publication hook) hand the spool lock over as
// an argument.
#ifndef BRENNA_ACQUISITION_SPOOLANDBOARD_H
#define BRENNA_ACQUISITION_SPOOLANDBOARD_H

#include <functional>
#include <mutex>
#include <string>

#include "presentation/DisplayBoard.h"

struct SpoolAndBoard {
  // Guards writing and reading of spool files.
  std::mutex* spoolLock = nullptr;
  // Where the display board is kept: read at every use, as the window
  // stores it only once it is up (null until then).
  IDisplayBoard* const* board = nullptr;
  // The spool directory the site configuration names now; empty when none.
  std::function<std::string()> spoolDirectory;
};

// Installs `given` for the network tasks and SaveRecvChunk; it must
// outlive every task that runs with it. Null goes back to those of a
// program without a window: a lock of its own, no display board and no
// spool directory.
void InstallSpoolAndBoard(const SpoolAndBoard* given);

// The installed spool lock, display board and spool directory.
const SpoolAndBoard& CurrentSpoolAndBoard();

#endif  // BRENNA_ACQUISITION_SPOOLANDBOARD_H
