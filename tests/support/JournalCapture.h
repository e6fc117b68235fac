// JournalCapture - the journal's lines as a test sees them, "LEVEL
// category: text", for as long as the object lives (with the spool
// category writing from INFO up); the journal is reset before and after.
#ifndef BRENNA_TESTS_JOURNALCAPTURE_H
#define BRENNA_TESTS_JOURNALCAPTURE_H

#include <string>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalLine.h"

class JournalCapture {
 public:
  JournalCapture() {
    Lines().clear();
    journal::Reset();
    journal::SetRouter(&Capture);
    journal::SetThreshold(journal::Category::kSpool, journal::Level::kInfo);
  }
  ~JournalCapture() {
    journal::SetRouter(nullptr);
    journal::SetThreshold(journal::Category::kSpool, journal::Level::kWarning);
    journal::Reset();
  }
  JournalCapture(const JournalCapture&) = delete;
  JournalCapture& operator=(const JournalCapture&) = delete;

  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }

  // The one line that holds `part`; empty when none or several do.
  static std::string Line(const std::string& part) {
    std::string found;
    for (const std::string& l : Lines()) {
      if (l.find(part) == std::string::npos) continue;
      if (!found.empty()) return std::string();
      found = l;
    }
    return found;
  }

 private:
  static void Capture(journal::Level level, journal::Category category, const char* text) {
    Lines().push_back(std::string(journal::LevelName(level)) + journal::CategoryName(category) +
                      ": " + text);
  }
};

#endif  // BRENNA_TESTS_JOURNALCAPTURE_H
