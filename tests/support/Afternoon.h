// Afternoon - an afternoon of a line made to order, with its vehicles
// known: 30 cars go through the seven groups one after the other, named by
// their plates as stations name their tests (`粤B10007-g25`); some fail a
// group and come back, at once (a quick retest by the same operator) or
// after a repair (a late retest, by the shift after), one fails twice; and
// at the brake tester six cars queue, tested half a minute apart by the
// same operator. What each result is (a vehicle's first test at a group,
// or a retest; vetoed or not) is kept beside it as it was made, so the
// report's figures are checked against the truth and never against the
// code under test.
#ifndef BRENNA_TESTS_AFTERNOON_H
#define BRENNA_TESTS_AFTERNOON_H

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ArchiveDay.h"
#include "platform/Gbk.h"

struct AfternoonResult {
  DayResult made;       // the result, as ArchiveDay writes it (veto, retest)
  std::string vehicle;  // its plate, GBK
};

// What the report should count, per device group (caption) and per
// operator (GBK).
struct AfternoonCounts {
  int results = 0, retests = 0, firstTests = 0, firstPassed = 0;
};

namespace afternoon_detail {

inline archive::ArchivedResult Test(const archive_day_detail::Device& d, const std::string& plate,
                                    const std::string& op, std::int64_t when, bool veto) {
  archive::ArchivedResult r;
  r.shownUtcMs = when;
  r.operatorText = op;
  r.transfer = plate + "-g" + std::to_string(d.code);
  r.stations = "10.1.3." + std::to_string(d.code) + ":40001";
  r.deviceCode = d.code;
  r.deviceGroup = d.group;
  r.items = {{0, kItemDeviceCode, 0, std::to_string(d.code)}, {1, kItemOperator, 0, op}};
  bool vetoDone = !veto;
  for (const ResultRoute* route : d.routes) {
    int judge = 1;
    if (!vetoDone && route->scheme != ColorScheme::kPresence) judge = 2, vetoDone = true;
    r.items.push_back({static_cast<int>(r.items.size()), route->itemCode, judge, "12.5"});
  }
  r.itemCount = static_cast<int>(r.items.size());
  return r;
}

}  // namespace afternoon_detail

// The afternoon of local day `day`, from 13:00, in the order shown.
inline std::vector<AfternoonResult> MakeAfternoon(const std::string& day) {
  using namespace afternoon_detail;
  const std::vector<archive_day_detail::Device> devices = archive_day_detail::Devices();
  std::int64_t start = 0;
  archive::ParseLocalTime(day + " 13:00", &start);
  const std::int64_t shift = start + 2 * 3600 * 1000;  // the later shift from 15:00
  std::vector<AfternoonResult> out;
  auto add = [&](std::size_t g, const std::string& plate, std::int64_t when, bool veto,
                 bool retest) {
    const archive_day_detail::Device& d = devices[g];
    AfternoonResult r;
    r.vehicle = plate;
    r.made.result = Test(d, plate, d.operators[when >= shift ? 1 : 0], when, veto);
    r.made.veto = veto;
    r.made.retest = retest;
    out.push_back(r);
  };
  for (int car = 0; car < 30; ++car) {
    const std::string plate = Gbk("粤B1") + std::to_string(10000 + car);
    for (std::size_t g = 0; g < devices.size(); ++g) {
      // Six cars queue at the brake tester: half a minute apart.
      const bool queued = g + 1 == devices.size() && car >= 10 && car < 16;
      const std::int64_t when = queued
                                    ? start + 3600 * 1000 + (car - 10) * 30000
                                    : start + car * 240000 + static_cast<std::int64_t>(g) * 30000;
      const bool fails = (car * 7 + static_cast<int>(g)) % 9 == 0;
      add(g, plate, when, fails, false);
      if (!fails) continue;
      // Even cars are retested at once by the same operator; odd ones after
      // a repair, 50 minutes on; every fifth fails its first retest too.
      const std::int64_t again = car % 2 == 0 ? when + 40000 : when + 50 * 60000;
      const bool twice = car % 5 == 0;
      add(g, plate, again, twice, true);
      if (twice) add(g, plate, again + 45000, false, true);
    }
  }
  std::stable_sort(out.begin(), out.end(), [](const AfternoonResult& a, const AfternoonResult& b) {
    return a.made.result.shownUtcMs < b.made.result.shownUtcMs;
  });
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i].made.result.titleCount = static_cast<int>(i) + 1;
  return out;
}

// The truth per group (caption; "" for the whole afternoon) and per
// operator.
inline void CountAfternoon(const std::vector<AfternoonResult>& results,
                           std::map<std::string, AfternoonCounts>* groups,
                           std::map<std::string, AfternoonCounts>* operators) {
  for (const AfternoonResult& r : results) {
    for (AfternoonCounts* c : {&(*groups)[r.made.result.deviceGroup], &(*groups)[""],
                               &(*operators)[r.made.result.operatorText]}) {
      ++c->results;
      c->retests += r.made.retest;
      c->firstTests += !r.made.retest;
      c->firstPassed += !r.made.retest && !r.made.veto;
    }
  }
}

// The results as ArchiveDay's WriteDay takes them.
inline std::vector<DayResult> AfternoonResults(const std::vector<AfternoonResult>& results) {
  std::vector<DayResult> out;
  for (const AfternoonResult& r : results) out.push_back(r.made);
  return out;
}

#endif  // BRENNA_TESTS_AFTERNOON_H
