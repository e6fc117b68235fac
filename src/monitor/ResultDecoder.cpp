#include "monitor/ResultDecoder.h"

#include <cstring>
#include <mutex>

#include "PallixByteOrder.h"
#include "acquisition/SpoolLock.h"
#include "journal/Journal.h"
#include "panel/ResultRouting.h"
#include "platform/FileOps.h"
#include "platform/PallixBinding.h"
#include "util/Colors.h"
#include "util/TextNumber.h"

namespace {

void Show(IDisplayBoard& board, int displayId, COLORREF textColor, std::string text) {
  IValueDisplay* display = board.ValueDisplay(displayId);
  if (display == nullptr) return;
  display->SetColors(kColorWhite, textColor);
  display->SetText(std::move(text));
}

// The library writes at most PALLIX_VALUE_SIZE bytes with the terminator;
// the last byte is forced to 0 all the same, so a text never runs on.
std::string Text(char (&value)[PALLIX_VALUE_SIZE]) {
  value[PALLIX_VALUE_SIZE - 1] = '\0';
  return std::string(value);
}

void ShowRecord(const unsigned char* record, IDisplayBoard& board, ShownResult& shown,
                std::size_t fileBytes) {
  char value[PALLIX_VALUE_SIZE] = {};
  std::string operatorText;
  StdHead head;
  PallixStdHeadPreset(&head);

  const int parsed = ParseStdHead(record, &head);
  if (shown.read) shown.fault = WhyNothingShows(record, fileBytes, parsed > 0);

  int judge = 0;
  int deviceCode = 0;
  if (ParseStdHead_ResultAll(record, kItemDeviceCode, value, &judge) > 0)
    deviceCode = ParseLeadingInt(Text(value));

  if (ParseStdHead_ResultAll(record, kItemOperator, value, &judge) > 0)
    operatorText = Text(value);
  else if (ParseStdHead_ResultAll(record, kItemOperatorAlt, value, &judge) > 0)
    operatorText = Text(value);

  if (int operatorDisplay = OperatorDisplayForDevice(deviceCode))
    Show(board, operatorDisplay, kColorBlue, operatorText);

  const int count = PallixGetU16(head.bytes + PALLIX_STD_HEAD_COUNT_OFFSET);
  shown.items = count;
  shown.deviceCode = deviceCode;
  shown.operatorText = operatorText;
  for (int i = 0; i < count; ++i) {
    int code = 0;
    judge = 0;
    if (ParseStdHead_ResultAll_Idx(record, i, &code, value, &judge) <= 0) continue;
    shown.recordItems.push_back(archive::RecordItem{i, code, judge, Text(value)});
    const ResultRoute* route = FindRoute(code);
    if (route == nullptr) continue;
    ++shown.onDisplays;
    Show(board, route->displayId, JudgeColor(route->scheme, judge),
         FormatValue(route->format, shown.recordItems.back().value));
  }
}

}  // namespace

