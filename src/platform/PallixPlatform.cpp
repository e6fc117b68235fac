// Where the binding finds the library, what the variant files are called,
// and how a missing library is reported.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/Gbk.h"
#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

namespace {

std::string g_directoryOverride;
PallixFatalReporter g_reporter = nullptr;

// <exe dir>/../lib/brennacenter: the same shape in the build tree and in the
// installed tree. /proc/self/exe is already free of symbolic links, so
// folding the ".." lexically names the real parent.
std::string DefaultSystemDirectory() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof exe) return std::string();
  const std::filesystem::path exePath(std::string(exe, static_cast<size_t>(n)));
  if (!exePath.has_parent_path()) return std::string();
  return (exePath.parent_path() / ".." / "lib" / "brennacenter").lexically_normal().string();
}

void WriteToStderr(const std::string& gbkText) {
  const std::string text = GbkToUtf8(gbkText) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string PallixSystemDirectory() {
  return g_directoryOverride.empty() ? DefaultSystemDirectory() : g_directoryOverride;
}

void SetPallixSystemDirectory(const std::string& dir) { g_directoryOverride = dir; }

std::string PallixVariantFileName(int variant) {
  switch (variant) {
    case 2:
      return "libPallix2b.so";
    case 4:
      return "libPallix4b.so";
    case 8:
      return "libPallix8b.so";
    case 16:
      return "libPallix16b.so";
    default:
      return "libPallix.so";
  }
}

void SetPallixFatalReporter(PallixFatalReporter reporter) { g_reporter = reporter; }

void ReportPallixFatal(const std::string& gbkText) {
  if (g_reporter != nullptr) {
    g_reporter(gbkText);
  } else {
    WriteToStderr(gbkText);
  }
}
