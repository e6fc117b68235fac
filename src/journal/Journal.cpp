#include "journal/Journal.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "journal/FloodSummariser.h"
#include "journal/HourlyCounters.h"
#include "journal/JournalLine.h"
#include "platform/Gbk.h"
#include "platform/JournalIo.h"
#include "platform/Mutex.h"

namespace journal {

namespace {

using Clock = std::chrono::steady_clock;
using Counter = EventTraits::Counter;

// Pending summaries are swept at most this often by the events themselves.
constexpr auto kSweepPace = std::chrono::seconds(1);

// What GbkToUtf8 puts for a byte that is not GBK: U+FFFD.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct State {
  Mutex lock;
  FloodSummariser summariser PALLIX_GUARDED_BY(lock);
  HourlyCounters counters PALLIX_GUARDED_BY(lock);
  Clock::time_point lastSweep PALLIX_GUARDED_BY(lock) = Clock::time_point{};
  Clock::time_point summaryStart PALLIX_GUARDED_BY(lock) = Clock::now();
  std::atomic<Router> router{nullptr};
  std::atomic<int> thresholds[kCategoryCount];

  State() {
    for (auto& t : thresholds) t.store(static_cast<int>(Level::kWarning));
  }
};

// Never destroyed: threads may report until the process ends.
State& TheState() {
  static State* state = new State();
  return *state;
}

void DefaultRouter(Level level, Category category, const char* text) {
  std::string line =
      FormatLine(std::chrono::system_clock::now(), level, CategoryName(category), text);
  line += '\n';
  journal_io::WriteToStderr(line.data(), line.size());
}

void Route(Level level, Category category, const char* text) {
  Router router = TheState().router.load(std::memory_order_acquire);
  (router != nullptr ? router : &DefaultRouter)(level, category, text);
}

// Formats into text[kMaxText], cut at a character boundary with "...".
void Format(char* text, const char* format, va_list args) {
  const int n = std::vsnprintf(text, kMaxText, format != nullptr ? format : "", args);
  if (n < 0) {
    std::snprintf(text, kMaxText, "(unformattable message)");
  } else if (n >= kMaxText) {
    std::size_t cut = kMaxText - 4;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    std::memcpy(text + cut, "...", 4);
  }
}

void WriteSummaries(const std::vector<FloodSummariser::Summary>& summaries) {
  for (const FloodSummariser::Summary& s : summaries) {
    if (Enabled(s.level, s.category)) {
      Route(s.level, s.category, FloodSummariser::Text(s).c_str());
    }
  }
}

bool IsValid(Category category) {
  const int c = static_cast<int>(category);
  return c >= 0 && c < kCategoryCount;
}

}  // namespace

const char* CategoryName(Category category) {
  switch (category) {
    case Category::kStart:
      return "brenna.start";
    case Category::kNet:
      return "brenna.net";
    case Category::kSpool:
      return "brenna.spool";
    case Category::kDisplay:
      return "brenna.display";
    case Category::kSettings:
      return "brenna.settings";
    case Category::kJournal:
      return "brenna.journal";
    case Category::kShip:
      return "brenna.ship";
  }
  return "brenna.start";
}

const EventTraits& TraitsOf(Event event) {
  static const EventTraits kPlain{false, Counter::kNone, "lines"};
  static const EventTraits kOpened{true, Counter::kConnection, "connections opened"};
  static const EventTraits kClosed{true, Counter::kNone, "connections closed"};
  static const EventTraits kConnectionRefused{true, Counter::kRefused, "connections refused"};
  static const EventTraits kFrameRefused{true, Counter::kRefused, "frames refused"};
  static const EventTraits kStarted{true, Counter::kNone, "transfers started"};
  static const EventTraits kPublished{false, Counter::kPublished, "results published"};
  static const EventTraits kTransferRefused{true, Counter::kRefused, "transfers refused"};
  static const EventTraits kAbandoned{true, Counter::kRefused, "transfers abandoned"};
  static const EventTraits kRemoved{true, Counter::kNone, "chunk files removed"};
  static const EventTraits kShown{false, Counter::kShown, "results shown"};
  static const EventTraits kResultRefused{true, Counter::kRefused, "results refused"};
  static const EventTraits kIgnored{true, Counter::kNone, "frames ignored"};
  static const EventTraits kIncomplete{true, Counter::kNone, "transfers left incomplete"};
  switch (event) {
    case Event::kNone:
      return kPlain;
    case Event::kConnectionOpened:
      return kOpened;
    case Event::kConnectionClosed:
      return kClosed;
    case Event::kConnectionRefused:
      return kConnectionRefused;
    case Event::kFrameRefused:
      return kFrameRefused;
    case Event::kTransferStarted:
      return kStarted;
    case Event::kTransferPublished:
      return kPublished;
    case Event::kTransferRefused:
      return kTransferRefused;
    case Event::kTransferAbandoned:
      return kAbandoned;
    case Event::kChunkFilesRemoved:
      return kRemoved;
    case Event::kResultShown:
      return kShown;
    case Event::kResultRefused:
      return kResultRefused;
    case Event::kFrameIgnored:
      return kIgnored;
    case Event::kTransferIncomplete:
      return kIncomplete;
  }
  return kPlain;
}

