#include "journal/FloodSummariser.h"

#include <algorithm>
#include <cstring>

#include "journal/JournalLine.h"
#include "platform/Gbk.h"

namespace journal {

namespace {

// The part of a field that is kept: at most kFieldSize - 1 bytes.
std::size_t KeptLength(const char* text) {
  return text == nullptr ? 0 : strnlen(text, FloodSummariser::kFieldSize - 1);
}

void Keep(char (&field)[FloodSummariser::kFieldSize], const char* text) {
  const std::size_t n = KeptLength(text);
  if (n > 0) std::memcpy(field, text, n);
  field[n] = '\0';
}

bool SameField(const char* kept, const char* text) {
  const std::size_t n = KeptLength(text);
  return std::strlen(kept) == n && (n == 0 || std::memcmp(kept, text, n) == 0);
}

// The part of a name that is kept: at most kFieldSize - 1 bytes, never
// half a GBK character.
std::string_view KeptName(std::string_view name) {
  std::size_t n = 0;
  while (n < name.size() && n + GbkCharLength(name, n) < FloodSummariser::kFieldSize)
    n += GbkCharLength(name, n);
  return name.substr(0, n);
}

// FNV-1a over the kind, the level and the kept parts of peer and reason.
std::uint32_t HashOf(Event event, Level level, const char* peer, const char* reason) {
  std::uint32_t h = 2166136261u;
  const auto mix = [&h](unsigned char c) {
    h ^= c;
    h *= 16777619u;
  };
  const int kind = static_cast<int>(event);
  for (int shift = 0; shift < 32; shift += 8) mix(static_cast<unsigned char>(kind >> shift));
  mix(static_cast<unsigned char>(static_cast<int>(level)));
  for (std::size_t i = 0, n = KeptLength(peer); i < n; ++i)
    mix(static_cast<unsigned char>(peer[i]));
  mix(0);
  for (std::size_t i = 0, n = KeptLength(reason); i < n; ++i) {
    mix(static_cast<unsigned char>(reason[i]));
  }
  return h;
}

std::size_t SlotCount(std::size_t maxKeys) {
  std::size_t n = 16;
  while (n < 2 * maxKeys) n *= 2;
  return n;
}

}  // namespace

FloodSummariser::FloodSummariser(Clock::duration window, std::size_t maxKeys)
    : window_(window), maxKeys_(maxKeys == 0 ? 1 : maxKeys), slots_(SlotCount(maxKeys_)) {}

std::size_t FloodSummariser::Find(std::uint32_t hash, Event event, Level level, const char* peer,
                                  const char* reason) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Entry& e = slots_[i];
    if (!e.used) return slots_.size();
    if (e.hash == hash && e.event == event && e.level == level && SameField(e.peer, peer) &&
        SameField(e.reason, reason)) {
      return i;
    }
  }
}

void FloodSummariser::Fold(Entry& e, std::string_view name) {
  ++e.count;
  if (name.empty()) return;
  const std::string_view kept = KeptName(name);
  for (std::size_t k = 0; k < e.nameCount; ++k) {
    if (std::string_view(e.names[k]) == kept) return;
  }
  if (e.nameCount < kKeptNames) {
    std::memcpy(e.names[e.nameCount], kept.data(), kept.size());
    e.names[e.nameCount][kept.size()] = '\0';
    ++e.nameCount;
  } else {
    ++e.otherNames;
  }
}

void FloodSummariser::StartWindow(Entry& e) {
  e.count = 0;
  e.nameCount = 0;
  e.otherNames = 0;
}

void FloodSummariser::Insert(const Entry& entry) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = entry.hash & mask;
  while (slots_[i].used) i = (i + 1) & mask;
  slots_[i] = entry;
  ++used_;
}

void FloodSummariser::NoteWindowEnd(Clock::time_point end) {
  if (end < nextSweep_) nextSweep_ = end;
}

FloodSummariser::Summary FloodSummariser::SummaryOf(const Entry& e) const {
  Summary s{e.event, e.level, e.category, e.peer, e.reason, e.count, window_, false, {}, 0};
  for (std::size_t k = 0; k < e.nameCount; ++k) s.names.emplace_back(e.names[k]);
  s.otherNames = e.otherNames;
  return s;
}

