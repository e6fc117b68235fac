#include "ship/Shipper.h"

#include <algorithm>
#include <thread>

#include "journal/Journal.h"
#include "journal/JournalLine.h"
#include "ship/ShipOptions.h"

namespace ship {

namespace {

// How often the archive is looked at for new results, and how long after
// a failure an archive not there (or not readable) is looked for again.
constexpr int kFollowMs = 500;
constexpr int kArchiveRetryMs = 5000;
constexpr std::chrono::milliseconds kFirstBackoff{1000};
constexpr std::chrono::milliseconds kMaxBackoff{30000};
// The monitor's heartbeat and brenna-ship's own reach the company this
// often while nothing else is shipped (the company's views count a line
// as running for 90 s after).
constexpr std::chrono::seconds kBeatPeriod{30};

// "host:port/database" as the connection string names them.
std::string ServerOf(const Conninfo& c) {
  std::string host = c.Get("host").empty() ? c.Get("hostaddr") : c.Get("host");
  const std::string port = c.Get("port").empty() ? "5432" : c.Get("port");
  const std::string db = c.Get("dbname").empty() ? c.Get("user") : c.Get("dbname");
  return host + ":" + port + "/" + db;
}

// Whether libpq's words say the server could not prove itself (a
// certificate that does not verify or does not name the host, no root to
// check it against).
bool Unproven(const std::string& why) { return why.find("certificate") != std::string::npos; }

}  // namespace

Shipper::Shipper(ShipperOptions options)
    : o_(std::move(options)),
      source_(o_.archivePath),
      company_(o_.version),
      server_(ServerOf(o_.conninfo)) {}

bool Shipper::ArchiveReady() {
  if (source_.IsOpen() && !source_.Replaced()) return true;
  if (source_.IsOpen()) {
    BRENNA_LOG(kInfo, kShip, "the archive %s is another file now: it is opened anew",
               source_.Path().c_str());
    source_.Close();
  }
  std::string why;
  if (!source_.Open(&why)) {
    if (!archiveMissingSaid_) {
      BRENNA_LOG(kWarning, kShip, "the archive cannot be shipped yet: %s; looked at every %d s",
                 why.c_str(), kArchiveRetryMs / 1000);
      archiveMissingSaid_ = true;
    }
    return false;
  }
  if (!identity_.empty() && identity_ != source_.Identity()) {
    BRENNA_LOG(kWarning, kShip,
               "the archive %s is a new one (identity %s, before %s): its results are shipped as "
               "another archive of the line",
               source_.Path().c_str(), source_.Identity().c_str(), identity_.c_str());
    company_.Close();
  }
  identity_ = source_.Identity();
  return true;
}

bool Shipper::CompanyReady() {
  if (company_.Connected()) return true;
  if (Clock::now() < nextTry_) return false;
  std::string why;
  if (!company_.Connect(o_.conninfo, &why) || !company_.UseArchive(identity_, &why) ||
      !FollowRestoredCopy(&why)) {
    CompanyDown(why);
    return false;
  }
  if (down_) {
    BRENNA_LOG(kInfo, kShip, "the company database at %s is reached again after %s",
               server_.c_str(), journal::FormatSpan(Clock::now() - downSince_).c_str());
  } else {
    BRENNA_LOG(kInfo, kShip,
               "shipping the archive %s (identity %s) as line %s to %s: the company has its "
               "results up to id %lld",
               source_.Path().c_str(), identity_.c_str(), company_.Line().c_str(), server_.c_str(),
               static_cast<long long>(company_.Through()));
  }
  down_ = false;
  caughtUpSaid_ = false;  // once more when what waited is shipped
  backoff_ = std::chrono::milliseconds(0);
  Mark();
  return true;
}

bool Shipper::FollowRestoredCopy(std::string* why) {
  const std::int64_t highest = source_.HighestResultId();
  if (company_.Through() <= highest) return true;
  // Where the copy's own results begin: the first of its results the
  // company does not have as it is (the same id shown at the same moment).
  std::vector<std::pair<std::int64_t, std::int64_t>> mine, theirs;
  if (!source_.ShownTimes(highest, &mine, why) ||
      !company_.ShownTimes(mine.empty() ? 1 : mine.front().first, highest, &theirs, why))
    return false;
  std::int64_t same = mine.empty() ? highest : mine.front().first - 1;
  for (std::size_t i = 0; i < mine.size() && i < theirs.size() && mine[i] == theirs[i]; ++i)
    same = mine[i].first;
  const std::string before = identity_;
  if (!source_.Renew(why)) {
    *why = "the archive cannot be given a new identity: " + *why;
    return false;
  }
  identity_ = source_.Identity();
  BRENNA_LOG(kWarning, kShip,
             "the archive %s has given ids only up to %lld, the company database has its "
             "results up to %lld: a copy restored from a backup; it is shipped on as a new archive "
             "(identity %s, before %s) from result %lld, the first the company does not have, so "
             "that no new result is taken for an old one",
             source_.Path().c_str(), static_cast<long long>(highest),
             static_cast<long long>(company_.Through()), identity_.c_str(), before.c_str(),
             static_cast<long long>(same + 1));
  return company_.UseArchive(identity_, why) && company_.SkipThrough(same, why);
}

void Shipper::CompanyDown(const std::string& why) {
  company_.Close();
  backoff_ = std::clamp(backoff_ * 2, kFirstBackoff, kMaxBackoff);
  nextTry_ = Clock::now() + backoff_;
  if (down_) {
    BRENNA_LOG(kDebug, kShip, "the company database at %s: %s", server_.c_str(), why.c_str());
    return;
  }
  down_ = true;
  downSince_ = Clock::now();
  if (Unproven(why)) {
    BRENNA_LOG(kWarning, kShip,
               "the company database at %s does not prove itself (%s): nothing is sent to it; "
               "results wait in the archive, tried again every %lld s at most",
               server_.c_str(), why.c_str(), static_cast<long long>(kMaxBackoff.count() / 1000));
  } else {
    BRENNA_LOG(kWarning, kShip,
               "the company database at %s cannot be used (%s): results wait in the archive, "
               "tried again every %lld s at most",
               server_.c_str(), why.c_str(), static_cast<long long>(kMaxBackoff.count() / 1000));
  }
}

void Shipper::Mark() {
  std::string why;
  if (source_.Mark(company_.Through(), &why)) {
    markFailingSaid_ = false;
    return;
  }
  if (markFailingSaid_) return;
  markFailingSaid_ = true;
  BRENNA_LOG(kWarning, kShip,
             "cannot record in the archive how far it is shipped (%s): its trim keeps more than "
             "it needs until this works",
             why.c_str());
}

std::vector<archive::RunRow> Shipper::RunsToShip() {
  std::vector<archive::RunRow> runs;
  std::string why;
  if (!source_.RunsFrom(company_.LastRunId(), &runs, &why)) runs.clear();
  return runs;
}

void Shipper::SayGap(std::int64_t firstId) {
  const std::int64_t through = company_.Through();
  if (firstId <= through + 1) return;
  if (through == 0) {
    BRENNA_LOG(kInfo, kShip,
               "the archive's results before id %lld were gone before it was first shipped: the "
               "company database has them from there on",
               static_cast<long long>(firstId));
  } else {
    BRENNA_LOG(kWarning, kShip,
               "results %lld to %lld were removed from the archive before they were shipped "
               "(its disk was nearly full, or it was changed by hand): the company database "
               "never gets them",
               static_cast<long long>(through + 1), static_cast<long long>(firstId - 1));
  }
}

Shipper::Step Shipper::ShipNext() {
  std::vector<reports::ResultWithItems> results;
  std::string why;
  if (!source_.ReadAfter(company_.Through(), o_.batch, &results, &why)) {
    if (!archiveMissingSaid_) {
      BRENNA_LOG(kWarning, kShip, "the archive cannot be read (%s): opened anew every %d s",
                 why.c_str(), kArchiveRetryMs / 1000);
      archiveMissingSaid_ = true;
    }
    source_.Close();
    return Step::kArchiveFailed;
  }
  if (archiveMissingSaid_)
    BRENNA_LOG(kInfo, kShip, "the archive %s can be read", o_.archivePath.c_str());
  archiveMissingSaid_ = false;
  if (results.empty()) return Step::kNothing;
  SayGap(results.front().row.id);
  const ShipBatch batch = MakeShipBatch(results);
  if (!company_.Ship(batch, RunsToShip(), &why)) {
    CompanyDown(why);
    return Step::kCompanyFailed;
  }
  shippedThisRun_ += batch.results;
  BRENNA_LOG(kInfo, kShip, "shipped results %lld to %lld (%d results, %d values)",
             static_cast<long long>(batch.firstId), static_cast<long long>(batch.lastId),
             batch.results, batch.values);
  nextBeat_ = Clock::now() + kBeatPeriod;
  Mark();
  return Step::kShipped;
}

void Shipper::Beat() {
  std::string why;
  if (company_.Beat(RunsToShip(), &why)) {
    nextBeat_ = Clock::now() + kBeatPeriod;
  } else {
    CompanyDown(why);
  }
}

int Shipper::Run() {
  // Waits `ms` for a stop; true when one came.
  const auto stopping = [&](int ms) {
    if (o_.stopWithin) return o_.stopWithin(ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
  };
  while (!stopping(0)) {
    if (!ArchiveReady()) {
      if (o_.once) return kCannot;
      stopping(kArchiveRetryMs);
      continue;
    }
    if (!CompanyReady()) {
      if (o_.once) return kCannot;
      const auto wait =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextTry_ - Clock::now());
      stopping(static_cast<int>(std::clamp<long long>(wait.count(), 0, kMaxBackoff.count())));
      continue;
    }
    const Step step = ShipNext();
    if (step == Step::kShipped) continue;
    if (step == Step::kArchiveFailed || step == Step::kCompanyFailed) {
      if (o_.once) return kCannot;
      // The company's next try waits for its backoff (CompanyReady).
      if (step == Step::kArchiveFailed) stopping(kArchiveRetryMs);
      continue;
    }
    if (!caughtUpSaid_ && shippedThisRun_ > 0) {
      BRENNA_LOG(kInfo, kShip,
                 "up to date: %lld results shipped since the start; following the archive",
                 static_cast<long long>(shippedThisRun_));
      caughtUpSaid_ = true;
    }
    if (o_.once || Clock::now() >= nextBeat_) Beat();
    if (o_.once) return company_.Connected() ? kDone : kCannot;
    // Nothing new: looked at again twice a second, at once when the
    // monitor committed.
    while (!stopping(kFollowMs) && !source_.Changed() && !source_.Replaced() &&
           Clock::now() < nextBeat_) {
    }
  }
  return kDone;
}

}  // namespace ship
