// JournalLine - the shape of one journal line (one line in the file, broken
// here to fit):
//
//   2024-05-17 10:42:03.123 WARN  brenna.spool: chunk of transfer 'A0517' from
//   10.1.2.3:40001 refused: it announces a file of 0 bytes (1 to 32767)
//
// local time with milliseconds, the level (DEBUG, INFO, WARN, ERROR, padded
// to five), the category, the text. A control byte, a byte that is not
// UTF-8 and a backslash appear as \xNN (\\ for the backslash), so one
// message is always one line and a name from the wire cannot forge one.
//
// On its way to the line (through Qt's logging, which takes UTF-8 only) a
// byte that cannot be shown as it is travels as the private-use character
// U+F700 + byte (U+F780 to U+F7FF), which the line writes as \xNN again.
#ifndef BRENNA_JOURNAL_JOURNALLINE_H
#define BRENNA_JOURNAL_JOURNALLINE_H

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "journal/Journal.h"

namespace journal {

// Length of the timestamp at the start of a line.
inline constexpr std::size_t kStampLength = 23;

// "DEBUG", "INFO ", "WARN ", "ERROR".
const char* LevelName(Level level);

// The line, without a line break.
std::string FormatLine(std::chrono::system_clock::time_point when, Level level,
                       std::string_view category, std::string_view text);

// Appends text as a line shows it (escaped as above).
void AppendEscaped(std::string* out, std::string_view text);

// Appends the byte (0x80 to 0xFF) as the character that carries it.
void AppendStrayByte(std::string* out, unsigned char byte);
// text with every byte that is not part of well-formed UTF-8 carried as a
// character, so it survives a conversion to Unicode and is still \xNN in
// the line.
std::string CarryStrayBytes(std::string_view text);

// A count with thousands separators: "4,312".
std::string FormatCount(unsigned long long count);

// A span for a summary: "45 s" below two minutes, else whole minutes "60 min".
std::string FormatSpan(std::chrono::steady_clock::duration span);

}  // namespace journal

#endif  // BRENNA_JOURNAL_JOURNALLINE_H
