// ArchiveSample - a small archive written the way the monitor writes one,
// the same on every system: results of a fixed day with GBK texts, a
// result the scan never counted, and the idle state's own writes. The
// cross-platform tests write it on Linux and on Windows
// (tests/interop/ArchiveFill.cpp) and read both with either brenna-history.
#ifndef BRENNA_TESTS_ARCHIVESAMPLE_H
#define BRENNA_TESTS_ARCHIVESAMPLE_H

#include <cstdint>
#include <string>

#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "platform/Gbk.h"

// The sample's day, as brenna-history's --day takes it.
inline constexpr char kArchiveSampleDay[] = "2026-12-07";

// Writes the sample to `path` (a new archive); the number of results kept.
inline std::uint64_t WriteArchiveSample(const std::string& path) {
  std::int64_t start = 0;
  archive::ParseLocalTime(std::string(kArchiveSampleDay) + " 10:42:00", &start);
  archive::WriterOptions options;
  options.path = path;
  options.processId = 4242;
  options.version = "1.0.0";
  archive::ArchiveWriter writer;
  writer.Start(options);
  writer.RecordOwnWrites(start, {{1119, Gbk("设备空闲"), 0xFFFFFF, 0x0000FF}});
  const struct {
    int second;
    const char* transfer;
    int device;
    const char* group;
    const char* value;
    int titleCount;
  } rows[] = {{5, "lane2-brake-0815", 25, "制动设备", "1234", 1},
              {17, "lane2-speed-0815", 3, "速度设备", "-3.5", 2},
              {29, "lane2-brake-0816", 25, "制动设备", "=1+1", -1}};
  for (const auto& row : rows) {
    archive::ArchivedResult r;
    r.shownUtcMs = start + row.second * 1000 + 250;
    r.transfer = row.transfer;
    r.stations = "10.1.2.3:40001";
    r.deviceCode = row.device;
    r.deviceGroup = row.group;
    r.operatorText = Gbk("工号7");
    r.titleCount = row.titleCount;
    r.itemCount = 2;
    r.items = {{0, 7700, 0, std::to_string(row.device)}, {1, 5071, 1, Gbk(row.value)}};
    r.writes = {{1119, r.operatorText, 0xFFFFFF, 0xFF0000}, {1126, Gbk(row.value), 0xFFFFFF, 0}};
    writer.Record(r);
  }
  writer.Stop("quit");
  return writer.Counts().archived;
}

#endif  // BRENNA_TESTS_ARCHIVESAMPLE_H
