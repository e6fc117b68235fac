// Operations built from several table entries; they have no library
// function of their own.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

namespace {

// The decimal value of a text the way the library's callers have always
// read it: leading blanks and a sign allowed, parsing stops at the first
// non-digit, no digits gives 0, and out-of-range values saturate.
int DecimalValue(const char* text) {
  if (text == nullptr) return 0;
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// A buffer the library fills; its last byte stays a terminator whatever
// the library writes.
struct TextBuffer {
  char bytes[PALLIX_VALUE_SIZE] = {};
  char* data() { return bytes; }
  const char* text() {
    bytes[sizeof bytes - 1] = '\0';
    return bytes;
  }
};

// Room for "%04d-%02d-%02d" of the widest date record: an 11-character
// year, two 3-digit byte fields, two dashes and the terminator.
constexpr size_t kDateTextSize = 20;
// GetItemIDByDevID fills at most this many item IDs.
constexpr int kItemListSize = 200;

}  // namespace

int TrimBoth(char* text, char ch) {
  TrimLeft(text, ch);
  TrimRight(text, ch);
  return 1;
}

int GetMainID(const char* text) {
  if (PallixEntry(PallixSlot::GetMainID) == nullptr) return PALLIX_NOT_LOADED;
  if (text == nullptr) return 0;
  return GetMainID(DecimalValue(text));
}

int GetMainIDByName(const char* text, int arg) {
  int value = 0;
  if (IsSubID_char(text) > 0) {
    value = DecimalValue(text);
  } else {
    TextBuffer id;
    if (GetParamIDByName(text, arg, id.data()) > 0) value = DecimalValue(id.text());
  }
  return GetMainID(value);
}

int GetMainIDOfLine(int id, int line) {
  if (IsSubID_int(id) <= 0) return 0;
  return id / 10000 == line ? GetMainID(id) : 0;
}

int GetFirstItemDevID(int devId) {
  int items[kItemListSize] = {};
  const int found = GetItemIDByDevID(devId, items);
  if (found <= 0) return found;
  return GetDevIDByItemID(items[0]);
}

int GetDateByTimeSpan(const char* dateText, int span, char* outText) {
  if (PallixEntry(PallixSlot::GetDateByTimeSpan) == nullptr ||
      PallixEntry(PallixSlot::GetField2) == nullptr) {
    return PALLIX_NOT_LOADED;
  }
  if (outText == nullptr || dateText == nullptr) return 0;
  // GetField2 writes a whole field into a value buffer; no field of a text
  // shorter than the buffer can overrun it. A longer text is no date.
  if (std::memchr(dateText, '\0', PALLIX_VALUE_SIZE) == nullptr) return kDateTextTooLong;
  // The caller sees its own date in outText when the split fails.
  std::memmove(outText, dateText, std::strlen(dateText) + 1);

  int parts[3] = {};  // year, month, day
  for (int i = 0; i < 3; ++i) {
    TextBuffer field;
    if (GetField2(dateText, i, field.data(), '-') <= 0) return -2;
    parts[i] = DecimalValue(field.text());
  }
  PallixDate in = {};
  in.year = parts[0];
  in.month = static_cast<unsigned char>(parts[1]);
  in.day = static_cast<unsigned char>(parts[2]);
  PallixDate out = {};
  if (GetDateByTimeSpan(&in, span, &out) <= 0) return 0;
  std::snprintf(outText, kDateTextSize, "%04d-%02d-%02d", static_cast<int>(out.year),
                static_cast<int>(out.month), static_cast<int>(out.day));
  return 1;
}
