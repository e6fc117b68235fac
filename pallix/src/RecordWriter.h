// RecordWriter - builds result records (WriteStdHead, WriteStdHead_Result).
//
// A station starts a record with StartRecord and appends one item per
// result with AppendItem; each call returns the record's size so far,
// which is what the station writes to its file.
#ifndef PALLIX_RECORDWRITER_H
#define PALLIX_RECORDWRITER_H

#include <cstddef>

#include "Pallix.h"

namespace pallix::record {

// Results besides a positive record size.
inline constexpr int kWriteBadArgument = -1;   // null pointer, negative capacity
inline constexpr int kWriteMalformed = -2;     // head or existing record not in our format
inline constexpr int kWriteValueTooLong = -3;  // value longer than 511 bytes
inline constexpr int kWriteNoRoom = -4;        // the item does not fit into the capacity
inline constexpr int kWriteTooManyItems = -5;  // no room in the directory

// WriteStdHead: writes an empty record (header with count 0, end mark:
// kEmptyRecordSize = 25 bytes) into rec and returns 25. head, when given,
// must be a preset header (its count is ignored); null means the preset.
int StartRecord(void* rec, const StdHead* head);

// WriteStdHead_Result: appends an item to the well-formed record in rec,
// which has room for `capacity` bytes (anything above kRecordMax counts as
// kRecordMax). Returns the new record size, or a negative result with the
// record unchanged. value is GBK text of at most 511 bytes.
int AppendItem(void* rec, int capacity, int code, const char* value, int judge);

}  // namespace pallix::record

#endif  // PALLIX_RECORDWRITER_H
