// Shipper - brenna-ship's work: the line's archive into the company
// database, everything not yet there first, oldest first, a batch per
// transaction, then every new result within a second of its commit
// (PRAGMA data_version looked at twice a second). Nothing ends it but a
// stop (or, with --once, the end of what is there): a database stopped,
// unreachable or refusing, an archive not there yet or replaced, are each
// said once in the journal when they begin and once when they end, and
// tried again, the database after 1 s, 2 s, 4 s ... at most 30 s.
#ifndef BRENNA_SHIP_SHIPPER_H
#define BRENNA_SHIP_SHIPPER_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ship/ArchiveSource.h"
#include "ship/CompanySession.h"
#include "ship/Conninfo.h"

namespace ship {

struct ShipperOptions {
  Conninfo conninfo;
  std::string archivePath;
  bool once = false;
  int batch = 500;
  std::string version;
  // Waits at most `ms` for a stop (SIGTERM, Ctrl+C); true when one came.
  std::function<bool(int ms)> stopWithin;
};

class Shipper {
 public:
  explicit Shipper(ShipperOptions options);
  Shipper(const Shipper&) = delete;
  Shipper& operator=(const Shipper&) = delete;

  // Ships until stopped: kDone. With --once until everything there is
  // shipped (kDone) or cannot be (kCannot).
  int Run();

 private:
  enum class Step { kShipped, kNothing, kArchiveFailed, kCompanyFailed };

  bool ArchiveReady();
  bool CompanyReady();
  // The company has more of this archive than the file ever held: a copy
  // restored from a backup. It goes on as another archive from its last
  // result on. False with why.
  bool FollowRestoredCopy(std::string* why);
  Step ShipNext();
  // The monitor's runs the company should have anew (new ones, and the
  // newest again for its heartbeat).
  std::vector<archive::RunRow> RunsToShip();
  void Beat();
  void SayGap(std::int64_t firstId);
  // The company database failed (`why`): said once, the connection
  // dropped, the next try after the backoff.
  void CompanyDown(const std::string& why);
  void Mark();

  ShipperOptions o_;
  ArchiveSource source_;
  CompanySession company_;
  std::string server_;  // host:port/database, for the journal
  std::string identity_;

  using Clock = std::chrono::steady_clock;
  bool archiveMissingSaid_ = false;
  bool down_ = false;
  Clock::time_point downSince_{};
  std::chrono::milliseconds backoff_{0};
  Clock::time_point nextTry_{};
  Clock::time_point nextBeat_{};
  bool markFailingSaid_ = false;
  std::int64_t shippedThisRun_ = 0;
  bool caughtUpSaid_ = false;
};

}  // namespace ship

#endif  // BRENNA_SHIP_SHIPPER_H
