// ResultDecoder - shows one spooled result record on the displays: the
// operator of its device group, then every routed item in the colour of its
// judge code. Displays keep what they show until a later record carries
// their item again.
#ifndef BRENNA_MONITOR_RESULTDECODER_H
#define BRENNA_MONITOR_RESULTDECODER_H

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "Pallix.h"
#include "archive/ArchiveRecords.h"
#include "monitor/DisplayBoard.h"

// The record buffer: a spool file is read up to this many bytes.
constexpr int kResultBufferSize = PALLIX_RECORD_MAX;

// What TakeAndShowResultFile made of a file, for the journal.
struct ShownResult {
  bool read = false;         // false: the file had gone, or was no regular file or unreadable
  int items = 0;             // result items in the record (its header's count)
  int onDisplays = 0;        // of them, written to a display
  int deviceCode = 0;        // item 7700, 0 when absent
  std::string operatorText;  // GBK, as shown beside 工号
  std::string fault;         // why a file read shows nothing (UTF-8); empty: none
  // Every item the record holds, in its order, routed or not: what the
  // archive keeps of it.
  std::vector<archive::RecordItem> recordItems;
};

// Reads the file at path into resultBuf (kResultBufferSize bytes) and shows it on board (the
// decoding step of ShowResultFile). The spool lock (`spoolLock`, the lock the chunk writer runs
// under) is held while the file is opened, read and removed from the spool directory. A file that
// no longer exists changes nothing; what is not a regular file (a link, FIFO, device, directory) is
// neither read nor removed, and decodes as an empty record. `shown`, when given, receives what was
// shown. A file that is no result record, or one of no items, is said at warning level with why
// (not a record, count 0, no end mark where its items end).
void TakeAndShowResultFile(const std::string& path, unsigned char* resultBuf, IDisplayBoard& board,
                           std::mutex& spoolLock, ShownResult* shown = nullptr);

// A few words on a shown result for the journal's line, UTF-8: "12 items,
// 10 on displays, device 25, operator 0815".
std::string DescribeShownResult(const ShownResult& shown);

// Why a record read from a file (`fileBytes` of it, in a buffer zeroed
// beyond them) shows nothing; empty when it is a record with items. For
// a record the library found well-formed (`wellFormed`) only its count
// can be at fault.
std::string WhyNothingShows(const unsigned char* record, std::size_t fileBytes, bool wellFormed);

#endif  // BRENNA_MONITOR_RESULTDECODER_H
