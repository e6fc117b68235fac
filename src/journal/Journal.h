// Journal - the monitor's one journal: what it did and what it refused,
// one line per event, for the people who ask later why a result did not
// appear. This is the entry point of the code without a window (network
// tasks, chunk writer, spool scan, decoder, binding); the window's side
// (app/MonitorJournal) routes what is written here into Qt's logging
// categories "brenna.<category>", so QT_LOGGING_RULES chooses what is
// written, and from there to standard error and the journal file.
//
// Texts are UTF-8 (the journal is read with journalctl and tail); a GBK
// name from the wire goes through JournalName() first. Every control byte
// is shown escaped when the line is written, so one call is one line.
//
// Two kinds of call:
//   BRENNA_LOG(kInfo, kSpool, "...", ...)   a plain line
//   BRENNA_EVENT(kWarning, kNet, kFrameRefused, peer, reason, "...", ...)
//       an event: counted for the hourly summary, and folded when the same
//       event (kind, level, peer, reason) repeats within a minute: the
//       first is written, the rest become one line "N more ... from <peer>:
//       <reason>, last 60 s" when the minute is over.
// An event reported while an EventName exists on the same thread is about
// that name (a transfer's): its folded line keeps the first few names,
// "...; names 'a', 'b', 'c' and 12 more".
// Both format nothing when their level is not wanted; events are still
// counted. Any thread may call; nothing here waits for a disk.
#ifndef BRENNA_JOURNAL_JOURNAL_H
#define BRENNA_JOURNAL_JOURNAL_H

#include <cstdint>
#include <string>
#include <string_view>

#include "Pallix.h"

// mingw-w64's C++ runtime formats with its own C99 printf (%zu works), which
// "printf" alone would check as the older Windows one.
#if defined(__MINGW32__)
#define BRENNA_PRINTF(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define BRENNA_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define BRENNA_PRINTF(fmt, first)
#endif

namespace journal {

enum class Level : int {
  kDebug = PALLIX_LOG_DEBUG,
  kInfo = PALLIX_LOG_INFO,
  kWarning = PALLIX_LOG_WARNING,
  kError = PALLIX_LOG_ERROR,
  kOff = PALLIX_LOG_ERROR + 1,  // as a threshold only: nothing is written
};

// The categories, each a Qt logging category "brenna.<name>".
enum class Category : int {
  kStart,     // start and stop, library, site directories, port
  kNet,       // connections and frames
  kSpool,     // transfers, publication, chunk files
  kDisplay,   // results shown
  kSettings,  // the port dialog
  kJournal,   // the journal itself: hourly summary, its own trouble
  kShip,      // brenna-ship: the company database, what was shipped there
};
inline constexpr int kCategoryCount = 7;
// "brenna.start", "brenna.net", ...
const char* CategoryName(Category category);

// What an event is about. The first four are the values libPallix reports
// (PALLIX_EVENT_*).
enum class Event : int {
  kNone = PALLIX_EVENT_NONE,  // a plain line: neither counted nor folded
  kConnectionOpened = PALLIX_EVENT_CONNECTION_OPENED,
  kConnectionClosed = PALLIX_EVENT_CONNECTION_CLOSED,
  kConnectionRefused = PALLIX_EVENT_CONNECTION_REFUSED,
  kFrameRefused = PALLIX_EVENT_FRAME_REFUSED,
  kTransferStarted = 16,  // first chunk of a transfer seen
  kTransferPublished,     // a result file put into the spool directory
  kTransferRefused,       // reason: which rule (name, bounds, size, decompression, disk)
  kTransferAbandoned,     // never completed; its chunk file removed
  kChunkFilesRemoved,     // left-over chunk files cleaned up
  kResultShown,           // a result shown in the window
  kResultRefused,         // a spool file the window could not show
  kFrameIgnored,          // a valid frame that carries no chunk (a keep-alive): not a refusal
  kTransferIncomplete,    // its station's connection ended before its last chunk
};

// How the journal treats an event: whether repeats are folded, what the
// hourly summary counts it as, and the words of its summary line.
struct EventTraits {
  bool folded;
  enum class Counter { kNone, kConnection, kPublished, kShown, kRefused } counter;
  const char* plural;  // "frames refused", for "N more frames refused from ..."
};
const EventTraits& TraitsOf(Event event);

// True when a line of this level in this category is written: one atomic
// load, for call sites that build their text at some cost.
bool Enabled(Level level, Category category);

// A plain line.
void Write(Level level, Category category, const char* format, ...) BRENNA_PRINTF(3, 4);

// An event about a peer (the station's address without port, or null) and
// a reason (a short fixed text such as "bad trailer", or null).
void Report(Level level, Category category, Event event, const char* peer, const char* reason,
            const char* format, ...) BRENNA_PRINTF(6, 7);

// While it exists, the events this thread reports are about `gbkName` (a
// transfer's name as it came from the wire; empty: none), which must
// outlive it. Only a folded line converts it, so a scope costs nothing
// else. Scopes nest.
class EventName {
 public:
  explicit EventName(std::string_view gbkName);
  ~EventName();
  EventName(const EventName&) = delete;
  EventName& operator=(const EventName&) = delete;

 private:
  std::string_view previous_;
};

// One frame read from a station: counted for the hourly summary, nothing
// written. The cost of a relaxed atomic increment.
void CountFrame();

// Writes the summaries of folding windows that have ended. The window's
// side calls it every few seconds; events also do, at most once a second.
void Flush();

// Writes the summaries of every folded flood now, ended or not: the
// program stops.
void FlushAll();

// Writes the summary of the counts since the last one ("last <minutes>
// min: ..."; info, category journal) and starts counting afresh. Returns
// the line's text.
std::string WriteSummary();

// Where written lines go. The window's side installs its routing into
// Qt's categories; the default writes whole lines to standard error. Called
// from any thread, with no lock of the journal held.
using Router = void (*)(Level level, Category category, const char* text);
void SetRouter(Router router);  // null: the default again

// The lowest level written per category. Before the window's side sets
// them: warnings and errors only.
void SetThreshold(Category category, Level level);
Level Threshold(Category category);

// Forgets folding windows and counts (a fresh start; tests).
void Reset();

// A GBK name from the wire (a transfer name) as UTF-8 for a line. A byte
// that is no part of a GBK character is kept as it is: it is never UTF-8
// there, so the line shows it as \xNN, as the station tool does.
std::string JournalName(std::string_view gbk);

// Longest text of one line, terminator included; a longer one is cut at a
// character boundary and ends in "...".
inline constexpr int kMaxText = 1024;

}  // namespace journal

#define BRENNA_LOG(level, category, ...)                                                     \
  do {                                                                                       \
    if (::journal::Enabled(::journal::Level::level, ::journal::Category::category))          \
      ::journal::Write(::journal::Level::level, ::journal::Category::category, __VA_ARGS__); \
  } while (0)

#define BRENNA_EVENT(level, category, event, peer, reason, ...)             \
  ::journal::Report(::journal::Level::level, ::journal::Category::category, \
                    ::journal::Event::event, peer, reason, __VA_ARGS__)

#endif  // BRENNA_JOURNAL_JOURNAL_H
