// ArchiveDay - a working day of results made to order, for the tests and
// benchmarks of the lists, the CSV files and the day's report: the
// window's device groups in turn from 08:00 on, two operators per group
// (the exhaust station's 0612 among them), a value for every display the
// group routes to, and a known share of results with a veto, with an
// advisory, with a judge code their display shows as no verdict (a brake
// force judged 2 is drawn black), and retests. What each result was made to
// have is kept beside it, so expectations never come from the code under
// test.
#ifndef BRENNA_TESTS_ARCHIVEDAY_H
#define BRENNA_TESTS_ARCHIVEDAY_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveRecords.h"
#include "archive/ArchiveStore.h"
#include "archive/ArchiveTime.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"

struct DayResult {
  archive::ArchivedResult result;
  bool veto = false;      // made with a value shown as a veto
  bool advisory = false;  // made with a value shown as an advisory
  bool retest = false;    // the same vehicle again at the group, a minute later
  bool resent = false;    // a value sent first as a veto, then again passed
};

namespace archive_day_detail {

struct Device {
  int code;
  std::string group;
  std::vector<const ResultRoute*> routes;
  const char* operators[2];
};

inline std::vector<Device> Devices() {
  // The operators of the morning and of the afternoon, per device code.
  const struct {
    int code;
    const char* morning;
    const char* afternoon;
  } kStaff[] = {{3, "1024", "1025"},  {7, "1031", "1032"},  {8, "1033", "1034"},
                {11, "0422", "0423"}, {14, "2087", "2088"}, {15, "0612", "0613"},
                {25, "0815", "0816"}};
  std::vector<Device> devices;
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (const auto& staff : kStaff) {
    Device d{staff.code,
             std::string(GroupCaptionOf(OperatorDisplayForDevice(staff.code))),
             {},
             {staff.morning, staff.afternoon}};
    for (int i = 0; i < count; ++i)
      if (GroupCaptionOf(routes[i].displayId) == d.group) d.routes.push_back(&routes[i]);
    devices.push_back(d);
  }
  return devices;
}

}  // namespace archive_day_detail

// `count` results on local day `day` ("YYYY-MM-DD"), from 08:00 over nine
// hours (a retest adds its minute); every 13th result has a veto, every 17th an advisory (where its
// group has a value that shows one), every 11th a brake force or single
// smoke reading judged 2 (shown black: no veto); every 19th without a
// veto sends one value twice, judged 2 and then passed (the window shows
// no veto); every other veto is retested a minute later by the same
// operator (the same vehicle: the same transfer name, `dayN-gCODE`).
inline std::vector<DayResult> MakeDay(const std::string& day, int count) {
  using namespace archive_day_detail;
  const std::vector<Device> devices = Devices();
  std::int64_t start = 0;
  archive::ParseLocalTime(day + " 08:00", &start);
  const std::int64_t step = 9LL * 3600 * 1000 / (count > 0 ? count : 1);
  std::vector<DayResult> out;
  int vetoes = 0;
  std::int64_t t = start;
  for (int n = 0; static_cast<int>(out.size()) < count; ++n) {
    const Device& d = devices[static_cast<std::size_t>(n) % devices.size()];
    DayResult r;
    r.result.shownUtcMs = t;
    t += step;
    const bool afternoon = r.result.shownUtcMs - start > 4 * 3600 * 1000 + 1800 * 1000;
    r.result.operatorText = d.operators[afternoon ? 1 : 0];
    // Named as stations name a test: the vehicle, then the test.
    r.result.transfer = "day" + std::to_string(out.size() + 1) + "-g" + std::to_string(d.code);
    r.result.stations = "10.1.2." + std::to_string(d.code) + ":40001";
    r.result.deviceCode = d.code;
    r.result.deviceGroup = d.group;
    r.result.titleCount = static_cast<int>(out.size()) + 1;
    r.result.items = {{0, kItemDeviceCode, 0, std::to_string(d.code)},
                      {1, kItemOperator, 0, r.result.operatorText}};
    const int number = static_cast<int>(out.size()) + 1;
    bool vetoDone = number % 13 != 0, adviceDone = number % 17 != 0, blackDone = number % 11 != 0;
    for (const ResultRoute* route : d.routes) {
      int judge = 1;
      if (!vetoDone && route->scheme != ColorScheme::kPresence) {
        judge = 2;
        vetoDone = r.veto = true;
      } else if (!adviceDone && route->scheme == ColorScheme::kFourColour) {
        judge = 3;
        adviceDone = r.advisory = true;
      } else if (!blackDone && route->scheme == ColorScheme::kPresence) {
        judge = 2;
        blackDone = true;
      }
      const int position = static_cast<int>(r.result.items.size());
      r.result.items.push_back({position, route->itemCode, judge,
                                std::to_string(10 + (number * 7 + position) % 90) + "." +
                                    std::to_string(position % 10)});
    }
    if (number % 19 == 0 && !r.veto) {
      // The station corrected a value within the record: the window shows
      // the second, passed; the veto sent first was never on the screen.
      for (std::size_t i = 2; i < r.result.items.size(); ++i) {
        if (FindRoute(r.result.items[i].code)->scheme == ColorScheme::kPresence) continue;
        archive::RecordItem first = r.result.items[i];
        first.judge = 2;
        first.value = "99.9";
        r.result.items.insert(r.result.items.begin() + 2, first);
        for (std::size_t k = 0; k < r.result.items.size(); ++k)
          r.result.items[k].position = static_cast<int>(k);
        r.resent = true;
        break;
      }
    }
    r.result.itemCount = static_cast<int>(r.result.items.size());
    out.push_back(r);
    if (r.veto && ++vetoes % 2 == 1 && static_cast<int>(out.size()) < count) {
      DayResult again = r;
      again.veto = again.advisory = false;
      again.retest = true;
      again.result.shownUtcMs = t = r.result.shownUtcMs + 60000;
      t += step;
      // The same vehicle's test again: the same name.
      again.result.titleCount = static_cast<int>(out.size()) + 1;
      for (archive::RecordItem& item : again.result.items)
        if (item.judge > 1) item.judge = 1;
      out.push_back(again);
    }
  }
  return out;
}

// Writes the results into the archive at `path` (made when there is none)
// as one run of the monitor; false when not all of them are there after.
inline bool WriteDay(const std::string& path, const std::vector<DayResult>& results) {
  archive::ArchiveStore store;
  if (store.Open(path).outcome != archive::ArchiveStore::Outcome::kOpened) return false;
  const std::int64_t begin =
      results.empty() ? archive::NowUtcMs() : results.front().result.shownUtcMs;
  const std::int64_t before = store.ResultCount();
  store.BeginRun(begin - 60000, 1, "test");
  if (store.RunId() == 0) return false;
  for (std::size_t i = 0; i < results.size();) {
    archive::sql::Transaction tx = store.Transact();
    for (std::size_t k = 0; k < 5000 && i < results.size(); ++k, ++i)
      store.WriteResult(results[i].result);
    tx.Commit();
  }
  store.EndRun(results.empty() ? begin : results.back().result.shownUtcMs + 60000, "quit");
  const bool all = store.ResultCount() - before == static_cast<std::int64_t>(results.size());
  store.Close();
  return all;
}

#endif  // BRENNA_TESTS_ARCHIVEDAY_H
