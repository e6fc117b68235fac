// SpoolScan - the window's side of the spool directory: it finds the
// published results ("<spool>/*.DOING"), keeps them in the order they were
// published, and shows them one at a time, each taken out of the spool as
// it is read and counted in the title. How long each result stays on
// screen before the next is the window's business (it lets its event loop
// run meanwhile); so is when to look: once a second, and at once when the
// chunk writer tells of a publication.
#ifndef BRENNA_MONITOR_SPOOLSCAN_H
#define BRENNA_MONITOR_SPOOLSCAN_H

#include <cstddef>
#include <mutex>
#include <string>

#include "acquisition/SpoolLock.h"
#include "monitor/PublicationOrder.h"

// What the scan needs from the window.
class SpoolScanHost {
 public:
  virtual ~SpoolScanHost() = default;
  // Reads the result file, removes it from the spool directory under the
  // spool lock straight after reading, and shows it.
  virtual void ShowResultFile(const std::string& path) = 0;
  virtual void SetTitle(const std::string& gbkTitle) = 0;
  // The result ShowResultFile showed last is counted: the title now shows
  // shownFiles (the archive takes it from here).
  virtual void ResultCounted(int /*shownFiles*/) {}
  // A few words (UTF-8) on the result ShowResultFile showed last, for the
  // journal's line; empty when there is nothing to add.
  virtual std::string LastShownSummary() const { return std::string(); }
};

class SpoolScan {
 public:
  // `spoolLock` is the lock the chunk writer publishes under.
  SpoolScan(SpoolScanHost& host, std::mutex& spoolLock) : m_host(host), m_spoolLock(spoolLock) {}
  SpoolScan(const SpoolScan&) = delete;
  SpoolScan& operator=(const SpoolScan&) = delete;

  // The chunk writer has put the result at path in place (its publication
  // hook, on the network worker, the spool lock held): it goes after every
  // result waiting.
  void Published(const std::string& path) PALLIX_REQUIRES(theSpoolLock);

  // One look at spoolDir (the timer's scan): ready results not known yet -
  // there before the start, or put there other than by the chunk writer -
  // take their place after every result known, among themselves in the
  // order they were last written, then by name. 1 after a complete look, 0
  // when an error ended it.
  int FindResults(const std::string& spoolDir);

  // Shows the first ready result of spoolDir in publication order
  // (ShowOneResult). A result that has gone since is forgotten, one not
  // ready yet keeps its place. True when a result was shown.
  bool ShowNextResult(const std::string& spoolDir, int& shownFiles);

  // The one step that shows a result: hands the file at path (its name in
  // the spool directory: fileName) to the window's ShowResultFile, counts it
  // in shownFiles, sets the title "数据监控(N)" and journals it.
  void ShowOneResult(const std::string& path, const std::string& fileName, int& shownFiles);

  // Results known to be waiting (as far as the last look and the
  // publications since tell).
  std::size_t Waiting() const;

 private:
  SpoolScanHost& m_host;
  std::mutex& m_spoolLock;
  // The network worker adds to it.
  PublicationOrder m_order PALLIX_GUARDED_BY(theSpoolLock);
};

// Whether a directory entry's name is a published result ("*.DOING",
// matched without regard to ASCII case, as the pattern always was).
bool IsResultFileName(const std::string& name);

#endif  // BRENNA_MONITOR_SPOOLSCAN_H
