#include "TextHelpers.h"

#include <cstring>

namespace pallix::text {

std::size_t CharLength(const char* p) {
  const auto lead = static_cast<unsigned char>(p[0]);
  if (lead < 0x81 || lead == 0xFF) return 1;
  const auto trail = static_cast<unsigned char>(p[1]);
  if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
  return 1;
}

int TrimLeft(char* text, char ch) {
  if (text == nullptr) return -1;
  if (ch == '\0') return 0;
  std::size_t skip = 0;
  while (text[skip] == ch && CharLength(text + skip) == 1) ++skip;
  if (skip == 0) return 0;
  std::memmove(text, text + skip, std::strlen(text + skip) + 1);
  return 1;
}

int TrimRight(char* text, char ch) {
  if (text == nullptr) return -1;
  if (ch == '\0') return 0;
  // Walk forward so that a trail byte equal to ch is never taken for ch.
  std::size_t keep = 0, i = 0;
  while (text[i] != '\0') {
    std::size_t n = CharLength(text + i);
    if (!(n == 1 && text[i] == ch)) keep = i + n;
    i += n;
  }
  if (keep == i) return 0;
  text[keep] = '\0';
  return 1;
}

int GetField2(const char* text, int index, char* out, char sep) {
  if (text == nullptr || out == nullptr || index < 0) return -1;
  int field = 0;
  const char* start = text;
  const char* p = text;
  for (;;) {
    const bool end = *p == '\0';
    if (end || (*p == sep && CharLength(p) == 1)) {
      if (field == index) {
        std::size_t n = static_cast<std::size_t>(p - start);
        std::memmove(out, start, n);  // out may be text itself
        out[n] = '\0';
        return static_cast<int>(n);
      }
      if (end) break;
      ++field;
      ++p;
      start = p;
      continue;
    }
    p += CharLength(p);
  }
  out[0] = '\0';
  return 0;
}

}  // namespace pallix::text
