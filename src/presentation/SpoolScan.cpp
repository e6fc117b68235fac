#include "presentation/SpoolScan.h"

#include <cstdio>
#include <vector>

#include "acquisition/SpoolNames.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

namespace {

// The search pattern took a 260-byte buffer, each file path a 500-byte one.
constexpr size_t kMaxPatternLength = 259;
constexpr size_t kMaxFilePathLength = 499;
// The pattern was "<spool>/*.DOING".
constexpr size_t kPatternTailLength = 2 + sizeof kResultFileSuffix - 1;

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsResultFileName(const std::string& name) {
  const size_t n = sizeof kResultFileSuffix - 1;
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (FoldAscii(name[name.size() - n + i]) != kResultFileSuffix[i]) return false;
  return true;
}

int ScanSpoolDirectory(const std::string& spoolDir, int& shownFiles, SpoolScanHost& host) {
  try {
    if (spoolDir.size() + kPatternTailLength > kMaxPatternLength) return 1;
    // Only a regular file is a result: never a directory, and never a link,
    // FIFO or device, which could make the window wait.
    std::vector<std::string> names;
    if (!ListFileNames(spoolDir, &names)) return 1;  // no directory: nothing matches
    static const std::string caption = Gbk("数据监控");
    for (const std::string& name : names) {
      if (!IsResultFileName(name)) continue;
      const std::string path = JoinPath(spoolDir, name);
      if (path.size() > kMaxFilePathLength) continue;

      int day = 0, time = 0;
      if (GetFileDayTime(path.c_str(), &day, &time) <= 0) continue;  // tried again next tick

      // The window takes the file out of the spool as it reads it, so a
      // result of the same name published during the pause is a new file
      // and waits for the next scan.
      host.ShowResultFile(path);
      host.PauseAfterResult();
      ++shownFiles;

      const char* shown = GetLangueString(caption.c_str());
      char title[512];
      std::snprintf(title, sizeof title, "%s(%d)", shown != nullptr ? shown : caption.c_str(),
                    shownFiles);
      host.SetTitle(title);
    }
    return 1;
  } catch (...) {
    return 0;
  }
}
