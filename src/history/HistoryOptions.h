// HistoryOptions - the command line of brenna-history (docs/archive.md):
//
//   brenna-history [--archive FILE] [--csv [--rows result]]
//                  [--day DAY | --from TIME --to TIME] [--group GROUP]
//                  [--operator TEXT] [--transfer PART] [--vehicle KEY]
//                  [--verdict veto|advisory] [--since ID] [--limit N]
//                                                           list results
//   brenna-history [--archive FILE] [--csv] --report DAY[..DAY]
//                                                           the report of days
//   brenna-history [--archive FILE] [--csv] --show ID         one result
//   brenna-history [--archive FILE] [--csv] --panel TIME      the panel then
//   brenna-history [--archive FILE] [--csv] --runs [...]      when it ran
//
// Times are local: "YYYY-MM-DD hh:mm[:ss[.mmm]]"; a DAY is "YYYY-MM-DD",
// "today" or "yesterday"; --panel also takes "now". Texts are UTF-8.
// `--config FILE` names the settings file that says how a transfer name
// names its vehicle (reports/VehicleKey; default brenna-web.ini). Each
// option is given once; a command takes only the filters it uses.
#ifndef BRENNA_HISTORY_HISTORYOPTIONS_H
#define BRENNA_HISTORY_HISTORYOPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"

namespace history {

enum class Command { kList, kShow, kPanel, kRuns, kReport, kHelp };

struct HistoryOptions {
  Command command = Command::kList;
  std::string archivePath;  // empty: the monitor's own
  std::string configPath;   // empty: the default settings file
  bool csv = false;
  bool rowPerResult = false;     // --rows result: the CSV's rows one per result
  archive::ResultFilter filter;  // kList; kRuns takes its time span
  std::string vehicleText;       // --vehicle as given (UTF-8)
  bool sinceBeyond = false;      // --since names an id beyond any an archive can hold
  std::string sinceText;         // --since as given, for the message
  std::int64_t showId = 0;       // kShow; -1: beyond any id the archive can hold
  std::string showText;          // kShow: the id as given, for the message
  std::int64_t panelUtcMs = 0;   // kPanel
  std::string reportFrom;        // kReport: "YYYY-MM-DD", the first day
  std::string reportTo;          // and the last
};

// The most results --limit may ask for, and the longest text an option may
// hold: bounds a typo cannot get past.
inline constexpr std::int64_t kMaxLimit = 100000000;
inline constexpr std::size_t kMaxArgument = 4096;

// Reads the arguments (without the program name) at `nowUtcMs`. False with
// a message naming the faulty argument.
bool ParseHistoryOptions(const std::vector<std::string>& args, std::int64_t nowUtcMs,
                         HistoryOptions* options, std::string* error);

// The --help text.
const char* HistoryUsage();

}  // namespace history

#endif  // BRENNA_HISTORY_HISTORYOPTIONS_H