void TakeAndShowResultFile(const std::string& path, unsigned char* resultBuf, IDisplayBoard& board,
                           std::mutex& spoolLock, ShownResult* shownOut) {
  ShownResult ignored;
  ShownResult& shown = shownOut != nullptr ? *shownOut : ignored;
  shown = ShownResult();
  try {
    std::memset(resultBuf, 0, kResultBufferSize);
    if (!PathExists(path)) return;
    size_t got = 0;
    {
      SpoolLockGuard lock(spoolLock);
      RegularFile f;
      const FileFault opened = f.Open(path, RegularFile::Mode::kRead);
      if (opened == FileFault::kNone) {
        // Only the first kResultBufferSize bytes of a longer file are read.
        f.ReadAt(0, resultBuf, kResultBufferSize, &got);
        f.Close();
        shown.read = true;
      } else if (opened == FileFault::kNotRegular) {
        BRENNA_EVENT(kWarning, kDisplay, kResultRefused, nullptr, "not a file",
                     "%s is not a regular file (a link, FIFO or folder put there?): not read, "
                     "not removed; remove it by hand",
                     journal::JournalName(path).c_str());
      } else if (opened == FileFault::kNoDescriptors) {
        BRENNA_EVENT(kWarning, kDisplay, kResultRefused, nullptr, "out of descriptors",
                     "result file %s cannot be opened now: the process has no file descriptor "
                     "to spare; it stays in the spool and is shown by a later scan",
                     journal::JournalName(path).c_str());
      } else if (opened != FileFault::kMissing) {
        BRENNA_EVENT(kWarning, kDisplay, kResultRefused, nullptr, "unreadable",
                     "result file %s cannot be read (permissions?): its values are not shown",
                     journal::JournalName(path).c_str());
      }
      // Out of the spool before the lock goes: a result of the same name
      // published from now on is a new file, shown by a later scan. What is
      // not a regular file is not ours to remove; one that could not be
      // opened for want of a descriptor is only waiting.
      if (opened != FileFault::kNotRegular && opened != FileFault::kNoDescriptors)
        RemoveRegularFile(path);
    }
    ShowRecord(resultBuf, board, shown, got);
    if (!shown.fault.empty()) {
      BRENNA_EVENT(kWarning, kDisplay, kResultRefused, nullptr, "malformed",
                   "result file %s shows nothing: %s", journal::JournalName(path).c_str(),
                   shown.fault.c_str());
    }
  } catch (...) {
    // The lock guard has released the spool lock; the scan goes on.
    BRENNA_LOG(kError, kDisplay, "showing %s failed unexpectedly: the scan goes on",
               journal::JournalName(path).c_str());
  }
}

std::string WhyNothingShows(const unsigned char* record, std::size_t fileBytes, bool wellFormed) {
  const std::size_t n = fileBytes < kResultBufferSize ? fileBytes : kResultBufferSize;
  const std::size_t count = PallixGetU16(record + PALLIX_STD_HEAD_COUNT_OFFSET);
  if (wellFormed) return count == 0 ? "its count is 0: a record of no items" : std::string();
  if (n == 0) return "not a record: the file is empty";
  StdHead preset;
  PallixStdHeadPreset(&preset);
  bool header = n >= PALLIX_STD_HEAD_SIZE;
  for (std::size_t i = 0; header && i < PALLIX_STD_HEAD_SIZE; ++i) {
    const bool countByte =
        i == PALLIX_STD_HEAD_COUNT_OFFSET || i == PALLIX_STD_HEAD_COUNT_OFFSET + 1;
    if (!countByte && record[i] != preset.bytes[i]) header = false;
  }
  if (!header) {
    return "not a record: its first " + std::to_string(PALLIX_STD_HEAD_SIZE) +
           " bytes are no result record's header (" + std::to_string(fileBytes) + " bytes)";
  }
  if (count == 0) return "its count is 0, and no end mark follows its header";
  // Where its end mark belongs: after the directory and the values its
  // entries measure.
  std::size_t end = PALLIX_STD_HEAD_SIZE + count * PALLIX_RECORD_ENTRY_SIZE;
  bool marked = end <= n;
  for (std::size_t i = 0; marked && i < count; ++i) {
    end += PallixGetU16(record + PALLIX_STD_HEAD_SIZE + i * PALLIX_RECORD_ENTRY_SIZE +
                        PALLIX_RECORD_ENTRY_LENGTH_OFFSET);
  }
  marked = marked && end + 4 <= n && PallixGetU32(record + end) == PALLIX_RECORD_END_MARK;
  if (!marked) {
    return "no end mark where its " + std::to_string(count) +
           (count == 1 ? " item ends (" : " items end (") + std::to_string(fileBytes) +
           " bytes): cut short, or a count that does not match its items";
  }
  return "its " + std::to_string(count) +
         " items are out of place (a value offset, a length above 511, or a 0 byte in a value)";
}

std::string DescribeShownResult(const ShownResult& shown) {
  if (!shown.read) return "nothing read: the file had gone or could not be read";
  if (!shown.fault.empty()) return "nothing shown, it is no result record to show (see above)";
  std::string text = std::to_string(shown.items) + (shown.items == 1 ? " item, " : " items, ") +
                     std::to_string(shown.onDisplays) + " on displays";
  if (shown.deviceCode != 0) text += ", device " + std::to_string(shown.deviceCode);
  if (!shown.operatorText.empty()) text += ", operator " + journal::JournalName(shown.operatorText);
  return text;
}
