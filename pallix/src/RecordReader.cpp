#include "RecordReader.h"

#include <cstring>

#include "PallixByteOrder.h"
#include "RecordFormat.h"

namespace pallix::record {

namespace {

bool HeadMatches(const unsigned char* rec) {
  for (std::size_t i = 0; i < kHeadSize; ++i) {
    if (i == kCountOffset || i == kCountOffset + 1) continue;
    if (rec[i] != kHeadPreset[i]) return false;
  }
  return true;
}

struct Entry {
  std::int32_t code;
  std::int32_t judge;
  std::uint32_t offset;
  std::uint16_t length;
};

Entry EntryAt(const unsigned char* rec, std::size_t i) {
  const unsigned char* p = rec + kHeadSize + i * kEntrySize;
  return Entry{PallixGetI32(p + kEntryCode), PallixGetI32(p + kEntryJudge),
               PallixGetU32(p + kEntryValueOffset), PallixGetU16(p + kEntryValueLength)};
}

// The value area may extend at most to here (the end mark follows it).
constexpr std::size_t kValuesLimit = kRecordMax - kEndMarkSize;

bool HasNul(const unsigned char* p, std::size_t n) { return std::memchr(p, 0, n) != nullptr; }

void CopyValue(const unsigned char* rec, std::size_t start, const Entry& e, char* value) {
  std::memcpy(value, rec + start + e.offset, e.length);
  value[e.length] = '\0';
}

void Preset(StdHead* head) { PallixStdHeadPreset(head); }

}  // namespace

int Validate(const unsigned char* rec, std::size_t limit, std::size_t* count, std::size_t* size) {
  if (rec == nullptr) return kBadArgument;
  if (limit > kRecordMax) limit = kRecordMax;
  if (limit < kEmptyRecordSize) return kMalformed;
  const std::size_t valuesLimit = limit - kEndMarkSize;
  if (!HeadMatches(rec)) return kMalformed;
  const std::size_t n = PallixGetU16(rec + kCountOffset);
  if (n > kMaxItems) return kMalformed;
  const std::size_t start = ValuesStart(n);
  if (start > valuesLimit) return kMalformed;
  std::size_t expect = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Entry e = EntryAt(rec, i);
    if (e.offset != expect || e.length > kValueMax) return kMalformed;
    if (start + expect + e.length > valuesLimit) return kMalformed;
    if (HasNul(rec + start + expect, e.length)) return kMalformed;
    expect += e.length;
  }
  const std::size_t end = start + expect;
  if (PallixGetU32(rec + end) != kEndMark) return kMalformed;
  if (count != nullptr) *count = n;
  if (size != nullptr) *size = end + kEndMarkSize;
  return 1;
}

int ParseHead(const void* rec, StdHead* head) {
  if (head == nullptr) return kBadArgument;
  if (rec == nullptr) {
    Preset(head);
    return kBadArgument;
  }
  const auto* bytes = static_cast<const unsigned char*>(rec);
  int rc = Validate(bytes, kRecordMax, nullptr, nullptr);
  if (rc != 1) {
    Preset(head);
    return rc;
  }
  std::memcpy(head->bytes, bytes, kHeadSize);
  return 1;
}

int FindByCode(const void* rec, int code, char* value, int* judge) {
  if (rec == nullptr || value == nullptr) return kBadArgument;
  const auto* bytes = static_cast<const unsigned char*>(rec);
  std::size_t n = 0;
  int rc = Validate(bytes, kRecordMax, &n, nullptr);
  if (rc != 1) return rc;
  const std::size_t start = ValuesStart(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Entry e = EntryAt(bytes, i);
    if (e.code != code) continue;
    CopyValue(bytes, start, e, value);
    if (judge != nullptr) *judge = e.judge;
    return 1;
  }
  return kAbsent;
}

int ItemAt(const void* rec, int index, int* code, char* value, int* judge) {
  if (rec == nullptr || value == nullptr) return kBadArgument;
  const auto* bytes = static_cast<const unsigned char*>(rec);
  if (!HeadMatches(bytes)) return kMalformed;
  const std::size_t n = PallixGetU16(bytes + kCountOffset);
  if (n > kMaxItems) return kMalformed;
  if (index < 0 || static_cast<std::size_t>(index) >= n) return kAbsent;
  const std::size_t i = static_cast<std::size_t>(index);
  const std::size_t start = ValuesStart(n);

  // The last entry fixes where the value area ends; the end mark must be
  // there.
  const Entry last = EntryAt(bytes, n - 1);
  if (last.length > kValueMax || last.offset > kValuesLimit) return kMalformed;
  const std::size_t valuesEnd = static_cast<std::size_t>(last.offset) + last.length;
  if (start + valuesEnd > kValuesLimit) return kMalformed;
  if (PallixGetU32(bytes + start + valuesEnd) != kEndMark) return kMalformed;

  const Entry e = EntryAt(bytes, i);
  std::size_t expected = 0;
  if (i > 0) {
    const Entry prev = EntryAt(bytes, i - 1);
    if (prev.length > kValueMax) return kMalformed;
    expected = static_cast<std::size_t>(prev.offset) + prev.length;
  }
  if (e.offset != expected || e.length > kValueMax) return kMalformed;
  if (static_cast<std::size_t>(e.offset) + e.length > valuesEnd) return kMalformed;
  if (HasNul(bytes + start + e.offset, e.length)) return kMalformed;

  CopyValue(bytes, start, e, value);
  if (code != nullptr) *code = e.code;
  if (judge != nullptr) *judge = e.judge;
  return 1;
}

}  // namespace pallix::record
