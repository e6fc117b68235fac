// StationRecord - a result record from a station's plain-text description.
//
// One item per line: item code, judge code and the value text, separated by
// blanks; the value is the rest of the line and may be empty or contain
// blanks. Lines that are empty or start with '#' are skipped. The text is
// UTF-8 (a leading byte-order mark is skipped); values are stored as GBK,
// as the monitor expects them.
#ifndef BRENNA_TOOLS_STATIONRECORD_H
#define BRENNA_TOOLS_STATIONRECORD_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brenna_send {

// Builds the record; false with a message naming the line on bad input.
bool BuildRecordFromText(std::string_view utf8Text, std::vector<unsigned char>* record,
                         std::string* error);

// UTF-8 to GBK; false when a character has no GBK form.
bool Utf8ToGbk(std::string_view utf8, std::string* gbk);

// Whether a file's bytes start like a result record (its two marker bytes,
// which no UTF-8 text can start with) rather than a text description.
bool LooksLikeRecord(const std::vector<unsigned char>& bytes);

// Whether bytes are a whole result record the monitor can read: at most
// 150,000 bytes and parsed by ParseStdHead. False with the reason.
bool CheckRecord(const std::vector<unsigned char>& bytes, std::string* error);

// How many items a record (built or checked above) holds.
std::size_t RecordItemCount(const std::vector<unsigned char>& record);

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_STATIONRECORD_H
