// RecordReader - parses result records (the ParseStdHead family).
//
// A record is read from a buffer of at most kRecordMax bytes; no read ever
// goes past the end of the record its own header and directory describe,
// nor past kRecordMax. Nothing is kept between calls, so any number of
// threads may parse at once.
#ifndef PALLIX_RECORDREADER_H
#define PALLIX_RECORDREADER_H

#include <cstddef>
#include <cstdint>

#include "Pallix.h"

namespace pallix::record {

// Results besides 1 (done).
inline constexpr int kAbsent = 0;        // no such item / index out of range
inline constexpr int kBadArgument = -1;  // a null pointer
inline constexpr int kMalformed = -2;    // the record breaks the format

// Checks the whole record (linear in its size), reading nothing at or
// beyond `limit` bytes (at most kRecordMax). On success returns 1 and, when
// given, the item count and the record's size in bytes.
int Validate(const unsigned char* rec, std::size_t limit, std::size_t* count, std::size_t* size);

// ParseStdHead: copies the record's header into head when the whole record
// is well formed (1). Otherwise head is set to the preset with count 0 and
// the result is kMalformed (or kBadArgument when rec or head is null; a
// null head is never written).
int ParseHead(const void* rec, StdHead* head);

// ParseStdHead_ResultAll: the first item with `code`. Checks the whole
// record first; a malformed record has no items. value receives the text
// and its terminator (at most 512 bytes); judge may be null. Outputs are
// written only on success.
int FindByCode(const void* rec, int code, char* value, int* judge);

// ParseStdHead_ResultAll_Idx: item `index` (0-based) in constant time. It
// checks what it reads: the header, the directory entry and its
// neighbour, the value (length, bounds, no NUL) and the end mark behind
// the last value. code and judge may be null; value may not. Outputs are
// written only on success.
int ItemAt(const void* rec, int index, int* code, char* value, int* judge);

}  // namespace pallix::record

#endif  // PALLIX_RECORDREADER_H
