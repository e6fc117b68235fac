// The station tool's sending plan and command line: chunk orders and their
// seeds, duplicates, transfer names of stations and rounds, and how the
// address is told apart from a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "SendOptions.h"
#include "SendPlan.h"

using namespace brenna_send;

namespace {

std::vector<size_t> Sequence(size_t n, ChunkOrder order, bool duplicate, uint32_t seed = 1,
                             int station = 1) {
  std::mt19937 rng = StationShuffler(seed, station);
  return FrameSequence(n, order, duplicate, rng);
}

std::vector<size_t> Iota(size_t n) {
  std::vector<size_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = i;
  return v;
}

ParseResult Parse(std::vector<std::string> args, SendOptions* o, std::string* error) {
  *o = SendOptions();
  error->clear();
  return ParseSendOptions(args, o, error);
}

}  // namespace

TEST(SendPlan, OrdersPutEveryChunkOutExactlyOnce) {
  for (size_t n : {1u, 2u, 17u}) {
    EXPECT_EQ(Sequence(n, ChunkOrder::kInOrder, false), Iota(n));
    std::vector<size_t> reversed = Iota(n);
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(Sequence(n, ChunkOrder::kReversed, false), reversed);
    std::vector<size_t> shuffled = Sequence(n, ChunkOrder::kShuffled, false, 99);
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, Iota(n)) << n << " chunks";
  }
  EXPECT_TRUE(Sequence(0, ChunkOrder::kShuffled, true).empty());
}

TEST(SendPlan, DuplicatesFollowTheirChunkInAnyOrder) {
  for (ChunkOrder order : {ChunkOrder::kInOrder, ChunkOrder::kReversed, ChunkOrder::kShuffled}) {
    const std::vector<size_t> once = Sequence(17, order, false, 5);
    const std::vector<size_t> twice = Sequence(17, order, true, 5);
    ASSERT_EQ(twice.size(), 34u);
    for (size_t i = 0; i < once.size(); ++i) {
      EXPECT_EQ(twice[2 * i], once[i]);
      EXPECT_EQ(twice[2 * i + 1], once[i]);
    }
  }
}

TEST(SendPlan, ASeedGivesTheSameShufflesAgainAndStationsDiffer) {
  // Several transfers in a row draw from one generator, as one station does.
  auto run = [](uint32_t seed, int station) {
    std::mt19937 rng = StationShuffler(seed, station);
    std::vector<std::vector<size_t>> transfers;
    for (int t = 0; t < 5; ++t)
      transfers.push_back(FrameSequence(17, ChunkOrder::kShuffled, false, rng));
    return transfers;
  };
  EXPECT_EQ(run(7, 1), run(7, 1));
  EXPECT_NE(run(7, 1), run(8, 1));
  EXPECT_NE(run(7, 1), run(7, 2));
  const auto transfers = run(7, 1);
  EXPECT_NE(transfers[0], transfers[1]) << "each transfer of a run draws afresh";
  EXPECT_NE(transfers[0], Iota(17));
}

TEST(SendPlan, ShufflesAreUniform) {
  // 6000 shuffles of three chunks: each of the six orders about 1000 times.
  // A shuffle that swaps with any position instead of the ones not yet
  // placed gives some orders twice as often and lands outside the band.
  std::map<std::vector<size_t>, int> seen;
  std::mt19937 rng = StationShuffler(2026, 1);
  for (int i = 0; i < 6000; ++i) ++seen[FrameSequence(3, ChunkOrder::kShuffled, false, rng)];
  ASSERT_EQ(seen.size(), 6u);
  for (const auto& [order, n] : seen) {
    EXPECT_GT(n, 900) << order[0] << order[1] << order[2];
    EXPECT_LT(n, 1100) << order[0] << order[1] << order[2];
  }
  std::set<size_t> draws;
  for (int i = 0; i < 1000; ++i) {
    const size_t d = DrawBelow(rng, 5);
    ASSERT_LT(d, 5u);
    draws.insert(d);
  }
  EXPECT_EQ(draws.size(), 5u);
}

TEST(SendPlan, EveryStationAndRoundSendsUnderItsOwnName) {
  EXPECT_EQ(TransferName("brake", 1, 1, 1, 1), "brake");
  EXPECT_EQ(TransferName("brake", 2, 3, 1, 1), "brake-s2");
  EXPECT_EQ(TransferName("brake", 1, 1, 4, 5), "brake-4");
  EXPECT_EQ(TransferName("brake", 3, 3, 10, 10), "brake-s3-10");
  std::set<std::string> names;
  for (int s = 1; s <= 3; ++s)
    for (int r = 1; r <= 11; ++r) names.insert(TransferName("x", s, 3, r, 11));
  EXPECT_EQ(names.size(), 33u);
}

