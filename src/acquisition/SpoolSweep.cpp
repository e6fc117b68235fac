#include "acquisition/SpoolSweep.h"

#include <vector>

#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolNames.h"
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
  // Regular files only: what else sits under a spool name is not ours.
  std::vector<std::string> names;
  if (!ListFileNames(spoolDir, &names)) return 0;
  for (const std::string& name : names) {
    if (!IsLeftoverName(name)) continue;
    const std::string path = JoinPath(spoolDir, name);
    SpoolIo::FileInfo info;
    if (io.Inspect(path, &info) == SpoolIo::Result::kOk && IsAbandonedAge(info.age) &&
        io.Remove(path))
      ++removed;
  }
  return removed;
}
