// FloodSummariser - folds a burst of the same event into one line. The key
// of an event is its kind, its level, its peer and its reason: only lines
// alike in all four fold, so a warning is never hidden in a count of
// informational lines of the same kind. The first event of a key is
// written; repeats within the window (a minute) are only counted, and when
// the window is over a summary says how many there were:
//
//   4,312 more frames refused from 10.1.2.3: bad trailer, last 60 s
//
// Events about a named thing (a transfer) keep the first few names they
// fold, and count the rest, so a name can still be found:
//
//   57 more transfers refused from 10.1.2.7: name, last 60 s; names 'a/2',
//   'a/3', 'a/4' and 54 more
//
// A key whose window ended with repeats gets a fresh window at once (a
// flood that goes on costs one line a minute); one that ended quiet is
// forgotten, so its next event is written again.
//
// Memory is fixed: at most maxKeys keys (peers, reasons and names are kept
// to 47 bytes, three names a key). Once they are all taken, an event of a new key is counted per
// kind only and summarised as "... from other peers", so 100,000 different
// peers cost no more than a few hundred lines and no memory beyond the
// table. Not thread-safe: the journal calls it under its lock. Time comes
// from the caller.
#ifndef BRENNA_JOURNAL_FLOODSUMMARISER_H
#define BRENNA_JOURNAL_FLOODSUMMARISER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journal/Journal.h"

namespace journal {

class FloodSummariser {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kDefaultMaxKeys = 256;
  static constexpr std::size_t kFieldSize = 48;  // bytes kept of a peer or reason, with terminator
  static constexpr std::size_t kKeptNames = 3;   // names kept per key and window

  struct Summary {
    Event event;
    Level level;  // of the key's first event
    Category category;
    std::string peer;    // empty: none given
    std::string reason;  // empty: none given
    std::uint64_t count;
    Clock::duration window;
    bool otherPeers;                 // counted once the table was full: peers and reasons mixed
    std::vector<std::string> names;  // the first names of the folded events (GBK), in order
    std::uint64_t otherNames = 0;    // folded events whose name is not among them
  };

  explicit FloodSummariser(Clock::duration window = std::chrono::seconds(60),
                           std::size_t maxKeys = kDefaultMaxKeys);

  // True when the event is to be written; false when it is counted into a
  // summary instead. `name` (GBK, as from the wire; may be empty) is what
  // the event is about.
  bool Offer(Event event, Level level, Category category, const char* peer, const char* reason,
             std::string_view name, Clock::time_point now);
  bool Offer(Event event, Level level, Category category, const char* peer, const char* reason,
             Clock::time_point now) {
    return Offer(event, level, category, peer, reason, std::string_view(), now);
  }
  // Moves the summaries of windows that ended by `now` to out. Cheap when
  // no window has ended.
  void TakeDue(Clock::time_point now, std::vector<Summary>* out);
  // Moves the summaries of every key with repeats to out, ended or not (the
  // program stops: nothing counted may be left unsaid), each over the part
  // of its window that has passed.
  void TakeAll(Clock::time_point now, std::vector<Summary>* out);
  // Forgets every key and count.
  void Clear();

  std::size_t KeyCount() const { return used_; }

  // The summary's line (UTF-8; names as JournalName gives them).
  static std::string Text(const Summary& summary);

 private:
  struct Entry {
    bool used = false;
    Event event = Event::kNone;
    Level level = Level::kInfo;
    Category category = Category::kStart;
    std::uint32_t hash = 0;
    char peer[kFieldSize] = {};
    char reason[kFieldSize] = {};
    Clock::time_point windowEnd{};
    std::uint64_t count = 0;
    char names[kKeptNames][kFieldSize] = {};
    std::size_t nameCount = 0;
    std::uint64_t otherNames = 0;
  };
  struct Overflow {
    Event event;
    Level level;
    Category category;
    Clock::time_point windowEnd;
    std::uint64_t count;
  };

  std::size_t Find(std::uint32_t hash, Event event, Level level, const char* peer,
                   const char* reason) const;
  void Insert(const Entry& entry);
  // Counts one more folded event into e's window.
  static void Fold(Entry& e, std::string_view name);
  static void StartWindow(Entry& e);
  void Sweep(Clock::time_point now, std::vector<Summary>* out);
  Summary SummaryOf(const Entry& entry) const;
  void NoteWindowEnd(Clock::time_point end);

  Clock::duration window_;
  std::size_t maxKeys_;
  std::vector<Entry> slots_;  // open addressing, at least twice maxKeys
  std::size_t used_ = 0;
  std::vector<Overflow> overflow_;  // one per event kind at most
  std::vector<Summary> pending_;    // found ended by Offer, given out by TakeDue
  Clock::time_point nextSweep_ = Clock::time_point::max();
};

}  // namespace journal

#endif  // BRENNA_JOURNAL_FLOODSUMMARISER_H