TEST(SendOptions, TheMonitorDefaultsToLocalhost10004AndIsToldApartFromFiles) {
  SendOptions o;
  std::string error;
  ASSERT_EQ(Parse({"data/demo/speed.txt", "brake.txt"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.host, "localhost");
  EXPECT_EQ(o.port, 10004);
  EXPECT_EQ(o.files, (std::vector<std::string>{"data/demo/speed.txt", "brake.txt"}));

  ASSERT_EQ(Parse({"192.168.1.20:10005", "a.txt"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.host, "192.168.1.20");
  EXPECT_EQ(o.port, 10005);
  EXPECT_EQ(o.files, std::vector<std::string>{"a.txt"});

  ASSERT_EQ(Parse({":10006", "a.txt"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.host, "localhost");
  EXPECT_EQ(o.port, 10006);

  ASSERT_EQ(Parse({"[::1]:10007", "a.txt"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.host, "::1");

  // Only the first operand can be the monitor; a path is always a file.
  ASSERT_EQ(Parse({"./lane:2", "b:3"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.port, 10004);
  EXPECT_EQ(o.files, (std::vector<std::string>{"./lane:2", "b:3"}));
  ASSERT_EQ(Parse({"--", "-odd.txt"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.files, std::vector<std::string>{"-odd.txt"});
}

TEST(SendOptions, SendingOptionsInBothSpellings) {
  SendOptions o;
  std::string error;
  ASSERT_EQ(Parse({"--order=shuffled", "--seed", "42", "-d", "-p", "25", "-R", "3", "--stations=4",
                   "-w", "900", "-t", "-n", "lane2", "f.txt"},
                  &o, &error),
            ParseResult::kRun)
      << error;
  EXPECT_EQ(o.order, ChunkOrder::kShuffled);
  EXPECT_TRUE(o.seedGiven);
  EXPECT_EQ(o.seed, 42u);
  EXPECT_TRUE(o.duplicate);
  EXPECT_EQ(o.pauseMs, 25);
  EXPECT_EQ(o.repeat, 3);
  EXPECT_EQ(o.stations, 4);
  EXPECT_EQ(o.timeoutMs, 900);
  EXPECT_EQ(o.input, InputKind::kText);
  EXPECT_EQ(o.name, "lane2");
  ASSERT_EQ(Parse({"--order", "reversed", "-r", "f"}, &o, &error), ParseResult::kRun) << error;
  EXPECT_EQ(o.order, ChunkOrder::kReversed);
  EXPECT_EQ(o.input, InputKind::kRecord);
  EXPECT_EQ(Parse({"x", "--help"}, &o, &error), ParseResult::kHelp);
}

TEST(SendOptions, EachBadArgumentIsNamed) {
  const struct {
    std::vector<std::string> args;
    const char* named;
  } cases[] = {
      {{}, "no file"},
      {{"localhost:10004"}, "no file"},
      {{"host:0", "f"}, "bad port"},
      {{"host:65536", "f"}, "bad port"},
      {{"-o", "out.bin", "host:1", "f"}, "--frames-out"},
      {{"--order", "sideways", "f"}, "sideways"},
      {{"--order"}, "--order"},
      {{"--seed", "3", "f"}, "--seed goes with"},
      {{"--order", "shuffled", "--seed", "-3", "f"}, "--seed"},
      {{"--order", "shuffled", "--seed", "4294967296", "f"}, "--seed"},
      {{"-S", "0", "f"}, "-S"},
      {{"-S", "17", "f"}, "-S"},
      {{"--repeat", "0", "f"}, "--repeat"},
      {{"-p", "1x", "f"}, "-p"},
      {{"-w", "0", "f"}, "-w"},
      {{"-n", "", "f"}, "-n"},
      {{"--duplicate=yes", "f"}, "takes no value"},
      {{"--frobnicate", "f"}, "unknown option --frobnicate"},
  };
  for (const auto& c : cases) {
    SendOptions o;
    std::string error;
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    EXPECT_EQ(Parse(c.args, &o, &error), ParseResult::kError) << joined;
    EXPECT_NE(error.find(c.named), std::string::npos) << joined << "-> " << error;
  }
}
