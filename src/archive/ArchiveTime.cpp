#include "archive/ArchiveTime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/LocalCalendar.h"

namespace archive {

namespace {

// Floor division, so times before 1970 keep their milliseconds positive.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && (a < 0)); }

bool Digits(const std::string& text, std::size_t at, std::size_t n, int* value) {
  if (at + n > text.size()) return false;
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

std::int64_t NowUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

LocalTime ToLocal(std::int64_t utcMs) {
  const std::int64_t seconds = FloorDiv(utcMs, 1000);
  const int millis = static_cast<int>(utcMs - seconds * 1000);
  CalendarTime local;
  LocalTime out;
  if (!ToLocalCalendar(seconds, &local, &out.offsetSeconds)) {
    local = CalendarTime{1900, 1, 0, 0, 0, 0};
    out.offsetSeconds = 0;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.year, local.month,
                local.day, local.hour, local.minute, local.second, millis);
  out.text = text;
  out.day = out.text.substr(0, 10);
  return out;
}

std::string UtcText(std::int64_t utcMs) {
  const std::int64_t seconds = FloorDiv(utcMs, 1000);
  const int millis = static_cast<int>(utcMs - seconds * 1000);
  CalendarTime utc;
  if (!ToUtcCalendar(seconds, &utc)) utc = CalendarTime{1900, 1, 0, 0, 0, 0};
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.year, utc.month,
                utc.day, utc.hour, utc.minute, utc.second, millis);
  return text;
}

std::string OffsetText(int offsetSeconds) {
  const int minutes = std::abs(offsetSeconds) / 60;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return text;
}

bool IsDay(const std::string& text) {
  int y = 0, m = 0, d = 0;
  return text.size() == 10 && Digits(text, 0, 4, &y) && text[4] == '-' && Digits(text, 5, 2, &m) &&
         text[7] == '-' && Digits(text, 8, 2, &d) && y >= 1970 && m >= 1 && m <= 12 && d >= 1 &&
         d <= DaysInMonth(y, m);
}

bool ParseLocalTime(const std::string& text, std::int64_t* utcMs) {
  if (text.size() < 10 || !IsDay(text.substr(0, 10))) return false;
  int hour = 0, minute = 0, second = 0, millis = 0;
  const std::size_t n = text.size();
  if (n > 10) {
    // "hh:mm", then ":ss", then ".mmm", nothing else.
    if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, &hour) || n < 16 ||
        text[13] != ':' || !Digits(text, 14, 2, &minute))
      return false;
    if (n > 16 && (text[16] != ':' || !Digits(text, 17, 2, &second))) return false;
    if (n > 19 && (text[19] != '.' || n != 23 || !Digits(text, 20, 3, &millis))) return false;
    if (n != 16 && n != 19 && n != 23) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
  }
  CalendarTime local;
  local.year = std::atoi(text.substr(0, 4).c_str());
  local.month = std::atoi(text.substr(5, 2).c_str());
  local.day = std::atoi(text.substr(8, 2).c_str());
  local.hour = hour;
  local.minute = minute;
  local.second = second;
  std::int64_t t = 0;
  if (!FromLocalCalendar(local, &t)) return false;
  *utcMs = t * 1000 + millis;
  return true;
}

}  // namespace archive
