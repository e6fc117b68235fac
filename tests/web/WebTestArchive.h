// WebTestArchive - an archive for the web view's tests, written the way the
// monitor writes it (archive::ArchiveWriter, a run with its heartbeat), and
// results built to order: a group, an operator, a transfer name and the
// display writes the window would have made.
#ifndef BRENNA_TESTS_WEB_WEBTESTARCHIVE_H
#define BRENNA_TESTS_WEB_WEBTESTARCHIVE_H

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveRecords.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"

class WebTestArchive {
 public:
  WebTestArchive() { Begin(); }
  ~WebTestArchive() { writer.Stop(""); }

  std::string path() const { return dir.file("archive.sqlite"); }

  // A run of the monitor: its start row (and first heartbeat) is written.
  void Begin() {
    archive::WriterOptions o;
    o.path = path();
    o.version = "test";
    writer.Start(o);
    writer.Heartbeat();
    writer.Drain();
    // The writer makes the file on its own thread: wait until a reader
    // finds the run in it.
    for (int i = 0; i < 6000; ++i) {
      archive::ArchiveReader reader;
      archive::RunRow run;
      std::string error;
      if (reader.Open(path(), &error) && reader.LastRun(&run, &error)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void Add(archive::ArchivedResult r) {
    writer.Record(std::move(r));
    writer.Drain();
  }
  // The run's stop row ("quit", ...).
  void End(const std::string& how) { writer.Stop(how); }

  TempDir dir;
  archive::ArchiveWriter writer;
};

// A brake result (device 25, group 制动设备): its operator in 1119 (blue),
// `value` in 1126 in `colour`.
inline archive::ArchivedResult BrakeResult(const std::string& transfer, const std::string& op,
                                           const std::string& value, int titleCount = 1,
                                           std::uint32_t colour = 0xFF0000,
                                           std::int64_t when = archive::NowUtcMs()) {
  archive::ArchivedResult r;
  r.shownUtcMs = when;
  r.transfer = transfer;
  r.stations = "10.1.2.3:40001";
  r.deviceCode = 25;
  r.deviceGroup = "制动设备";
  r.operatorText = op;
  r.titleCount = titleCount;
  r.itemCount = 3;
  r.items = {{0, 7700, 0, "25"}, {1, 7701, 0, op}, {2, 5071, 1, value}};
  r.writes = {{1119, op, 0xFFFFFF, 0xFF0000}, {1126, value, 0xFFFFFF, colour}};
  return r;
}

#endif  // BRENNA_TESTS_WEB_WEBTESTARCHIVE_H
