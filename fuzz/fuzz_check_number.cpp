// Any bytes as a typed-in port entry. CheckNumber must agree with a reading
// of the rule written independently of it (a small grammar: an optional
// '-', then nothing or digits with at most one '.' after them), and the
// value of every accepted entry must come out without overflow.
#include <climits>
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "util/PortNumber.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// -?([0-9]+(\.[0-9]*)?)?
bool Grammar(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && t[i] == '-') ++i;
  if (i == t.size()) return true;
  if (!IsDigit(t[i])) return false;
  while (i < t.size() && IsDigit(t[i])) ++i;
  if (i < t.size() && t[i] == '.') ++i;
  while (i < t.size() && IsDigit(t[i])) ++i;
  return i == t.size();
}

// The leading '-'-and-digits value, saturated to the int range.
long long Expected(const std::string& t) {
  size_t i = 0;
  const bool negative = i < t.size() && t[i] == '-';
  if (negative) ++i;
  long long v = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    v = v * 10 + (t[i] - '0');
    if (v > 1LL << 32) v = 1LL << 32;
  }
  v = negative ? -v : v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int checked = CheckNumber(text);
  if (checked != 0 && checked != 1) FuzzScratch::Fail("CheckNumber gave neither 0 nor 1");
  if ((checked == 1) != Grammar(text)) FuzzScratch::Fail("CheckNumber disagrees with the rule");
  if (checked == 1 && PortEntryValue(text) != Expected(text))
    FuzzScratch::Fail("an accepted entry converts to the wrong value");
  return 0;
}
