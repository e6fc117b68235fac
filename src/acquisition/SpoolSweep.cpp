#include "acquisition/SpoolSweep.h"

#include <vector>

#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolNames.h"
#include "acquisition/TransferLedger.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& s, const std::string& head) {
  return s.compare(0, head.size(), head) == 0;
}

// Whether a spool file name is one the sweep looks at.
bool IsLeftoverName(const std::string& name) {
  // Never a name ending in ".DOING": a result waiting to be shown.
  static const std::string publishing = std::string(kResultFileSuffix) + kPartFileSuffix;
  static const std::string uncompressing = std::string(kUncompressedName) + ".";
  return EndsWith(name, kChunkFileSuffix) || EndsWith(name, publishing) ||
         name == kUncompressedName ||
         (StartsWith(name, uncompressing) && EndsWith(name, kPartFileSuffix));  // its temporary
}

}  // namespace

int SweepSpool(SpoolIo& io, const std::string& spoolDir) {
  int removed = 0;
  int transfers = 0;  // chunk files: transfers that never completed or never decompressed
  std::string named;  // the first few of them, for the journal
  // Regular files only: what else sits under a spool name is not ours.
  std::vector<std::string> names;
  if (!ListFileNames(spoolDir, &names)) return 0;
  for (const std::string& name : names) {
    if (!IsLeftoverName(name)) continue;
    const std::string path = JoinPath(spoolDir, name);
    SpoolIo::FileInfo info;
    if (io.Inspect(path, &info) == SpoolIo::Result::kOk && IsAbandonedAge(info.age) &&
        io.Remove(path)) {
      ++removed;
      if (EndsWith(name, ".compress")) {
        const std::string transfer = name.substr(0, name.size() - 9);
        TransferLedger::Spool().Take(transfer);
        if (++transfers <= 5) named += (named.empty() ? "'" : ", '") + transfer + "'";
      }
    }
  }
  // One line per sweep, and only when it removed something.
  if (removed > 0) {
    if (transfers > 5) named += ", ...";
    BRENNA_EVENT(kInfo, kSpool, kChunkFilesRemoved, nullptr, "abandoned",
                 "spool swept: %d file%s nobody had written to for 10 minutes removed: %d "
                 "abandoned transfer%s%s%s, %d left by an interrupted publication",
                 removed, removed == 1 ? "" : "s", transfers, transfers == 1 ? "" : "s",
                 transfers > 0 ? " " : "", journal::JournalName(named).c_str(),
                 removed - transfers);
  }
  return removed;
}
