#include "journal/RunLines.h"

#include <vector>

#include "journal/JournalLine.h"
#include "journal/JournalWriter.h"
#include "platform/JournalIo.h"
#include "platform/SystemText.h"

namespace journal {

namespace {

// "YYYY-MM-DD hh:mm:ss.mmm" at the start of a line.
bool StartsWithStamp(const std::string& line) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd.ddd";
  if (line.size() < kStampLength) return false;
  for (std::size_t i = 0; i < kStampLength; ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace

void WriteAlways(Level level, Category category, const std::string& text) {
  ProcessJournalWriter().Submit(
      level, FormatLine(std::chrono::system_clock::now(), level, CategoryName(category), text),
      kStampLength);
}

// A run's last line in brenna.start is its stop line; lines of other
// categories (the journal's own, the window system's as it shuts down) may
// follow it.
bool EndedWithoutStop(const std::string& tail, std::string* last, const char* program) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < tail.size()) {
    std::string::size_type end = tail.find('\n', start);
    if (end == std::string::npos) end = tail.size();
    if (end > start) lines.push_back(tail.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty()) return false;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find(" brenna.start: ") == std::string::npos) continue;
    if (it->find(std::string(" brenna.start: ") + program + " stopped") != std::string::npos)
      return false;
    break;
  }
  const std::string& final = lines.back();
  *last =
      StartsWithStamp(final) ? final.substr(0, kStampLength) : "\"" + final.substr(0, 80) + "\"";
  return true;
}

void WriteStartLines(const char* version, const char* program) {
  const std::string file = ProcessJournalWriter().FilePath();
  WriteAlways(Level::kInfo, Category::kStart,
              std::string(program) + " " + version + " starting, process " +
                  std::to_string(journal_io::ProcessId()) + "; journal " +
                  (file.empty() ? std::string("on stderr only") : Utf8FromSystem(file)));
  std::string last;
  if (EndedWithoutStop(ProcessJournalWriter().PreviousTail(), &last, program)) {
    WriteAlways(Level::kWarning, Category::kStart,
                "the previous run ended without its stop line: it was killed, crashed or lost "
                "its power after its last line, written " +
                    last);
  }
}

void WriteProcessEnding(const char* how) {
  // Repeats still being counted are said now: a stop must not swallow them.
  FlushAll();
  WriteSummary();
  WriteAlways(Level::kInfo, Category::kStart,
              std::string("BrennaCenter stopped") + (*how != '\0' ? " " : "") + how);
  ProcessJournalWriter().Drain();
}

void WriteHeartbeatWhenSilent(std::chrono::milliseconds period) {
  const auto silent = std::chrono::steady_clock::now() - ProcessJournalWriter().LastSubmitted();
  if (silent < period) return;
  WriteAlways(Level::kInfo, Category::kJournal,
              "still running, process " + std::to_string(journal_io::ProcessId()) +
                  ": nothing to report for " + FormatSpan(silent));
}

void RouteToWriter(Level level, Category category, const char* text) {
  WriteAlways(level, category, text);
}

}  // namespace journal
