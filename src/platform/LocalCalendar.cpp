// POSIX implementation of LocalCalendar.h.
#include "platform/LocalCalendar.h"

#include <ctime>

namespace {

CalendarTime FromTm(const tm& t) {
  CalendarTime c;
  c.year = t.tm_year + 1900;
  c.month = t.tm_mon + 1;
  c.day = t.tm_mday;
  c.hour = t.tm_hour;
  c.minute = t.tm_min;
  c.second = t.tm_sec;
  return c;
}

}  // namespace

bool ToLocalCalendar(std::int64_t seconds, CalendarTime* local, int* offsetSeconds) {
  const time_t t = static_cast<time_t>(seconds);
  tm out{};
  if (::localtime_r(&t, &out) == nullptr) return false;
  *local = FromTm(out);
  *offsetSeconds = static_cast<int>(out.tm_gmtoff);
  return true;
}

bool ToUtcCalendar(std::int64_t seconds, CalendarTime* utc) {
  const time_t t = static_cast<time_t>(seconds);
  tm out{};
  if (::gmtime_r(&t, &out) == nullptr) return false;
  *utc = FromTm(out);
  return true;
}

bool FromLocalCalendar(const CalendarTime& local, std::int64_t* seconds) {
  tm t{};
  t.tm_year = local.year - 1900;
  t.tm_mon = local.month - 1;
  t.tm_mday = local.day;
  t.tm_hour = local.hour;
  t.tm_min = local.minute;
  t.tm_sec = local.second;
  t.tm_isdst = -1;  // whatever the zone says for that day
  // -1 is also the second before 1970 (midnight of 1 January 1970 in a zone
  // east of UTC): only a day of the week left unset says mktime failed.
  t.tm_wday = -1;
  const time_t made = ::mktime(&t);
  if (made == static_cast<time_t>(-1) && t.tm_wday == -1) return false;
  *seconds = static_cast<std::int64_t>(made);
  return true;
}
