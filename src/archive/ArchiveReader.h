// ArchiveReader - reads the archive without ever writing it or holding up
// its writer (WAL: a reader sees the last committed state), for
// brenna-history and the web view. Results come in the order they were
// shown: their id rises with every result and is never given twice, so
// "everything since id N" is how a reader follows the line. Texts from
// stations come back as the GBK bytes they were: the caller decides how to
// show them, and must treat them as data.
#ifndef BRENNA_ARCHIVE_ARCHIVEREADER_H
#define BRENNA_ARCHIVE_ARCHIVEREADER_H

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveRecords.h"
#include "archive/Sqlite.h"

namespace archive {

struct ResultRow {
  std::int64_t id = 0;
  std::int64_t runId = 0;
  std::int64_t shownUtcMs = 0;
  std::string shownLocal;  // "YYYY-MM-DD hh:mm:ss.mmm", as the monitor saw it
  int utcOffsetSeconds = 0;
  std::string transfer;  // GBK
  std::string stations;
  int deviceCode = 0;
  std::string deviceGroup;   // UTF-8
  std::string operatorText;  // GBK
  int titleCount = -1;       // -1: not known
  int itemCount = 0;
};

struct ResultDetail {
  ResultRow row;
  std::vector<RecordItem> items;
  std::vector<DisplayWrite> writes;
};

struct RunRow {
  std::int64_t id = 0;
  std::int64_t startedUtcMs = 0;
  std::string startedLocal;
  std::int64_t heartbeatUtcMs = 0;  // last heard of; the stop time once stopped
  bool stopped = false;
  std::string stopHow;
  long processId = 0;
  std::string version;
};

// Which results: every condition given must hold.
struct ResultFilter {
  std::string day;      // local "YYYY-MM-DD"; empty: any
  std::string lastDay;  // with `day`: the days from it to this one; empty: that day alone
  std::int64_t fromUtcMs = std::numeric_limits<std::int64_t>::min();  // shown at or after
  std::int64_t toUtcMs = std::numeric_limits<std::int64_t>::max();    // shown before
  std::string group;                                                  // caption; empty: any
  int deviceCode = -1;                                                // -1: any
  bool byOperator = false;
  std::string operatorText;  // GBK, the whole text
  bool byTransfer = false;
  std::string transfer;      // GBK, the whole name
  std::string transferPart;  // GBK: names holding it (as whole characters); empty: any
  std::string vehicle;       // GBK: that vehicle's results (the reader's rule); empty: any
  std::int64_t afterId = 0;  // only results with a higher id
  std::int64_t throughId = std::numeric_limits<std::int64_t>::max();  // and none higher than this
  std::int64_t limit = 0;                                             // at most this many; 0: all
  // Only results with an item of judge code `withJudge` among the item
  // codes `withCodes` (those a verdict shows on), not followed in its record
  // by the same code again; 0: any result.
  int withJudge = 0;
  std::vector<int> withCodes;
  bool newestFirst = false;  // listed newest first (by id, the order shown)
};

// One display as it stood.
struct PanelDisplay {
  int displayId = 0;
  bool written = false;  // false: not written in that run, so empty, white on white
  std::string text;      // GBK
  std::uint32_t background = 0xFFFFFF;
  std::uint32_t textColor = 0xFFFFFF;
  std::int64_t utcMs = 0;     // when it was written
  std::int64_t resultId = 0;  // by which result; 0: by the monitor itself
};

// The results of one device group (caption; empty: no group) the archive
// holds.
struct GroupTotal {
  std::string group;  // UTF-8
  std::int64_t results = 0;
  std::int64_t lastShownUtcMs = 0;
  std::int64_t lastId = 0;
};

struct Panel {
  bool haveRun = false;  // false: the archive knows no run at or before that time
  RunRow run;            // the run the time falls in, or the last before it
  bool running = false;  // the monitor ran at that time
  std::vector<PanelDisplay> displays;
};

// A run not heard of for longer than this is no longer running.
inline constexpr std::int64_t kHeartbeatStaleMs = 5000;

class ArchiveReader {
 public:
  ArchiveReader() = default;
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Opens the archive (through a link too) for reading only; false with the
  // reason in *error (no file, not an archive, of a newer schema, damaged).
  // A cleanly closed archive is left as it was: the -wal and -shm that
  // reading needs go when the last reader closes.
  bool Open(const std::string& path, std::string* error);

  // How a transfer name names its vehicle (reports/VehicleKey), for the
  // filter's `vehicle`: a key that is a part of the name (the names are
  // searched for it first); until it is set a name is its own vehicle. Set
  // it before the reader is used.
  void SetVehicleOf(std::function<std::string(std::string_view transfer)> vehicleOf) {
    vehicleOf_ = std::move(vehicleOf);
  }

