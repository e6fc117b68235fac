// SpoolScan - where the results wait: it finds the published results in
// the spool directory ("<spool>/*.DOING") and keeps them in the order they
// were published, so that the result loop (ResultPresenter) takes them one
// at a time, first published first. It shows nothing and counts nothing;
// when to look (once a second, and at once when the chunk writer tells of
// a publication) is the loop's business too.
#ifndef BRENNA_MONITOR_SPOOLSCAN_H
#define BRENNA_MONITOR_SPOOLSCAN_H

#include <cstddef>
#include <mutex>
#include <string>

#include "acquisition/SpoolLock.h"
#include "monitor/PublicationOrder.h"

class SpoolScan {
 public:
  // `spoolLock` is the lock the chunk writer publishes under.
  explicit SpoolScan(std::mutex& spoolLock) : m_spoolLock(spoolLock) {}
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

  // The first result of spoolDir in publication order that GetFileDayTime
  // reports ready (sequence 0: none). A result that has gone since is
  // forgotten, one not ready yet keeps its place.
  PublicationOrder::Entry NextReady(const std::string& spoolDir);
  // The result NextReady gave is shown (read, and taken out of the spool):
  // it no longer waits. Published again since, it keeps its new place.
  void Taken(const PublicationOrder::Entry& result);

  // Results known to be waiting (as far as the last look and the
  // publications since tell).
  std::size_t Waiting() const;

 private:
  std::mutex& m_spoolLock;
  // The network worker adds to it.
  PublicationOrder m_order PALLIX_GUARDED_BY(theSpoolLock);
};

// Whether a directory entry's name is a published result ("*.DOING",
// matched without regard to ASCII case, as the pattern always was).
bool IsResultFileName(const std::string& name);

// The transfer a result file holds: "<spool>/<name>.DOING" -> "<name>". The
// folder is cut off as the system reads paths: on Windows at its last '\',
// never at the second byte of a GBK character.
std::string ResultTransferName(const std::string& path);

#endif  // BRENNA_MONITOR_SPOOLSCAN_H
