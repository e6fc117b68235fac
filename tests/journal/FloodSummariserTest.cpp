// The folding of floods: what is written, what is summed up, and that
// memory stays fixed whatever comes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "journal/FloodSummariser.h"

using journal::Category;
using journal::Event;
using journal::FloodSummariser;
using journal::Level;
using namespace std::chrono_literals;

namespace {

constexpr auto kWindow = 60s;

bool Offer(FloodSummariser& f, const char* peer, const char* reason,
           FloodSummariser::Clock::time_point now) {
  return f.Offer(Event::kFrameRefused, Level::kWarning, Category::kNet, peer, reason, now);
}

std::vector<std::string> Due(FloodSummariser& f, FloodSummariser::Clock::time_point now) {
  std::vector<FloodSummariser::Summary> due;
  f.TakeDue(now, &due);
  std::vector<std::string> lines;
  for (const auto& s : due) lines.push_back(FloodSummariser::Text(s));
  return lines;
}

}  // namespace

TEST(FloodSummariser, RepeatsWithinAMinuteBecomeOneLineAndAQuietKeyIsForgotten) {
  FloodSummariser f(kWindow);
  const FloodSummariser::Clock::time_point t0{};
  EXPECT_TRUE(Offer(f, "10.1.2.3", "bad trailer", t0));
  int written = 0;
  for (int i = 1; i <= 4312; ++i) written += Offer(f, "10.1.2.3", "bad trailer", t0 + i * 10ms);
  EXPECT_EQ(written, 0);
  // Another reason, another peer: a key of its own, written at once.
  EXPECT_TRUE(Offer(f, "10.1.2.3", "bad magic", t0 + 1s));
  EXPECT_TRUE(Offer(f, "10.9.9.9", "bad trailer", t0 + 1s));
  EXPECT_TRUE(Due(f, t0 + 59s).empty());

  EXPECT_EQ(
      Due(f, t0 + 61s),
      std::vector<std::string>{"4,312 more frames refused from 10.1.2.3: bad trailer, last 60 s"});
  // The flood goes on: counted into the next minute's line, not written.
  EXPECT_FALSE(Offer(f, "10.1.2.3", "bad trailer", t0 + 70s));
  EXPECT_EQ(Due(f, t0 + 122s), std::vector<std::string>{
                                   "1 more frames refused from 10.1.2.3: bad trailer, last 60 s"});
  // A whole minute without it: forgotten, so the next one is written again.
  EXPECT_TRUE(Due(f, t0 + 183s).empty());
  EXPECT_EQ(f.KeyCount(), 0u);
  EXPECT_TRUE(Offer(f, "10.1.2.3", "bad trailer", t0 + 184s));
}

TEST(FloodSummariser, AFloodNobodySweepsIsSummedUpByItsNextEvent) {
  FloodSummariser f(kWindow);
  const FloodSummariser::Clock::time_point t0{};
  EXPECT_TRUE(Offer(f, "10.1.2.3", nullptr, t0));
  EXPECT_FALSE(Offer(f, "10.1.2.3", nullptr, t0 + 1s));
  EXPECT_FALSE(Offer(f, "10.1.2.3", nullptr, t0 + 300s));  // window long over
  EXPECT_EQ(Due(f, t0 + 300s),
            std::vector<std::string>{"1 more frames refused from 10.1.2.3, last 60 s"});
}

