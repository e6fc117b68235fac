#include "journal/HourlyCounters.h"

#include <algorithm>
#include <cstring>

#include "journal/JournalLine.h"

namespace journal {

void HourlyCounters::Count(Event event, const char* reason) {
  switch (TraitsOf(event).counter) {
    case EventTraits::Counter::kNone:
      return;
    case EventTraits::Counter::kConnection:
      ++connections_;
      return;
    case EventTraits::Counter::kPublished:
      ++published_;
      return;
    case EventTraits::Counter::kShown:
      ++shown_;
      return;
    case EventTraits::Counter::kRefused:
      break;
  }
  ++refused_;
  if (reason == nullptr || reason[0] == '\0') {
    ++otherReasons_;
    return;
  }
  const std::size_t n = strnlen(reason, kReasonSize - 1);
  for (std::size_t i = 0; i < reasonCount_; ++i) {
    if (std::strlen(reasons_[i].text) == n && std::memcmp(reasons_[i].text, reason, n) == 0) {
      ++reasons_[i].count;
      return;
    }
  }
  if (reasonCount_ == kMaxReasons) {
    ++otherReasons_;
    return;
  }
  Reason& r = reasons_[reasonCount_++];
  std::memcpy(r.text, reason, n);
  r.text[n] = '\0';
  r.count = 1;
}

std::string HourlyCounters::TakeLine(std::chrono::steady_clock::duration elapsed) {
  const auto plural = [](std::uint64_t n, const char* one, const char* many) {
    return FormatCount(n) + " " + (n == 1 ? one : many);
  };
  std::string line = "last " + FormatSpan(elapsed) + ": ";
  line += plural(frames_.exchange(0, std::memory_order_relaxed), "frame", "frames");
  line += ", " + plural(published_, "result published", "results published");
  line += ", " + FormatCount(shown_) + " shown";
  line += ", " + plural(connections_, "connection", "connections");
  line += ", " + FormatCount(refused_) + " refused";
  if (refused_ > 0) {
    std::sort(reasons_, reasons_ + reasonCount_,
              [](const Reason& a, const Reason& b) { return a.count > b.count; });
    line += " (";
    for (std::size_t i = 0; i < reasonCount_; ++i) {
      if (i > 0) line += ", ";
      line += std::string(reasons_[i].text) + " " + FormatCount(reasons_[i].count);
    }
    if (otherReasons_ > 0) {
      line += std::string(reasonCount_ > 0 ? ", " : "") + "other " + FormatCount(otherReasons_);
    }
    line += ")";
  }
  // Frames were taken above: one counted meanwhile belongs to the next line.
  published_ = shown_ = connections_ = refused_ = 0;
  reasonCount_ = 0;
  otherReasons_ = 0;
  return line;
}

void HourlyCounters::Clear() {
  frames_.store(0, std::memory_order_relaxed);
  published_ = shown_ = connections_ = refused_ = 0;
  reasonCount_ = 0;
  otherReasons_ = 0;
}

}  // namespace journal
