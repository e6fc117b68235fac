#include "StationRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "platform/Gbk.h"

namespace brenna_send {

bool Utf8ToGbk(std::string_view utf8, std::string* gbk) { return Utf8ToGbkExact(utf8, gbk); }

namespace {

bool ParseInt(const std::string& s, int* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < -2147483647L - 1 || v > 2147483647L) return false;
  *out = static_cast<int>(v);
  return true;
}

// What a text line shows in an error message: enough to find it, never a
// whole megabyte.
std::string Excerpt(const std::string& line) {
  constexpr std::size_t kShown = 40;
  return "'" + (line.size() > kShown ? line.substr(0, kShown) + "..." : line) + "'";
}

std::string WriteError(int result) {
  switch (result) {
    case -3:
      return "the value is longer than 511 GBK bytes";
    case -4:
      return "the record would grow beyond " + std::to_string(PALLIX_RECORD_MAX) + " bytes";
    case -5:
      return "the record cannot hold more items";
    default:
      return "the item cannot be written (" + std::to_string(result) + ")";
  }
}

}  // namespace

bool BuildRecordFromText(std::string_view utf8Text, std::vector<unsigned char>* record,
                         std::string* error) {
  // Editors on the other platform like to start UTF-8 files with a mark.
  if (utf8Text.substr(0, 3) == "\xEF\xBB\xBF") utf8Text.remove_prefix(3);
  record->assign(PALLIX_RECORD_MAX, 0);
  int size = WriteStdHead(record->data(), nullptr);
  std::istringstream in{std::string(utf8Text)};
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string::size_type p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] == '#') continue;
    const std::string where = "line " + std::to_string(lineNo) + ": ";
    if (line.find('\0') != std::string::npos) {
      *error = where + "a NUL byte; values are text";
      return false;
    }
    std::istringstream fields(line);
    std::string codeText, judgeText;
    fields >> codeText >> judgeText;
    int code = 0, judge = 0;
    if (!ParseInt(codeText, &code) || !ParseInt(judgeText, &judge)) {
      *error = where + "expected 'CODE JUDGE VALUE' (two whole numbers, then the value), found " +
               Excerpt(line.substr(p));
      return false;
    }
    std::string value;
    std::getline(fields, value);
    std::string::size_type v = value.find_first_not_of(" \t");
    value = v == std::string::npos ? std::string() : value.substr(v);
    std::string gbk;
    if (!Utf8ToGbk(value, &gbk)) {
      *error = where + "the value has no GBK form (not UTF-8, or a character GBK lacks)";
      return false;
    }
    int next = WriteStdHead_Result(record->data(), PALLIX_RECORD_MAX, code, gbk.c_str(), judge);
    if (next < 0) {
      *error = where + WriteError(next);
      return false;
    }
    size = next;
  }
  record->resize(static_cast<size_t>(size));
  return true;
}

bool LooksLikeRecord(const std::vector<unsigned char>& bytes) {
  return bytes.size() >= 2 && bytes[0] == 0x55 && bytes[1] == 0xAA;
}

bool CheckRecord(const std::vector<unsigned char>& bytes, std::string* error) {
  if (bytes.size() > PALLIX_RECORD_MAX) {
    *error = "the record has " + std::to_string(bytes.size()) + " bytes, more than " +
             std::to_string(PALLIX_RECORD_MAX);
    return false;
  }
  // The parser reads from a buffer of the full record size, as the monitor's.
  std::vector<unsigned char> padded(PALLIX_RECORD_MAX, 0);
  std::copy(bytes.begin(), bytes.end(), padded.begin());
  StdHead head;
  PallixStdHeadPreset(&head);
  if (ParseStdHead(padded.data(), &head) != 1) {
    *error = "not a result record (its header or item list does not parse)";
    return false;
  }
  return true;
}

std::size_t RecordItemCount(const std::vector<unsigned char>& record) {
  if (record.size() < PALLIX_STD_HEAD_SIZE) return 0;
  return PallixGetU16(record.data() + PALLIX_STD_HEAD_COUNT_OFFSET);
}

}  // namespace brenna_send