bool Enabled(Level level, Category category) {
  if (!IsValid(category)) return false;
  return static_cast<int>(level) >=
         TheState().thresholds[static_cast<int>(category)].load(std::memory_order_relaxed);
}

void Write(Level level, Category category, const char* format, ...) {
  if (!Enabled(level, category)) return;
  char text[kMaxText];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  Route(level, category, text);
}

namespace {

// The name of the EventName in force on this thread.
thread_local std::string_view t_eventName;

}  // namespace

EventName::EventName(std::string_view gbkName) : previous_(t_eventName) { t_eventName = gbkName; }

EventName::~EventName() { t_eventName = previous_; }

void Report(Level level, Category category, Event event, const char* peer, const char* reason,
            const char* format, ...) {
  State& s = TheState();
  const EventTraits& traits = TraitsOf(event);
  const bool wanted = Enabled(level, category);
  if (traits.counter == Counter::kNone && !wanted) return;
  bool write = wanted;
  std::vector<FloodSummariser::Summary> due;
  {
    const Clock::time_point now = Clock::now();
    MutexLock guard(s.lock);
    s.counters.Count(event, reason);
    if (wanted && traits.folded) {
      write = s.summariser.Offer(event, level, category, peer, reason, t_eventName, now);
    }
    if (now - s.lastSweep >= kSweepPace) {
      s.lastSweep = now;
      s.summariser.TakeDue(now, &due);
    }
  }
  WriteSummaries(due);
  if (!write) return;
  char text[kMaxText];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  Route(level, category, text);
}

// The network worker counts every frame: the frame count is an atomic of
// its own, counted without the lock.
void CountFrame() PALLIX_NO_THREAD_SAFETY_ANALYSIS { TheState().counters.CountFrame(); }

namespace {

// Writes out the folded floods whose minute is over, or all of them.
void WriteFloods(bool all) {
  State& s = TheState();
  std::vector<FloodSummariser::Summary> due;
  {
    const Clock::time_point now = Clock::now();
    MutexLock guard(s.lock);
    s.lastSweep = now;
    if (all)
      s.summariser.TakeAll(now, &due);
    else
      s.summariser.TakeDue(now, &due);
  }
  WriteSummaries(due);
}

}  // namespace

void Flush() { WriteFloods(false); }

void FlushAll() { WriteFloods(true); }

std::string WriteSummary() {
  State& s = TheState();
  std::string line;
  {
    const Clock::time_point now = Clock::now();
    MutexLock guard(s.lock);
    line = s.counters.TakeLine(now - s.summaryStart);
    s.summaryStart = now;
  }
  if (Enabled(Level::kInfo, Category::kJournal)) {
    Route(Level::kInfo, Category::kJournal, line.c_str());
  }
  return line;
}

void SetRouter(Router router) { TheState().router.store(router, std::memory_order_release); }

void SetThreshold(Category category, Level level) {
  if (!IsValid(category)) return;
  TheState().thresholds[static_cast<int>(category)].store(static_cast<int>(level),
                                                          std::memory_order_relaxed);
}

Level Threshold(Category category) {
  if (!IsValid(category)) return Level::kOff;
  return static_cast<Level>(
      TheState().thresholds[static_cast<int>(category)].load(std::memory_order_relaxed));
}

void Reset() {
  State& s = TheState();
  MutexLock guard(s.lock);
  s.summariser.Clear();
  s.counters.Clear();
  s.summaryStart = Clock::now();
  s.lastSweep = Clock::time_point{};
}

std::string JournalName(std::string_view gbk) {
  // A byte that is no part of a GBK character (0x80, 0xFF, a lead byte
  // without its trail), and both bytes of a pair GBK does not define, are
  // carried as they are: the line shows them as \xNN.
  std::string out;
  out.reserve(gbk.size() + gbk.size() / 2);
  std::size_t i = 0;
  while (i < gbk.size()) {
    // A run of characters by their shape: ASCII and lead-trail pairs.
    std::size_t end = i;
    while (end < gbk.size() &&
           (static_cast<unsigned char>(gbk[end]) < 0x80 || GbkCharLength(gbk, end) == 2)) {
      end += GbkCharLength(gbk, end);
    }
    if (end == i) {
      AppendStrayByte(&out, static_cast<unsigned char>(gbk[i++]));
      continue;
    }
    const std::string_view run = gbk.substr(i, end - i);
    const std::string converted = GbkToUtf8(run);
    if (converted.find(kReplacement) == std::string::npos) {
      out += converted;
    } else {
      // Some pair is undefined: character by character.
      for (std::size_t k = 0; k < run.size(); k += GbkCharLength(run, k)) {
        const std::string_view one = run.substr(k, GbkCharLength(run, k));
        const std::string c = GbkToUtf8(one);
        if (c.find(kReplacement) == std::string::npos) {
          out += c;
        } else {
          for (char b : one) AppendStrayByte(&out, static_cast<unsigned char>(b));
        }
      }
    }
    i = end;
  }
  return out;
}

}  // namespace journal