bool FloodSummariser::Offer(Event event, Level level, Category category, const char* peer,
                            const char* reason, std::string_view name, Clock::time_point now) {
  const std::uint32_t hash = HashOf(event, level, peer, reason);
  const std::size_t found = Find(hash, event, level, peer, reason);
  if (found < slots_.size()) {
    Entry& e = slots_[found];
    if (now < e.windowEnd) {
      Fold(e, name);
      return false;
    }
    // Its window is over and no sweep has seen it yet.
    const bool flooding = e.count > 0;
    if (flooding) pending_.push_back(SummaryOf(e));
    e.windowEnd = now + window_;
    StartWindow(e);
    if (flooding) Fold(e, name);
    NoteWindowEnd(e.windowEnd);
    return !flooding;
  }
  if (used_ >= maxKeys_ && now >= nextSweep_) Sweep(now, &pending_);
  if (used_ >= maxKeys_) {
    auto it = std::find_if(overflow_.begin(), overflow_.end(),
                           [event](const Overflow& o) { return o.event == event; });
    if (it == overflow_.end()) {
      overflow_.push_back(Overflow{event, level, category, now + window_, 0});
      it = overflow_.end() - 1;
    } else if (it->count == 0) {
      *it = Overflow{event, level, category, now + window_, 0};
    }
    ++it->count;
    NoteWindowEnd(it->windowEnd);
    return false;
  }
  Entry entry;
  entry.used = true;
  entry.event = event;
  entry.level = level;
  entry.category = category;
  entry.hash = hash;
  Keep(entry.peer, peer);
  Keep(entry.reason, reason);
  entry.windowEnd = now + window_;
  Insert(entry);
  NoteWindowEnd(entry.windowEnd);
  return true;
}

void FloodSummariser::Sweep(Clock::time_point now, std::vector<Summary>* out) {
  bool removed = false;
  for (Entry& e : slots_) {
    if (!e.used || now < e.windowEnd) continue;
    if (e.count == 0) {
      e.used = false;  // quiet for a whole window: forgotten
      removed = true;
      continue;
    }
    out->push_back(SummaryOf(e));
    StartWindow(e);
    e.windowEnd = now + window_;
  }
  if (removed) {
    // Open addressing has no cheap removal: put the survivors back afresh.
    std::vector<Entry> kept;
    kept.reserve(used_);
    for (const Entry& e : slots_) {
      if (e.used) kept.push_back(e);
    }
    for (Entry& e : slots_) e = Entry();
    used_ = 0;
    for (const Entry& e : kept) Insert(e);
  }
  for (Overflow& o : overflow_) {
    if (o.count > 0 && now >= o.windowEnd) {
      out->push_back(Summary{o.event, o.level, o.category, {}, {}, o.count, window_, true, {}, 0});
      o.count = 0;
    }
  }
  nextSweep_ = Clock::time_point::max();
  for (const Entry& e : slots_) {
    if (e.used) NoteWindowEnd(e.windowEnd);
  }
  for (const Overflow& o : overflow_) {
    if (o.count > 0) NoteWindowEnd(o.windowEnd);
  }
}

void FloodSummariser::TakeDue(Clock::time_point now, std::vector<Summary>* out) {
  if (!pending_.empty()) {
    out->insert(out->end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  if (now >= nextSweep_) Sweep(now, out);
}

void FloodSummariser::TakeAll(Clock::time_point now, std::vector<Summary>* out) {
  TakeDue(now, out);
  const auto passed = [this, now](Clock::time_point windowEnd) {
    const Clock::duration d = now - (windowEnd - window_);
    return d < Clock::duration::zero() ? Clock::duration::zero() : d;
  };
  for (Entry& e : slots_) {
    if (!e.used || e.count == 0) continue;
    Summary summary = SummaryOf(e);
    summary.window = passed(e.windowEnd);
    out->push_back(summary);
    StartWindow(e);
  }
  for (Overflow& o : overflow_) {
    if (o.count == 0) continue;
    out->push_back(
        Summary{o.event, o.level, o.category, {}, {}, o.count, passed(o.windowEnd), true, {}, 0});
    o.count = 0;
  }
}

void FloodSummariser::Clear() {
  for (Entry& e : slots_) e = Entry();
  used_ = 0;
  overflow_.clear();
  pending_.clear();
  nextSweep_ = Clock::time_point::max();
}

std::string FloodSummariser::Text(const Summary& s) {
  std::string text = FormatCount(s.count) + " more " + TraitsOf(s.event).plural;
  if (s.otherPeers) {
    text += " from other peers (too many to tell apart)";
  } else {
    if (!s.peer.empty()) text += " from " + s.peer;
    if (!s.reason.empty()) text += ": " + s.reason;
  }
  text += ", last " + FormatSpan(s.window);
  if (!s.names.empty()) {
    text += s.names.size() == 1 && s.otherNames == 0 ? "; name " : "; names ";
    for (std::size_t k = 0; k < s.names.size(); ++k) {
      if (k > 0) text += ", ";
      text += "'" + JournalName(s.names[k]) + "'";
    }
    if (s.otherNames > 0) text += " and " + FormatCount(s.otherNames) + " more";
  }
  return text;
}

}  // namespace journal
