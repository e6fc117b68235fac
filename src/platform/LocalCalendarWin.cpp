// Windows implementation of LocalCalendar.h: FILETIME (100 ns since 1601,
// UTC) and SYSTEMTIME, converted by the zone's own rules for the date.
#include <windows.h>

#include "platform/LocalCalendar.h"

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

bool ToSystemTime(std::int64_t seconds, SYSTEMTIME* out) {
  if (seconds < -kSecondsFrom1601To1970) return false;
  const auto ticks =
      static_cast<unsigned long long>(seconds + kSecondsFrom1601To1970) * kTicksPerSecond;
  FILETIME file;
  file.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFULL);
  file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return FileTimeToSystemTime(&file, out) != 0;
}

bool ToSeconds(const SYSTEMTIME& time, std::int64_t* seconds) {
  FILETIME file;
  if (!SystemTimeToFileTime(&time, &file)) return false;
  const unsigned long long ticks =
      (static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
  *seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
  return true;
}

CalendarTime FromSystemTime(const SYSTEMTIME& t) {
  CalendarTime c;
  c.year = t.wYear;
  c.month = t.wMonth;
  c.day = t.wDay;
  c.hour = t.wHour;
  c.minute = t.wMinute;
  c.second = t.wSecond;
  return c;
}

}  // namespace

bool ToLocalCalendar(std::int64_t seconds, CalendarTime* local, int* offsetSeconds) {
  SYSTEMTIME utc, there;
  std::int64_t localSeconds = 0;
  if (!ToSystemTime(seconds, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &there) ||
      !ToSeconds(there, &localSeconds))
    return false;
  *local = FromSystemTime(there);
  *offsetSeconds = static_cast<int>(localSeconds - seconds);
  return true;
}

bool ToUtcCalendar(std::int64_t seconds, CalendarTime* utc) {
  SYSTEMTIME t;
  if (!ToSystemTime(seconds, &t)) return false;
  *utc = FromSystemTime(t);
  return true;
}

bool FromLocalCalendar(const CalendarTime& local, std::int64_t* seconds) {
  if (local.year < 1601 || local.year > 30827) return false;
  SYSTEMTIME there{};
  there.wYear = static_cast<WORD>(local.year);
  there.wMonth = static_cast<WORD>(local.month);
  there.wDay = static_cast<WORD>(local.day);
  there.wHour = static_cast<WORD>(local.hour);
  there.wMinute = static_cast<WORD>(local.minute);
  there.wSecond = static_cast<WORD>(local.second);
  SYSTEMTIME utc;
  return TzSpecificLocalTimeToSystemTime(nullptr, &there, &utc) && ToSeconds(utc, seconds);
}
