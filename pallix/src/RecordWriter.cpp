#include "RecordWriter.h"

#include <cstring>

#include "PallixByteOrder.h"
#include "RecordFormat.h"
#include "RecordReader.h"

namespace pallix::record {

int StartRecord(void* rec, const StdHead* head) {
  if (rec == nullptr) return kWriteBadArgument;
  if (head != nullptr) {
    for (std::size_t i = 0; i < kHeadSize; ++i) {
      if (i == kCountOffset || i == kCountOffset + 1) continue;
      if (head->bytes[i] != kHeadPreset[i]) return kWriteMalformed;
    }
  }
  auto* bytes = static_cast<unsigned char*>(rec);
  std::memcpy(bytes, kHeadPreset, kHeadSize);
  PallixPutU16(bytes + kCountOffset, 0);
  PallixPutU32(bytes + kHeadSize, kEndMark);
  return static_cast<int>(kEmptyRecordSize);
}

int AppendItem(void* rec, int capacity, int code, const char* value, int judge) {
  if (rec == nullptr || value == nullptr || capacity < 0) return kWriteBadArgument;
  std::size_t cap = static_cast<std::size_t>(capacity);
  if (cap > kRecordMax) cap = kRecordMax;
  const std::size_t length = std::strlen(value);
  if (length > kValueMax) return kWriteValueTooLong;
  if (cap < kEmptyRecordSize) return kWriteNoRoom;

  auto* bytes = static_cast<unsigned char*>(rec);
  std::size_t count = 0, size = 0;
  if (Validate(bytes, cap, &count, &size) != 1) return kWriteMalformed;
  if (count + 1 > kMaxItems) return kWriteTooManyItems;
  const std::size_t newSize = size + kEntrySize + length;
  if (newSize > cap) return kWriteNoRoom;

  // Make room for one directory entry: the values and the end mark move up.
  const std::size_t oldStart = ValuesStart(count);
  const std::size_t valuesLength = size - kEndMarkSize - oldStart;
  std::memmove(bytes + oldStart + kEntrySize, bytes + oldStart, valuesLength);

  unsigned char* entry = bytes + oldStart;
  PallixPutU32(entry + kEntryCode, static_cast<std::uint32_t>(code));
  PallixPutU32(entry + kEntryJudge, static_cast<std::uint32_t>(judge));
  PallixPutU32(entry + kEntryValueOffset, static_cast<std::uint32_t>(valuesLength));
  PallixPutU16(entry + kEntryValueLength, static_cast<std::uint16_t>(length));

  const std::size_t newStart = ValuesStart(count + 1);
  std::memcpy(bytes + newStart + valuesLength, value, length);
  PallixPutU32(bytes + newStart + valuesLength + length, kEndMark);
  PallixPutU16(bytes + kCountOffset, static_cast<std::uint16_t>(count + 1));
  return static_cast<int>(newSize);
}

}  // namespace pallix::record