TEST(FloodSummariser, AHundredThousandPeersCostTheTableAndAFewLines) {
  constexpr std::size_t kKeys = 256;
  FloodSummariser f(kWindow, kKeys);
  const FloodSummariser::Clock::time_point t0{};
  std::size_t written = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string peer = "10." + std::to_string(i / 65536) + "." +
                             std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
    written += Offer(f, peer.c_str(), "bad trailer", t0 + i * 100us);
    ASSERT_LE(f.KeyCount(), kKeys);
  }
  EXPECT_EQ(written, kKeys);
  // Each key saw its event once: nothing to sum up for them; the rest in one line.
  EXPECT_EQ(Due(f, t0 + 61s),
            std::vector<std::string>{
                "99,744 more frames refused from other peers (too many to tell apart), last 60 s"});
  EXPECT_EQ(f.KeyCount(), 0u);

  // And a hundred thousand of one and the same: one line, one summary.
  written = 0;
  for (int i = 0; i < 100000; ++i)
    written += Offer(f, "10.1.2.3", "bad trailer", t0 + 62s + i * 100us);
  EXPECT_EQ(written, 1u);
  EXPECT_EQ(
      Due(f, t0 + 123s),
      std::vector<std::string>{"99,999 more frames refused from 10.1.2.3: bad trailer, last 60 s"});
}

// A warning is never folded into a count of informational lines of the same
// kind, peer and reason: a cut frame after clean connections of the same
// station is written in full, and each level has its own summary.
TEST(FloodSummariser, OnlyLinesOfOneLevelFoldTogether) {
  FloodSummariser f(kWindow);
  const FloodSummariser::Clock::time_point t0{};
  const auto closed = [&](Level level, FloodSummariser::Clock::time_point at) {
    return f.Offer(Event::kConnectionClosed, level, Category::kNet, "10.1.2.7", "station finished",
                   at);
  };
  EXPECT_TRUE(closed(Level::kInfo, t0));
  EXPECT_FALSE(closed(Level::kInfo, t0 + 1s));
  EXPECT_TRUE(closed(Level::kWarning, t0 + 2s));
  EXPECT_FALSE(closed(Level::kWarning, t0 + 3s));
  EXPECT_FALSE(closed(Level::kInfo, t0 + 4s));
  std::vector<FloodSummariser::Summary> due;
  f.TakeDue(t0 + 63s, &due);
  ASSERT_EQ(due.size(), 2u);
  for (const auto& s : due) {
    EXPECT_EQ(FloodSummariser::Text(s),
              std::string(s.level == Level::kInfo ? "2" : "1") +
                  " more connections closed from 10.1.2.7: station finished, last 60 s");
  }
  EXPECT_NE(due[0].level, due[1].level);
}

// A folded line keeps the first names it folds and counts the others, so
// "no line for the name" never misleads; the same name folded again is not
// listed twice.
TEST(FloodSummariser, FoldedEventsKeepTheirFirstNames) {
  FloodSummariser f(kWindow);
  const FloodSummariser::Clock::time_point t0{};
  const auto refused = [&](const std::string& name, FloodSummariser::Clock::time_point at) {
    return f.Offer(Event::kTransferRefused, Level::kWarning, Category::kSpool, "127.0.0.7", "name",
                   name, at);
  };
  EXPECT_TRUE(refused("x/1", t0));
  for (int i = 2; i <= 58; ++i) EXPECT_FALSE(refused("x/" + std::to_string(i), t0 + i * 10ms));
  EXPECT_FALSE(refused("x/2", t0 + 1s));
  EXPECT_EQ(Due(f, t0 + 61s),
            std::vector<std::string>{"58 more transfers refused from 127.0.0.7: name, last 60 s; "
                                     "names 'x/2', 'x/3', 'x/4' and 54 more"});
  // A name longer than is kept is cut whole characters short; a name is
  // GBK, as it came, and written in UTF-8.
  const std::string longName = std::string(44, 'a') + "\xb2\xe2\xca\xd4";
  EXPECT_FALSE(refused(longName, t0 + 62s));
  EXPECT_FALSE(refused(longName, t0 + 63s));
  EXPECT_EQ(Due(f, t0 + 123s),
            std::vector<std::string>{"2 more transfers refused from 127.0.0.7: name, last 60 s; "
                                     "name '" +
                                     std::string(44, 'a') + "\xe6\xb5\x8b'"});
}
