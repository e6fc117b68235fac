#include "util/PortNumber.h"

#include <algorithm>

#include "util/TextNumber.h"

int CheckNumber(const std::string& text) {
  try {
    if (text.size() >= 2 && text[0] == '-' && text[1] == '.') return 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '-') {
        if (i != 0) return 0;
        if (text.find('-', 1) != std::string::npos) return 0;
      } else if (c == '.') {
        if (i == 0) return 0;
        if (std::count(text.begin() + 1, text.end(), '.') > 1) return 0;
      } else if (c < '0' || c > '9') {
        return 0;
      }
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

int PortEntryValue(const std::string& text) { return ParseLeadingInt(text); }

bool IsUsablePort(int value) { return value >= 1 && value <= 65535; }
