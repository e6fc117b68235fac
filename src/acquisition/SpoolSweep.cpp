#include "acquisition/SpoolSweep.h"

#include <filesystem>

#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether a spool file name is one the sweep looks at.
bool IsLeftoverName(const std::string& name) {
  // Never a name ending in ".DOING": a result waiting to be shown.
  return EndsWith(name, ".compress") || EndsWith(name, ".DOING.part") || name == "rtdata.dat" ||
         (name.compare(0, 11, "rtdata.dat.") == 0 && EndsWith(name, ".part"));  // its temporary
}

}  // namespace

int SweepSpool(SpoolIo& io, const std::string& spoolDir) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(spoolDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsLeftoverName(name)) continue;
    const std::string path = spoolDir + "/" + name;
    SpoolIo::FileInfo info;
    if (io.Inspect(path, &info) == SpoolIo::Result::kOk && IsAbandonedAge(info.age) &&
        io.Remove(path))
      ++removed;
  }
  return removed;
}