  // Calls `each` for every matching result in the order shown; `each` may
  // return false to stop. False with *error when the archive cannot be read.
  bool ListResults(const ResultFilter& filter, const std::function<bool(const ResultRow&)>& each,
                   std::string* error);
  // The lowest and highest id of the results the filter selects (its limit
  // aside); 0 and 0 when there are none. One pass over an index.
  bool ResultSpan(const ResultFilter& filter, std::int64_t* first, std::int64_t* last,
                  std::string* error);
  // How many results the filter selects (its limit aside).
  bool CountResults(const ResultFilter& filter, std::int64_t* count, std::string* error);
  // The items of the results with ids from `firstId` to `lastId`, by result
  // and in record order; `each` may return false to stop. Along the item
  // table's key: no sort, whatever the range.
  bool ListItems(std::int64_t firstId, std::int64_t lastId,
                 const std::function<bool(std::int64_t resultId, const RecordItem&)>& each,
                 std::string* error);
  // One result with its items and display writes; false with *error empty
  // when there is no such result.
  bool GetResult(std::int64_t id, ResultDetail* out, std::string* error);
  // The displays `displayIds` as they stood at `utcMs` (the last write in
  // the run then, at or before it).
  bool PanelAt(std::int64_t utcMs, const std::vector<int>& displayIds, Panel* out,
               std::string* error);
  // Runs that overlap [fromUtcMs, toUtcMs), oldest first.
  bool Runs(std::int64_t fromUtcMs, std::int64_t toUtcMs,
            const std::function<bool(const RunRow&)>& each, std::string* error);
  // The moments in [fromUtcMs, toUtcMs) at which the monitor wrote any of
  // `displayIds` on its own (not for a result: the idle state a run begins
  // with), oldest first. Down the index display_write_panel, run by run and
  // display by display, of the runs not stopped before the span.
  bool OwnWriteTimes(std::int64_t fromUtcMs, std::int64_t toUtcMs,
                     const std::vector<int>& displayIds, std::vector<std::int64_t>* times,
                     std::string* error);
  // The latest run; false (with *error empty) when there is none. Its
  // heartbeat, as in PanelAt, is Heartbeat's.
  bool LastRun(RunRow* out, std::string* error);
  // The last heartbeat of `run`: its row's, or the note the monitor keeps
  // beside the archive while another program holds it, when later
  // (archive/HeartbeatNote.h). Read anew at each call.
  std::int64_t Heartbeat(const RunRow& run) const;
  // The highest result id (0: none): a cheap way to see that results came.
  std::int64_t LatestResultId();
  // The last display write's number (0: none): changes with every result
  // and with the writes the monitor makes of its own (the idle state).
  std::int64_t LatestWriteSeq();
  // The last result of run `runId` shown at or before `atUtcMs` (the one
  // whose count the title showed then); false (with *error empty) when the
  // run showed none by then.
  bool LastResultOfRun(std::int64_t runId, std::int64_t atUtcMs, ResultRow* out,
                       std::string* error);
  // Per device group: how many results, the last shown. One pass over the
  // results.
  bool GroupTotals(std::vector<GroupTotal>* out, std::string* error);
  // PRAGMA data_version: changes whenever another connection commits (the
  // monitor's writer); -1 when it cannot be read.
  std::int64_t DataVersion();

  // Stepping through the results, for a page that looks at one of them or
  // at a moment (each false with *error empty when there is none):
  // the result with this id, without its items and writes;
  bool ResultById(std::int64_t id, ResultRow* out, std::string* error);
  // the result with the next lower id;
  bool ResultBefore(std::int64_t id, ResultRow* out, std::string* error);
  // the result with the next higher id;
  bool ResultAfter(std::int64_t id, ResultRow* out, std::string* error);
  // the result shown last at or before `atUtcMs`;
  bool ResultShownBy(std::int64_t atUtcMs, ResultRow* out, std::string* error);
  // the first result shown after `afterUtcMs`.
  bool ResultShownAfter(std::int64_t afterUtcMs, ResultRow* out, std::string* error);

  // How often a list of results had to be sorted since the archive was
  // opened (a list of a closed range of ids never is).
  std::int64_t SortsRun() const { return sorts_; }

 private:
  bool Failed(int rc, std::string* error);
  // The one result a query of the result's columns selects with ?1 and ?2
  // (false with *error empty: none).
  bool OneResult(const std::string& sql, std::int64_t first, std::int64_t second, ResultRow* out,
                 std::string* error);

  // The SQL functions the filters use: transfer_has(name, part) and
  // vehicle_of(name).
  bool AddFunctions();

  sql::Db db_;
  std::string file_;  // the archive's file, a link followed
  std::int64_t sorts_ = 0;
  std::function<std::string(std::string_view)> vehicleOf_;
};

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVEREADER_H
