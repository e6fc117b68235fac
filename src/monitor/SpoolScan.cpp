#include "monitor/SpoolScan.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "acquisition/SpoolNames.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"
#include "platform/PallixBinding.h"

namespace {

// The longest search pattern ("<spool>/*.DOING") and result path a scan
// takes: a spool directory too long for its pattern finds nothing, a longer
// path is passed over, as sites set up for these bounds expect.
constexpr size_t kMaxPatternLength = 259;
constexpr size_t kMaxFilePathLength = 499;
// "/*.DOING" after the directory.
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

void SpoolScan::Published(const std::string& path) { m_order.Published(path); }

std::size_t SpoolScan::Waiting() const {
  SpoolLockGuard lock(m_spoolLock);
  return m_order.Size();
}

int SpoolScan::FindResults(const std::string& spoolDir) {
  try {
    if (spoolDir.size() + kPatternTailLength > kMaxPatternLength) return 1;
    // Only a regular file is a result: never a directory, and never a link,
    // FIFO or device, which could make the window wait. Those are looked at
    // without opening them, and said once.
    std::vector<std::string> names;
    if (!ListFileNames(spoolDir, &names, true)) return 1;  // no directory: nothing matches
    struct Found {
      std::int64_t modifiedNs;
      std::string name;
      std::string path;
    };
    std::vector<Found> found;
    std::vector<std::string> nonFiles;
    for (const std::string& name : names) {
      if (!IsResultFileName(name)) continue;
      std::string path = JoinPath(spoolDir, name);
      if (path.size() > kMaxFilePathLength) continue;
      RegularFileInfo info;
      const FileFault kind = InspectFile(path, &info);
      if (kind == FileFault::kNotRegular) {
        nonFiles.push_back(path);
        SayNonFile(path);
      }
      if (kind != FileFault::kNone) continue;
      found.push_back({info.modifiedNs, name, std::move(path)});
    }
    ForgetGoneNonFiles(nonFiles);

    // What the chunk writer published is known already, in its order;
    // the rest goes after it, oldest first. A file's time can tie with
    // another's (the file system's clock ticks coarsely): the name decides.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
      return std::tie(a.modifiedNs, a.name) < std::tie(b.modifiedNs, b.name);
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (Found& f : found) paths.push_back(std::move(f.path));
    // Under the lock the writer publishes under: a file listed above that
    // the writer put in place is known by now, with its own place.
    SpoolLockGuard lock(m_spoolLock);
    m_order.Found(paths);
    return 1;
  } catch (...) {
    return 0;
  }
}

PublicationOrder::Entry SpoolScan::NextReady(const std::string& spoolDir) {
  const std::string prefix = JoinPath(spoolDir, std::string());
  std::uint64_t after = 0;
  for (;;) {
    PublicationOrder::Entry next;
    {
      SpoolLockGuard lock(m_spoolLock);
      next = m_order.After(after);
    }
    if (next.sequence == 0) return next;
    after = next.sequence;
    if (next.path.size() <= prefix.size() || next.path.compare(0, prefix.size(), prefix) != 0)
      continue;  // of another spool directory

    RegularFileInfo info;
    const FileFault kind = InspectFile(next.path, &info);
    if (kind == FileFault::kMissing || kind == FileFault::kNotRegular) {
      // Gone (removed by hand, or replaced by a non-file, which the next
      // look says): no longer a result waiting.
      Taken(next);
      continue;
    }
    int day = 0, time = 0;
    if (kind != FileFault::kNone || GetFileDayTime(next.path.c_str(), &day, &time) <= 0)
      continue;  // not ready: it keeps its place and is tried again
    return next;
  }
}

void SpoolScan::Taken(const PublicationOrder::Entry& result) {
  SpoolLockGuard lock(m_spoolLock);
  m_order.Forget(result.path, result.sequence);
}

std::string ResultTransferName(const std::string& path) {
  const std::string dir = ParentDirectory(path);
  std::string name = path;
  if (dir != "." && path.size() > dir.size()) {
    // A root ("/", "\", "C:\") keeps its separator; any other folder is
    // followed by one.
    const bool root = dir.size() == 1 || (dir.size() == 3 && dir[1] == ':');
    name = path.substr(root ? dir.size() : dir.size() + 1);
  }
  const std::size_t suffix = sizeof kResultFileSuffix - 1;
  if (name.size() >= suffix) name.resize(name.size() - suffix);
  return name;
}
