#include "journal/PallixReports.h"

#include <cstddef>
#include <cstring>

#include "journal/Journal.h"
#include "platform/PallixBinding.h"

namespace journal {

namespace {

Category CategoryOf(const char* name) {
  if (name != nullptr && std::strcmp(name, PALLIX_LOG_NET) == 0) return Category::kNet;
  if (name != nullptr && std::strcmp(name, PALLIX_LOG_SPOOL) == 0) return Category::kSpool;
  return Category::kStart;
}

Event EventOf(int event) {
  switch (event) {
    case PALLIX_EVENT_CONNECTION_OPENED:
      return Event::kConnectionOpened;
    case PALLIX_EVENT_CONNECTION_CLOSED:
      return Event::kConnectionClosed;
    case PALLIX_EVENT_CONNECTION_REFUSED:
      return Event::kConnectionRefused;
    case PALLIX_EVENT_FRAME_REFUSED:
      return Event::kFrameRefused;
    default:
      return Event::kNone;  // a kind this monitor does not know: a plain line
  }
}

Level LevelOf(int level) {
  if (level <= PALLIX_LOG_DEBUG) return Level::kDebug;
  if (level >= PALLIX_LOG_ERROR) return Level::kError;
  return static_cast<Level>(level);
}

// Whether a record of the library's size holds the field that ends at `end`
// (a library of another version may send a shorter record).
bool Holds(const PallixLogRecord* record, std::size_t end) {
  return record->size >= 0 && static_cast<std::size_t>(record->size) >= end;
}

}  // namespace

void ForwardPallixReport(const PallixLogRecord* record, void*) {
  if (record == nullptr || !Holds(record, offsetof(PallixLogRecord, text) + sizeof(char*))) return;
  const Level level = LevelOf(record->level);
  const Category category = CategoryOf(record->category);
  const char* text = record->text != nullptr ? record->text : "";
  const bool hasEvent = Holds(record, offsetof(PallixLogRecord, reason) + sizeof(char*));
  const Event event = hasEvent ? EventOf(record->event) : Event::kNone;
  if (event == Event::kNone) {
    if (Enabled(level, category)) Write(level, category, "%s", text);
    return;
  }
  Report(level, category, event, record->peer, record->reason, "%s", text);
}

void ConnectPallixReports() {
  Level lowest = Level::kOff;
  for (Category c : {Category::kStart, Category::kNet, Category::kSpool}) {
    if (Threshold(c) < lowest) lowest = Threshold(c);
  }
  // Events are counted whatever is written: the library reports them all.
  if (lowest > Level::kInfo) lowest = Level::kInfo;
  SetPallixLogSink(&ForwardPallixReport, nullptr, static_cast<int>(lowest));
}

void DisconnectPallixReports() { SetPallixLogSink(nullptr, nullptr, PALLIX_LOG_WARNING); }

}  // namespace journal
