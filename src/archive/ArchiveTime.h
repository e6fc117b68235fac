// ArchiveTime - the times of the archive: a result is stamped in UTC
// milliseconds and kept with the local time the monitor saw, so "the
// results of 7 December" are those of the line's working day even after a
// change of the clock or of the time zone. Readers take times the same way,
// in local time.
#ifndef BRENNA_ARCHIVE_ARCHIVETIME_H
#define BRENNA_ARCHIVE_ARCHIVETIME_H

#include <cstdint>
#include <string>

namespace archive {

struct LocalTime {
  std::string text;       // "YYYY-MM-DD hh:mm:ss.mmm"
  std::string day;        // "YYYY-MM-DD"
  int offsetSeconds = 0;  // local time less UTC
};

// The current time, UTC milliseconds since 1970.
std::int64_t NowUtcMs();
LocalTime ToLocal(std::int64_t utcMs);
// "YYYY-MM-DDThh:mm:ss.mmmZ"
std::string UtcText(std::int64_t utcMs);
// "+08:00"
std::string OffsetText(int offsetSeconds);

// A local date "YYYY-MM-DD" (a real one: month 1-12, its days).
bool IsDay(const std::string& text);
// A local time "YYYY-MM-DD hh:mm[:ss[.mmm]]" (or a date alone, its
// midnight; 'T' may stand for the blank) as UTC milliseconds; false when
// it is none.
bool ParseLocalTime(const std::string& text, std::int64_t* utcMs);

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVETIME_H
