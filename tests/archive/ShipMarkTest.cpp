// The archive as brenna-ship sees it: an identity of its own that a new or
// replaced archive does not share, and a trim that keeps what has not been
// shipped to the company database until the disk is nearly full.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "JournalCapture.h"
#include "TempDir.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "archive/ShipMark.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kDay = 24LL * 3600 * 1000;

archive::ArchivedResult Result(std::int64_t when, const std::string& transfer, int bytes = 1) {
  archive::ArchivedResult r;
  r.shownUtcMs = when;
  r.transfer = transfer;
  r.deviceCode = 3;
  r.operatorText = "1024";
  r.itemCount = 1;
  std::string value;
  for (int k = 0; k < bytes; ++k) value += static_cast<char>('a' + (k * 31 + when) % 26);
  r.items = {{0, 5001, 1, value}};
  return r;
}

class ShipMarkTest : public ::testing::Test {
 protected:
  // Runs the monitor's writer once over the archive: it opens (making or
  // upgrading it), records `results`, enforces its limits and stops.
  void RunWriter(const std::vector<archive::ArchivedResult>& results,
                 archive::WriterOptions o = {}) {
    o.path = path;
    archive::ArchiveWriter writer;
    writer.Start(o);
    for (const archive::ArchivedResult& r : results) writer.Record(r);
    writer.Stop("quit");
  }

  std::string Identity() {
    archive::ShipMark mark;
    std::string error;
    EXPECT_TRUE(mark.Open(path, &error)) << error;
    return mark.Identity();
  }

  std::vector<std::string> Transfers() {
    archive::ArchiveReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, &error)) << error;
    std::vector<std::string> names;
    reader.ListResults(
        {}, [&](const archive::ResultRow& r) { return names.push_back(r.transfer), true; }, &error);
    return names;
  }

  void Mark(std::int64_t through) {
    archive::ShipMark mark;
    std::string error;
    ASSERT_TRUE(mark.Open(path, &error)) << error;
    ASSERT_TRUE(through >= 0 ? mark.Write(through, archive::NowUtcMs(), &error)
                             : mark.Clear(&error))
        << error;
  }

  JournalCapture journal;
  TempDir dir;
  std::string path = dir.file(archive::kArchiveFileName);
};

}  // namespace

TEST_F(ShipMarkTest, AnArchiveKeepsOneIdentityAndAReplacedOrOlderOneGetsItsOwn) {
  // An archive of the schema before identities, as an older monitor left it.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    const std::string v1 = std::string(archive::UpgradeStep(0)) +
                           "PRAGMA application_id = " + std::to_string(archive::kApplicationId) +
                           "; PRAGMA user_version = 1;";
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, v1.c_str(), nullptr, nullptr, nullptr));
    sqlite3_close(db);
  }
  archive::ShipMark mark;
  std::string error;
  EXPECT_FALSE(mark.Open(path, &error));
  EXPECT_NE(std::string::npos, error.find("no identity yet")) << error;

  RunWriter({Result(archive::NowUtcMs(), "first")});
  const std::string first = Identity();
  EXPECT_EQ(32u, first.size());
  EXPECT_EQ(std::string::npos, first.find_first_not_of("0123456789abcdef")) << first;
  // Nothing is shipped until brenna-ship says so.
  ASSERT_TRUE(mark.Open(path, &error)) << error;
  EXPECT_EQ(-1, mark.Through());
  mark.Close();

  RunWriter({Result(archive::NowUtcMs(), "second")});
  EXPECT_EQ(first, Identity());

  // Deleted (or reinstalled) and begun anew: another archive, whose ids
  // start again at 1.
  for (const char* tail : {"", "-wal", "-shm"}) fs::remove(path + tail);
  RunWriter({Result(archive::NowUtcMs(), "anew")});
  EXPECT_NE(first, Identity());
  EXPECT_EQ(std::vector<std::string>{"anew"}, Transfers());
}

TEST_F(ShipMarkTest, TheTrimKeepsWhatIsNotShippedUntilTheDiskIsNearlyFull) {
  const std::int64_t now = archive::NowUtcMs();
  RunWriter({Result(now - 120 * kDay, "old-1"), Result(now - 110 * kDay, "old-2"),
             Result(now - 100 * kDay, "old-3"), Result(now - kDay, "recent-4")});
  ASSERT_EQ(4u, Transfers().size());

  // Shipped through result 1: the retention removes only that one.
  Mark(1);
  RunWriter({});
  EXPECT_EQ((std::vector<std::string>{"old-2", "old-3", "recent-4"}), Transfers());

  // Nor does the size cap take what is not shipped: 40 results of 50 KB
  // into a file capped at 1 MiB, shipped through the 10th of them; the 30
  // beyond (1.5 MB) stay above the cap.
  std::vector<archive::ArchivedResult> big;
  for (int i = 0; i < 40; ++i) big.push_back(Result(now + i, "big-" + std::to_string(i), 50000));
  RunWriter(big);
  archive::WriterOptions capped;
  capped.maxBytes = 1 << 20;
  Mark(4 + 10);
  RunWriter({}, capped);
  std::vector<std::string> kept = Transfers();
  ASSERT_EQ(30u, kept.size());
  EXPECT_EQ("big-10", kept.front());
  EXPECT_EQ("", JournalCapture::Line("given up"));

  // The disk nearly full: the limits are the archive's own again, and the
  // journal says at once how many unshipped results went.
  archive::WriterOptions full = capped;
  full.nearlyFullBelow = std::numeric_limits<std::uint64_t>::max();
  RunWriter({}, full);
  kept = Transfers();
  EXPECT_LT(kept.size(), 30u);
  const std::string line = JournalCapture::Line("the disk is nearly full");
  EXPECT_NE(std::string::npos,
            line.find(std::to_string(30 - kept.size()) +
                      " results not yet shipped to the company database were given up"))
      << line;

  // A line that ships no more (its mark removed) trims as before it ever
  // shipped: the results older than 90 days go.
  RunWriter({Result(now - 95 * kDay, "late-old")});
  Mark(-1);
  RunWriter({});
  for (const std::string& t : Transfers()) EXPECT_NE("late-old", t);
}
