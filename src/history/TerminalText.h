// TerminalText - how brenna-history lays out its tables: texts written as
// they are, numbers aligned right, a device group by its caption.
#ifndef BRENNA_HISTORY_TERMINALTEXT_H
#define BRENNA_HISTORY_TERMINALTEXT_H

#include <cstdio>
#include <string>

#include "reports/ArchiveText.h"

namespace history {

inline void Put(std::FILE* out, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out);
}

// The text right-aligned in `width` bytes (its digits and ASCII).
inline std::string Right(const std::string& text, int width) {
  return text.size() >= static_cast<std::size_t>(width)
             ? text
             : std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// A group's caption; "-" for results of no group.
inline std::string Group(const std::string& caption) {
  return caption.empty() ? std::string("-") : reports::FromUtf8(caption);
}

}  // namespace history

#endif  // BRENNA_HISTORY_TERMINALTEXT_H
