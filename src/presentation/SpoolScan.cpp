#include "presentation/SpoolScan.h"

#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

#include "acquisition/SpoolNames.h"
#include "journal/Journal.h"
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

// Non-files under a result's name already told about: each is said once
// while it stays, not every second. Bounded; the scan runs on one thread.
constexpr size_t kMaxToldNonFiles = 64;
std::set<std::string>& ToldNonFiles() {
  static std::set<std::string> told;
  return told;
}

void SayNonFile(const std::string& path) {
  std::set<std::string>& told = ToldNonFiles();
  if (told.count(path) != 0 || told.size() >= kMaxToldNonFiles) return;
  told.insert(path);
  BRENNA_EVENT(kWarning, kDisplay, kResultRefused, nullptr, "not a file",
               "%s is not a regular file (a link, FIFO or folder put there?): never shown; "
               "remove it by hand",
               journal::JournalName(path).c_str());
}

// Forgets the told non-files that have gone.
void ForgetGoneNonFiles(const std::vector<std::string>& present) {
  std::set<std::string>& told = ToldNonFiles();
  if (told.empty()) return;
  const std::set<std::string> still(present.begin(), present.end());
  for (auto it = told.begin(); it != told.end();)
    it = still.count(*it) ? std::next(it) : told.erase(it);
}

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
    // FIFO or device, which could make the window wait. Those are looked at
    // without opening them, and said once.
    std::vector<std::string> names;
    if (!ListFileNames(spoolDir, &names, true)) return 1;  // no directory: nothing matches
    static const std::string caption = Gbk("数据监控");
    std::vector<std::string> nonFiles;
    for (const std::string& name : names) {
      if (!IsResultFileName(name)) continue;
      const std::string path = JoinPath(spoolDir, name);
      if (path.size() > kMaxFilePathLength) continue;
      RegularFileInfo info;
      const FileFault kind = InspectFile(path, &info);
      if (kind == FileFault::kNotRegular) {
        nonFiles.push_back(path);
        SayNonFile(path);
      }
      if (kind != FileFault::kNone) continue;

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
      host.ResultCounted(shownFiles);
      const std::string summary = host.LastShownSummary();
      BRENNA_EVENT(
          kInfo, kDisplay, kResultShown, nullptr, nullptr, "result '%s' shown%s%s; title %s",
          journal::JournalName(name.substr(0, name.size() - (sizeof kResultFileSuffix - 1)))
              .c_str(),
          summary.empty() ? "" : ": ", summary.c_str(), journal::JournalName(title).c_str());
    }
    ForgetGoneNonFiles(nonFiles);
    return 1;
  } catch (...) {
    return 0;
  }
}
