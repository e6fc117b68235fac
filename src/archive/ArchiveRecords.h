// ArchiveRecords - what the archive keeps of one shown result, and the one
// way the monitor hands it over. Plain data, no database: the window's side
// fills these on the GUI thread and queues them; the writer thread
// (ArchiveWriter) stores them. docs/archive.md describes how they are kept.
#ifndef BRENNA_ARCHIVE_ARCHIVERECORDS_H
#define BRENNA_ARCHIVE_ARCHIVERECORDS_H

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// One SetText the window made on a value display, with the colours the
// display held at that moment (COLORREF, 0x00BBGGRR).
struct DisplayWrite {
  int displayId = 0;
  std::string text;  // GBK, as drawn
  std::uint32_t background = 0;
  std::uint32_t textColor = 0;
};

// One item of a result record, as the station sent it.
struct RecordItem {
  int position = 0;  // 0-based place in the record
  int code = 0;
  int judge = 0;
  std::string value;  // GBK, the value text as sent
};

// A result the window showed.
struct ArchivedResult {
  std::int64_t shownUtcMs = 0;  // when its values were drawn (ms since 1970, UTC)
  std::string transfer;         // GBK, the transfer name it was published under
  std::string stations;         // "10.1.2.3:40001[, ...]"; empty when not known
  int deviceCode = 0;           // item 7700, 0 when absent
  std::string deviceGroup;      // UTF-8 caption of its group box; empty for none
  std::string operatorText;     // GBK, as shown beside 工号
  int titleCount = -1;          // the count the title showed for it; -1 unknown
  int itemCount = 0;            // the header's count of items
  std::vector<RecordItem> items;
  std::vector<DisplayWrite> writes;  // in the order they were made
};

// Where the window hands what it shows. Every call returns at once: it only
// queues (ArchiveWriter), and what cannot be queued is counted, not waited
// for.
class IResultArchive {
 public:
  virtual ~IResultArchive() = default;
  // A result, once its values are on screen and it is counted.
  virtual void Record(ArchivedResult result) = 0;
  // Writes the window made outside any result (the idle state at start),
  // at `utcMs`.
  virtual void RecordOwnWrites(std::int64_t utcMs, std::vector<DisplayWrite> writes) = 0;
  // The monitor is alive: the scan ran. Kept at most once a second.
  virtual void Heartbeat() = 0;
};

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVERECORDS_H
