// HourlyCounters - what the monitor did since the last summary, for the
// line the journal writes every hour (and at stop):
//
//   last 60 min: 12,034 frames, 40 results published, 40 shown,
//   3 connections, 20,012 refused (bad trailer 20,000, name 12)
//
// (one line in the journal). Refusals are counted by their reason, the
// first 16 different reasons by name and any further ones as "other".
// CountFrame may be called from any thread at any time; Count and TakeLine
// run under the journal's lock.
#ifndef BRENNA_JOURNAL_HOURLYCOUNTERS_H
#define BRENNA_JOURNAL_HOURLYCOUNTERS_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "journal/Journal.h"

namespace journal {

class HourlyCounters {
 public:
  static constexpr std::size_t kMaxReasons = 16;
  static constexpr std::size_t kReasonSize = 48;

  void CountFrame() { frames_.fetch_add(1, std::memory_order_relaxed); }
  // Counts an event as its traits say (Event kNone: nothing).
  void Count(Event event, const char* reason);
  // The line for the counts since the last call, which covered `elapsed`;
  // the counts start again from 0.
  std::string TakeLine(std::chrono::steady_clock::duration elapsed);
  void Clear();

 private:
  struct Reason {
    char text[kReasonSize];
    std::uint64_t count;
  };

  std::atomic<std::uint64_t> frames_{0};
  std::uint64_t published_ = 0;
  std::uint64_t shown_ = 0;
  std::uint64_t connections_ = 0;
  std::uint64_t refused_ = 0;
  Reason reasons_[kMaxReasons] = {};
  std::size_t reasonCount_ = 0;
  std::uint64_t otherReasons_ = 0;
};

}  // namespace journal

#endif  // BRENNA_JOURNAL_HOURLYCOUNTERS_H
