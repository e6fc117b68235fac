// RecordFormat - the byte layout of a result record, shared by the reader
// and the writer (docs/record-format.md says the same in prose).
//
//   header     21 bytes: the preset StdHead, 16-bit LE item count at 12
//   directory  count entries of 14 bytes, one per item, in item order:
//                +0  i32 item code
//                +4  i32 judge code
//                +8  u32 value offset, from the start of the value area
//                +12 u16 value length in bytes (0..511)
//   values     the value texts (GBK, no NUL byte), back to back in item
//              order: value i starts where value i-1 ends
//   end mark   4 bytes, LE u32 0x55AA55AA
//
// The directory gives every item at a fixed place, so reading item i costs
// the same whatever i is. All integers are little-endian
// (PallixByteOrder.h); nothing is read through a struct cast.
#ifndef PALLIX_RECORDFORMAT_H
#define PALLIX_RECORDFORMAT_H

#include <cstddef>
#include <cstdint>

#include "Pallix.h"

namespace pallix::record {

inline constexpr std::size_t kHeadSize = PALLIX_STD_HEAD_SIZE;             // 21
inline constexpr std::size_t kCountOffset = PALLIX_STD_HEAD_COUNT_OFFSET;  // 12
inline constexpr std::size_t kRecordMax = PALLIX_RECORD_MAX;               // 150,000
inline constexpr std::size_t kValueMax = PALLIX_VALUE_SIZE - 1;            // 511

// The header bytes every record carries (the count bytes 12 and 13 aside);
// the same bytes PallixStdHeadPreset writes.
inline constexpr unsigned char kHeadPreset[kHeadSize] = {0x55, 0xAA, 1, 1, 1, 0, 0, 0, 0, 0, 0,
                                                         0,    0,    0, 1, 0, 0, 0, 0, 0, 0};

inline constexpr std::size_t kEntrySize = PALLIX_RECORD_ENTRY_SIZE;  // 14
inline constexpr std::size_t kEntryCode = 0;
inline constexpr std::size_t kEntryJudge = 4;
inline constexpr std::size_t kEntryValueOffset = 8;
inline constexpr std::size_t kEntryValueLength = PALLIX_RECORD_ENTRY_LENGTH_OFFSET;  // 12

inline constexpr std::size_t kEndMarkSize = 4;
inline constexpr std::uint32_t kEndMark = PALLIX_RECORD_END_MARK;

// Size of a record with no items.
inline constexpr std::size_t kEmptyRecordSize = kHeadSize + kEndMarkSize;
// The most items that fit into kRecordMax (all with empty values).
inline constexpr std::size_t kMaxItems = (kRecordMax - kEmptyRecordSize) / kEntrySize;

// Start of the value area of a record with `count` items.
constexpr std::size_t ValuesStart(std::size_t count) { return kHeadSize + count * kEntrySize; }

}  // namespace pallix::record

#endif  // PALLIX_RECORDFORMAT_H
