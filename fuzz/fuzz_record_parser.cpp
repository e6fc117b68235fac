// Any bytes as a result record, placed at the start of a zeroed
// 150,000-byte buffer as the monitor reads a spool file. Beyond "no crash,
// no read outside": the readers must agree with each other.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "RecordFormat.h"
#include "RecordReader.h"
#include "RecordWriter.h"

using namespace pallix::record;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized heap buffer: the sanitizer sees any read past it.
  std::vector<unsigned char> rec(kRecordMax, 0);
  std::memcpy(rec.data(), data, size < kRecordMax ? size : kRecordMax);

  StdHead head;
  PallixStdHeadPreset(&head);
  const int parsed = ParseHead(rec.data(), &head);
  const int count = PallixGetU16(head.bytes + kCountOffset);
  if (parsed != 1 && count != 0) __builtin_trap();  // a refused record has no items

  char value[PALLIX_VALUE_SIZE];
  int code = 0, judge = 0;
  const int stated = PallixGetU16(rec.data() + kCountOffset);
  // The first item of each code, as the walk by index meets it.
  std::map<int, std::pair<std::string, int>> first;
  for (int i = 0; i < stated && i < 20000; ++i) {
    const int rc = ItemAt(rec.data(), i, &code, value, &judge);
    // In a well-formed record every item is there.
    if (parsed == 1 && rc != 1) __builtin_trap();
    if (rc == 1) {
      if (std::strlen(value) > kValueMax) __builtin_trap();
      first.emplace(code, std::make_pair(std::string(value), judge));
      // The lookup by code finds the first item of that code.
      char byCode[PALLIX_VALUE_SIZE];
      int judgeByCode = 0;
      if (parsed == 1) {
        if (FindByCode(rec.data(), code, byCode, &judgeByCode) != 1) __builtin_trap();
        const auto& expected = first.at(code);
        if (expected.first != byCode || expected.second != judgeByCode) __builtin_trap();
      }
    }
  }
  // No item before the first or after the last.
  if (ItemAt(rec.data(), -1, &code, value, &judge) == 1) __builtin_trap();
  if (ItemAt(rec.data(), stated, &code, value, &judge) == 1) __builtin_trap();
  FindByCode(rec.data(), 7700, value, &judge);

  // Appending to a well-formed record keeps it well formed.
  if (parsed == 1) {
    size_t n = 0, bytes = 0;
    Validate(rec.data(), kRecordMax, &n, &bytes);
    if (AppendItem(rec.data(), static_cast<int>(kRecordMax), 5000, "1", 1) > 0 &&
        ParseHead(rec.data(), &head) != 1)
      __builtin_trap();
  }
  return 0;
}
