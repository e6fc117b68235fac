// LocalCalendar - the system's time zone, for the archive's times: a moment
// as the local calendar showed it, with the zone's offset from UTC then,
// and the moment a local calendar time names.
//
// LocalCalendar.cpp is the POSIX implementation (localtime_r, tm_gmtoff,
// mktime), LocalCalendarWin.cpp the Windows one (the zone's own rules
// through SystemTimeToTzSpecificLocalTime, as the journal's time stamps;
// the C run-time's time zone follows TZ, which Windows programs do not
// set).
#ifndef BRENNA_PLATFORM_LOCALCALENDAR_H
#define BRENNA_PLATFORM_LOCALCALENDAR_H

#include <cstdint>

struct CalendarTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// `seconds` since 1970 (UTC) on the local calendar, and local time less UTC
// at that moment (summer time included). False when the system cannot tell.
bool ToLocalCalendar(std::int64_t seconds, CalendarTime* local, int* offsetSeconds);
// `seconds` since 1970 on the UTC calendar.
bool ToUtcCalendar(std::int64_t seconds, CalendarTime* utc);
// The moment (seconds since 1970) a local calendar time names, with the
// zone's rules for that day. False when the system cannot tell.
bool FromLocalCalendar(const CalendarTime& local, std::int64_t* seconds);

#endif  // BRENNA_PLATFORM_LOCALCALENDAR_H
