// ShipOptions - the command line of brenna-ship (docs/company.md):
//
//   brenna-ship --db CONNINFO | --db-file FILE [--archive FILE] [--once] [--batch N]
//                                               ship the archive, then follow it
//   brenna-ship --db CONNINFO --init            make or upgrade the company schema
//   brenna-ship --db CONNINFO --enrol SITE/LINE a line's role; prints its string
//   brenna-ship --db CONNINFO --enrol-viewer NAME   a read-only role; the same
//   brenna-ship [--archive FILE] --stop-shipping    the archive trims as unshipped
//   brenna-ship --db CONNINFO | --db-file FILE --save-db-file FILE
//                                               the string, checked, into a
//                                               file its owner's alone
//
// --db-file holds the connection string (a file only its owner may read;
// with --save-db-file any file: it is the one being made private).
#ifndef BRENNA_SHIP_SHIPOPTIONS_H
#define BRENNA_SHIP_SHIPOPTIONS_H

#include <string>
#include <vector>

namespace ship {

// Exit statuses.
inline constexpr int kDone = 0;
// The archive or the company database cannot be used (with --once,
// --init, --enrol, --enrol-viewer, --stop-shipping), or a --db-file it
// must not use; shipping itself never ends so.
inline constexpr int kCannot = 1;
inline constexpr int kBadArguments = 2;

enum class Command {
  kShip,
  kInit,
  kEnrol,
  kEnrolViewer,
  kStopShipping,
  kSaveDbFile,
  kHelp,
  kVersion
};

struct ShipOptions {
  Command command = Command::kShip;
  std::string conninfo;      // --db
  std::string conninfoFile;  // --db-file (UTF-8, as given)
  std::string archivePath;   // UTF-8, as given; empty: the monitor's own
  std::string site, line;    // --enrol
  std::string viewer;        // --enrol-viewer
  std::string savePath;      // --save-db-file (UTF-8, as given)
  bool once = false;
  int batch = 500;  // results per transaction
};

inline constexpr int kMaxBatch = 5000;
// A site's, line's or viewer's name: letters, digits, '-' and '_'.
inline constexpr std::size_t kMaxName = 24;

// Reads the arguments (without the program name). False with a message
// naming the argument it cannot take.
bool ParseShipOptions(const std::vector<std::string>& args, ShipOptions* options,
                      std::string* error);

// The --help text.
const char* ShipUsage();

}  // namespace ship

#endif  // BRENNA_SHIP_SHIPOPTIONS_H
