// The archive without the window: what goes in comes back byte for byte,
// the panel at any moment is rebuilt from the writes, the run's rows answer
// "was it up then?", the limits take the oldest results first, and a file
// that is no archive of ours is moved aside, never written into.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "TestFiles.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;
using archive::ArchivedResult;
using archive::DisplayWrite;

namespace {

constexpr std::int64_t kDay = 24LL * 3600 * 1000;

std::mutex g_linesLock;
std::vector<std::string> g_lines;

void Capture(journal::Level, journal::Category, const char* text) {
  std::lock_guard<std::mutex> guard(g_linesLock);
  g_lines.push_back(text);
}

void ClearLines() {
  std::lock_guard<std::mutex> guard(g_linesLock);
  g_lines.clear();
}

std::string LinesWith(const std::string& part) {
  std::lock_guard<std::mutex> guard(g_linesLock);
  std::string found;
  for (const std::string& l : g_lines)
    if (l.find(part) != std::string::npos) found += l + "\n";
  return found;
}

// A value of `bytes` letters that does not compress.
std::string BigValue(int seed, int bytes) {
  std::string big;
  for (int k = 0; k < bytes; ++k) big += static_cast<char>('a' + (seed * 7919 + k * 31) % 26);
  return big;
}

ArchivedResult Result(std::int64_t when, const std::string& transfer, int device,
                      const std::string& value) {
  ArchivedResult r;
  r.shownUtcMs = when;
  r.transfer = transfer;
  r.stations = "10.1.2.3:40001";
  r.deviceCode = device;
  r.deviceGroup = device == 25 ? "制动设备" : "速度设备";
  r.operatorText = "0815";
  r.titleCount = 1;
  r.itemCount = 2;
  r.items = {{0, 7700, 0, std::to_string(device)}, {1, 5071, 1, value}};
  r.writes = {{1119, "0815", 0xFFFFFF, 0xFF0000}, {1126, value, 0xFFFFFF, 0x000000}};
  return r;
}

// Armed, the next commit of a connection opened since HookCommits was
// registered deletes this file first: the archive gone in the very moment a
// result is written into it.
std::atomic<const std::string*> g_deleteOnCommit{nullptr};

int DeleteOnCommit(void*) {
  if (const std::string* file = g_deleteOnCommit.exchange(nullptr)) fs::remove(*file);
  return 0;
}

int HookCommits(sqlite3* db, const char**, const struct sqlite3_api_routines*) {
  sqlite3_commit_hook(db, &DeleteOnCommit, nullptr);
  return SQLITE_OK;
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    journal::SetRouter(&Capture);
    journal::SetThreshold(journal::Category::kDisplay, journal::Level::kInfo);
    ClearLines();
  }
  void TearDown() override {
    journal::SetRouter(nullptr);
    journal::SetThreshold(journal::Category::kDisplay, journal::Level::kWarning);
  }

  archive::WriterOptions Options() const {
    archive::WriterOptions o;
    o.path = path;
    return o;
  }

  void Open(archive::ArchiveReader& reader) {
    std::string error;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
  }

  std::vector<archive::ResultRow> All() {
    archive::ArchiveReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, &error)) << error;
    std::vector<archive::ResultRow> rows;
    EXPECT_TRUE(reader.ListResults(
        {}, [&](const archive::ResultRow& r) { return rows.push_back(r), true; }, &error))
        << error;
    return rows;
  }

  std::vector<std::string> Transfers() {
    std::vector<std::string> names;
    for (const archive::ResultRow& r : All()) names.push_back(r.transfer);
    return names;
  }

  // The name moved aside to for `reason` (the file, and its -wal and -shm
  // with the same name and their suffix), or "".
  std::string Aside(const std::string& reason) {
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
      const std::string name = e.path().string();
      for (const std::string tail : {"", "-wal", "-shm"}) {
        const std::string end = "." + reason + tail;
        if (name.size() > end.size() &&
            name.compare(name.size() - end.size(), end.size(), end) == 0)
          return name.substr(0, name.size() - tail.size());
      }
    }
    return std::string();
  }

  TempDir dir;
  // With the system's separators, as the monitor names it.
  std::string path = (dir.path() / "state" / "brennacenter" / archive::kArchiveFileName).string();
};

}  // namespace

TEST_F(ArchiveTest, KeepsEveryByteAndRebuildsThePanelAtAnyMomentOfTheRun) {
  // A station's bytes as they came: not GBK, control characters, quotes.
  const std::string odd = std::string("\xFF\x1B[31m\"=1+1\",\0x", 12);
  archive::ArchiveWriter writer;
  writer.Start(Options());
  // Three moments of the run, a few milliseconds apart (only their order
  // matters).
  const auto moment = [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    return archive::NowUtcMs();
  };
  const std::int64_t idle = moment(), t1 = moment(), t2 = moment();
  writer.RecordOwnWrites(idle,
                         {{1119, "idle", 0xFFFFFF, 0x0000FF}, {1018, "idle", 0xFFFFFF, 0x0000FF}});
  ArchivedResult second = Result(t2, odd, 25, odd);
  second.titleCount = -1;
  writer.Record(Result(t1, "lane2-brake", 25, "1234"));
  writer.Record(second);
  writer.Drain();
  // Readers see each result as soon as it is committed, while the writer runs.
  EXPECT_EQ(2u, All().size());
  writer.Stop("quit");
  EXPECT_EQ(2u, writer.Counts().archived);
#ifdef _WIN32
  // Private by the access list, as the journal's files.
  EXPECT_EQ("", test_files::WhyNotPrivate(path));
  EXPECT_EQ("", test_files::WhyNotPrivate(fs::path(path).parent_path().string()));
#else
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
            fs::status(path).permissions() & fs::perms::all);
  EXPECT_EQ(fs::perms::owner_all, fs::status(dir.file("state/brennacenter")).permissions());
#endif

  archive::ArchiveReader reader;
  ASSERT_NO_FATAL_FAILURE(Open(reader));
  archive::ResultDetail d;
  std::string error;
  ASSERT_TRUE(reader.GetResult(All().at(1).id, &d, &error)) << error;
  EXPECT_EQ(odd, d.row.transfer);
  EXPECT_EQ(-1, d.row.titleCount);
  ASSERT_EQ(2u, d.items.size());
  EXPECT_EQ(odd, d.items[1].value);
  EXPECT_EQ(5071, d.items[1].code);
  EXPECT_EQ(1, d.items[1].judge);
  ASSERT_EQ(2u, d.writes.size());
  EXPECT_EQ(1126, d.writes[1].displayId);
  EXPECT_EQ(odd, d.writes[1].text);
  EXPECT_EQ(archive::ToLocal(t2).text, d.row.shownLocal);

  const std::vector<int> ids = {1018, 1119, 1126, 1157};
  archive::Panel panel;
  // Before the run: nothing known.
  ASSERT_TRUE(reader.PanelAt(idle - 10 * kDay, ids, &panel, &error)) << error;
  EXPECT_FALSE(panel.haveRun);
  // At the first result: the idle state, and the first result over it.
  ASSERT_TRUE(reader.PanelAt(t1, ids, &panel, &error)) << error;
  ASSERT_TRUE(panel.haveRun && panel.running);
  EXPECT_EQ("idle", panel.displays[0].text);  // 1018: no result wrote it
  EXPECT_EQ(0x0000FFu, panel.displays[0].textColor);
  EXPECT_EQ("0815", panel.displays[1].text);
  EXPECT_EQ(0xFF0000u, panel.displays[1].textColor);
  EXPECT_EQ("1234", panel.displays[2].text);
  EXPECT_FALSE(panel.displays[3].written);  // never written: empty, white on white
  EXPECT_EQ(0xFFFFFFu, panel.displays[3].textColor);
  // At the second: its text on 1126.
  ASSERT_TRUE(reader.PanelAt(t2, ids, &panel, &error)) << error;
  EXPECT_EQ(odd, panel.displays[2].text);
  // After the stop: the monitor did not run then.
  ASSERT_TRUE(reader.PanelAt(archive::NowUtcMs() + kDay, ids, &panel, &error)) << error;
  EXPECT_TRUE(panel.haveRun);
  EXPECT_FALSE(panel.running);
  EXPECT_TRUE(panel.run.stopped);
  EXPECT_EQ("quit", panel.run.stopHow);

  // A second run starts from a blank panel: what the window shows at start.
  writer.Start(Options());
  writer.Heartbeat();
  writer.Stop(std::string());
  ASSERT_TRUE(reader.PanelAt(archive::NowUtcMs(), ids, &panel, &error)) << error;
  EXPECT_FALSE(panel.displays[1].written);
  std::vector<archive::RunRow> runs;
  ASSERT_TRUE(reader.Runs(
      idle - kDay, archive::NowUtcMs() + 1,
      [&](const archive::RunRow& r) { return runs.push_back(r), true; }, &error));
  EXPECT_EQ(2u, runs.size());
}

TEST_F(ArchiveTest, RetentionAndSizeCapTakeTheOldestResultsFirst) {
  const std::int64_t now = archive::NowUtcMs();
  {
    archive::ArchiveWriter writer;
    writer.Start(Options());
    writer.Record(Result(now - 120 * kDay, "old", 25, "1"));
    writer.Record(Result(now - 91 * kDay, "older-than-90", 25, "2"));
    writer.Record(Result(now - 89 * kDay, "within-90", 25, "3"));
    // Values that do not compress, 3 MiB in all.
    for (int i = 0; i < 60; ++i)
      writer.Record(
          Result(now - (60 - i) * 1000, "big-" + std::to_string(i), 3, BigValue(i, 50000)));
    writer.Stop(std::string());
  }
  ASSERT_EQ(63u, All().size());

  archive::WriterOptions o = Options();
  o.maxBytes = 1 << 20;
  archive::ArchiveWriter writer;
  writer.Start(o);
  // The freed pages go back to the file system while nothing waits.
  writer.Drain();
  writer.Stop(std::string());
  const std::vector<archive::ResultRow> kept = All();
  ASSERT_FALSE(kept.empty());
  // What is left is the newest, without a gap; the two beyond 90 days went
  // by age, the rest to the cap.
  EXPECT_EQ("big-59", kept.back().transfer);
  for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i - 1].id + 1, kept[i].id);
  EXPECT_LT(kept.size(), 60u);
  EXPECT_LE(fs::file_size(path), std::uintmax_t{1} << 20);
  EXPECT_NE("", LinesWith("results older than 90 days"));
}

TEST_F(ArchiveTest, AFileThatIsNoArchiveOfOursIsMovedAsideAndANewOneBegun) {
  struct Case {
    const char* reason;
    std::string (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"damaged",
       [](const std::string& p) {
         WriteFileBytes(p, std::string(8192, '\x5A'));
         return ReadFileBytes(p);
       }},
      {"foreign",
       [](const std::string& p) {
         sqlite3* db = nullptr;
         sqlite3_open(p.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE photos (id INTEGER); INSERT INTO photos VALUES (7);",
                      nullptr, nullptr, nullptr);
         sqlite3_close(db);
         return ReadFileBytes(p);
       }},
      {"newer",
       [](const std::string& p) {
         sqlite3* db = nullptr;
         sqlite3_open(p.c_str(), &db);
         const std::string ids =
             "PRAGMA application_id = " + std::to_string(archive::kApplicationId) +
             "; PRAGMA user_version = 99; CREATE TABLE later (x);";
         sqlite3_exec(db, ids.c_str(), nullptr, nullptr, nullptr);
         sqlite3_close(db);
         return ReadFileBytes(p);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    fs::remove_all(dir.file("state"));
    fs::create_directories(fs::path(path).parent_path());
    const std::string before = c.make(path);
    archive::ArchiveWriter writer;
    writer.Start(Options());
    writer.Record(Result(archive::NowUtcMs(), "after", 3, "1"));
    writer.Stop(std::string());
    EXPECT_EQ(1u, writer.Counts().archived);
    EXPECT_EQ(1u, writer.Counts().movedAside);

    // The file is kept as it was, under a name with the time and the reason.
    const std::string aside = Aside(c.reason);
    ASSERT_NE("", aside);
    EXPECT_EQ(before, ReadFileBytes(aside));
    EXPECT_NE("", LinesWith("moved aside to " + aside)) << aside;
    ASSERT_EQ(1u, All().size());
    EXPECT_EQ("after", All()[0].transfer);
  }
}

TEST_F(ArchiveTest, TheSizeCapHoldsAsResultsAreWrittenNotOnlyAtTheHourlyCheck) {
  archive::WriterOptions o = Options();
  o.maxBytes = 1 << 20;
  archive::ArchiveWriter writer;
  writer.Start(o);
  // 3 MiB of results within the hour, into a file capped at 1 MiB.
  const std::int64_t now = archive::NowUtcMs();
  for (int i = 0; i < 60; ++i)
    writer.Record(Result(now + i, "big-" + std::to_string(i), 3, BigValue(i, 50000)));
  writer.Drain();
  writer.Stop(std::string());
  EXPECT_LE(fs::file_size(path), std::uintmax_t{1} << 20);
  const std::vector<archive::ResultRow> kept = All();
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ("big-59", kept.back().transfer);
  for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i - 1].id + 1, kept[i].id);
  EXPECT_EQ(60u, writer.Counts().archived);
  EXPECT_NE("", LinesWith("more for the size cap of 1 MiB removed"));
}

TEST_F(ArchiveTest, AnArchiveDeletedOrReplacedWhileOpenIsBegunAgainAtItsPath) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows refuses to delete or replace a file while it is open";
#endif
  sqlite3_auto_extension(reinterpret_cast<void (*)()>(&HookCommits));
  archive::ArchiveWriter writer;
  writer.Start(Options());
  writer.Record(Result(archive::NowUtcMs(), "before", 25, "1"));
  writer.Drain();
  // A reader of the archive at that moment (the web view) keeps the old
  // file and its WAL in use.
  sqlite3* reader = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr));
  ASSERT_EQ(SQLITE_OK,
            sqlite3_exec(reader, "SELECT count(*) FROM result", nullptr, nullptr, nullptr));

  // Deleted: the next result begins a new archive at the path, said once.
  ASSERT_TRUE(fs::remove(path));
  writer.Record(Result(archive::NowUtcMs(), "after-delete", 25, "2"));
  writer.Drain();
  EXPECT_NE("", LinesWith("archive " + path + " was deleted or moved away while open"));
  EXPECT_EQ(std::vector<std::string>{"after-delete"}, Transfers());

  // Replaced by another program's file: that is moved aside in turn, and
  // the next result is in a new archive again.
  const std::string other = dir.file("other.sqlite");
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(other.c_str(), &db));
  sqlite3_exec(db, "CREATE TABLE photos (id INTEGER)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string photos = ReadFileBytes(other);
  fs::rename(other, path);
  writer.Record(Result(archive::NowUtcMs(), "after-replace", 25, "3"));
  writer.Drain();
  EXPECT_NE("", LinesWith("archive " + path + " was replaced by another file while open"));
  EXPECT_EQ(std::vector<std::string>{"after-replace"}, Transfers());
  EXPECT_TRUE(photos == ReadFileBytes(Aside("foreign"))) << "the replacing file was changed";

  // Deleted while a result is committed to it: that result is written
  // again into the new archive, not lost with the old one.
  g_deleteOnCommit = &path;
  writer.Record(Result(archive::NowUtcMs(), "in-flight", 25, "4"));
  writer.Drain();
  EXPECT_EQ(nullptr, g_deleteOnCommit.load()) << "the archive was not deleted mid-commit";
  EXPECT_EQ(std::vector<std::string>{"in-flight"}, Transfers());

  writer.Stop("quit");
  sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&HookCommits));
  sqlite3_close(reader);
  EXPECT_EQ(4u, writer.Counts().archived);
  EXPECT_EQ(0u, writer.Counts().notArchived);
  EXPECT_EQ(std::vector<std::string>{"in-flight"}, Transfers());
}

TEST_F(ArchiveTest, ResultsWaitWhileAnotherProgramHoldsTheArchiveLocked) {
  archive::WriterOptions o = Options();
  o.maxQueued = 3;
  archive::ArchiveWriter writer;
  writer.Start(o);
  writer.Record(Result(archive::NowUtcMs(), "before", 25, "1"));
  writer.Drain();

  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  for (int i = 1; i <= 5; ++i)
    writer.Record(Result(archive::NowUtcMs(), "locked-" + std::to_string(i), 25, "2"));
  // Said while the lock is held, not at the stop: the wait, and the two
  // results the full queue could not take.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (LinesWith("is held locked by another program").empty() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE("", LinesWith("archive " + path + " is held locked by another program"));
  EXPECT_NE("", LinesWith("archive queue full (3 waiting): result 'locked-4' is shown but not"));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr));
  sqlite3_close(other);

  writer.Drain();
  writer.Stop("quit");
  EXPECT_EQ((std::vector<std::string>{"before", "locked-1", "locked-2", "locked-3"}), Transfers());
  EXPECT_EQ(4u, writer.Counts().archived);
  EXPECT_EQ(2u, writer.Counts().notArchived);
  EXPECT_NE("", LinesWith("archive queue has room again; 2 items were not archived meanwhile"));
  EXPECT_NE("", LinesWith("archive " + path + " is no longer held locked"));

  // Locked from the start to the stop: the stop does not wait for the lock
  // beyond a last try, and says what it gives up.
  ClearLines();
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  writer.Start(o);
  writer.Record(Result(archive::NowUtcMs(), "at-stop-1", 25, "3"));
  writer.Record(Result(archive::NowUtcMs(), "at-stop-2", 25, "3"));
  writer.Stop("quit");
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(0u, writer.Counts().archived);
  EXPECT_EQ(2u, writer.Counts().notArchived);
  EXPECT_NE("", LinesWith("archive " + path +
                          " is still held locked by another program at the stop: 2 results"));
  EXPECT_EQ(4u, Transfers().size());
}

TEST_F(ArchiveTest, AWalOrShmThatIsNotTheArchivesOwnIsNeverTakenUp) {
  enum class Kind { kHardLink, kLeftWal, kFolder };
  struct Case {
    const char* name;
    const char* suffix;  // the name beside the archive that is not its own
    Kind kind;
  };
  const Case cases[] = {
      {"a hard link as -shm", "-shm", Kind::kHardLink},
      {"a hard link as -wal", "-wal", Kind::kHardLink},
      {"the -wal of an archive deleted after a kill", "-wal", Kind::kLeftWal},
      {"a folder as -shm", "-shm", Kind::kFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir.file("state"));
    {
      archive::ArchiveWriter writer;
      writer.Start(Options());
      writer.Record(Result(archive::NowUtcMs(), "kept", 25, "1"));
      writer.Drain();
      // What a kill at this moment would leave beside the file.
      fs::copy_file(path + "-wal", path + ".killed-wal");
      writer.Stop(std::string());
    }
    ClearLines();
    // The file whose bytes must stay as they are.
    const std::string target = c.kind == Kind::kLeftWal ? path + ".killed-wal" : dir.file("notes");
    if (c.kind == Kind::kHardLink) {
      WriteFileBytes(target, "the operator's notes");
      fs::create_hard_link(target, path + c.suffix);
    } else if (c.kind == Kind::kLeftWal) {
      fs::remove(path);
      fs::copy_file(target, path + c.suffix);
    } else {
      fs::create_directory(path + c.suffix);
    }
    const std::string before = ReadFileBytes(target);
    archive::ArchiveWriter writer;
    writer.Start(Options());
    writer.Record(Result(archive::NowUtcMs(), "after", 25, "2"));
    writer.Stop(std::string());
    EXPECT_TRUE(before == ReadFileBytes(target)) << "written through";
    const std::string aside = Aside("foreign");
    ASSERT_NE("", aside);
    if (c.kind == Kind::kFolder) {
      EXPECT_TRUE(fs::is_directory(aside + c.suffix));
    } else {
      EXPECT_TRUE(before == ReadFileBytes(aside + c.suffix)) << "not kept as it was";
    }
    EXPECT_NE("", LinesWith("archive " + path + " is unsafe to open (its " + c.suffix + " "));
    EXPECT_NE("", LinesWith("moved aside to " + aside));
    EXPECT_EQ(std::vector<std::string>{"after"}, Transfers());
    EXPECT_EQ(1u, writer.Counts().movedAside);
  }
}

TEST_F(ArchiveTest, AnArchiveUnderAFolderWithAChineseNameIsKeptThere) {
  // A station PC's user named in Chinese (C:\Users\张三\AppData\Local):
  // paths are GBK bytes, which SQLite must not take for UTF-8.
  const std::string folder = JoinPath(dir.path().string(), Gbk("张三"));
  archive::WriterOptions o;
  o.path = JoinPath(folder, archive::kArchiveFileName);
  archive::ArchiveWriter writer;
  writer.Start(o);
  writer.Record(Result(archive::NowUtcMs(), "lane1", 25, "1"));
  writer.Stop(std::string());
  EXPECT_EQ(1u, writer.Counts().archived) << LinesWith("archive");

  // Nothing under another name beside it.
  std::vector<std::string> names;
  ASSERT_TRUE(ListFileNames(dir.path().string(), &names, true));
  EXPECT_EQ(std::vector<std::string>{Gbk("张三")}, names);
  EXPECT_TRUE(PathExists(o.path));
  archive::ArchiveReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(o.path, &error)) << error;
  std::vector<archive::ResultRow> rows;
  ASSERT_TRUE(reader.ListResults(
      {}, [&](const archive::ResultRow& r) { return rows.push_back(r), true; }, &error))
      << error;
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("lane1", rows[0].transfer);
}

#if !defined(_WIN32)
namespace {

// The process's time zone for the length of a scope.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    if (const char* was = std::getenv("TZ")) m_was = was, m_had = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedZone() {
    if (m_had)
      ::setenv("TZ", m_was.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;

 private:
  std::string m_was;
  bool m_had = false;
};

}  // namespace

// A line in China works in a zone eight hours ahead of UTC without daylight
// saving: a result half a second before local midnight belongs to that day
// and one half a second after to the next, though both fall on one UTC day.
TEST_F(ArchiveTest, ResultsEitherSideOfLocalMidnightBelongToTheirOwnDay) {
  const ScopedZone zone("Asia/Shanghai");
  const std::int64_t midnight = 1710000000000;  // 2024-03-10 00:00 in Shanghai
  archive::WriterOptions o = Options();
  o.retentionDays = 36500;
  {
    archive::ArchiveWriter writer;
    writer.Start(o);
    writer.Record(Result(midnight - 500, "before", 25, "1"));
    writer.Record(Result(midnight + 500, "after", 25, "2"));
    writer.Stop(std::string());
  }
  archive::ArchiveReader reader;
  ASSERT_NO_FATAL_FAILURE(Open(reader));
  const auto day = [&](const std::string& d) {
    archive::ResultFilter filter;
    filter.day = d;
    std::vector<archive::ResultRow> rows;
    std::string error;
    EXPECT_TRUE(reader.ListResults(
        filter, [&](const archive::ResultRow& r) { return rows.push_back(r), true; }, &error))
        << error;
    return rows;
  };
  const std::vector<archive::ResultRow> ninth = day("2024-03-09"), tenth = day("2024-03-10");
  ASSERT_EQ(1u, ninth.size());
  ASSERT_EQ(1u, tenth.size());
  EXPECT_EQ("before", ninth[0].transfer);
  EXPECT_EQ("2024-03-09 23:59:59.500", ninth[0].shownLocal);
  EXPECT_EQ("after", tenth[0].transfer);
  EXPECT_EQ("2024-03-10 00:00:00.500", tenth[0].shownLocal);
  EXPECT_EQ(8 * 3600, ninth[0].utcOffsetSeconds);
  EXPECT_EQ(8 * 3600, tenth[0].utcOffsetSeconds);
  EXPECT_TRUE(day("2024-03-08").empty());
}
#endif

// brenna-history may be listing while the monitor trims the archive: the
// listing goes to its end without an error, and the trim is not held up by
// it.
TEST_F(ArchiveTest, ARetentionTrimWhileAListIsReadLosesNeitherTheListNorTheTrim) {
  const std::int64_t now = archive::NowUtcMs();
  archive::WriterOptions keepAll = Options();
  keepAll.retentionDays = 36500;
  {
    archive::ArchiveWriter writer;
    writer.Start(keepAll);
    for (int i = 0; i < 3; ++i)
      writer.Record(Result(now - (120 - i) * kDay, "old-" + std::to_string(i), 25, "1"));
    for (int i = 0; i < 3; ++i)
      writer.Record(Result(now - (3 - i) * 1000, "new-" + std::to_string(i), 25, "2"));
    writer.Stop(std::string());
  }
  ASSERT_EQ(6u, All().size());

  archive::ArchiveReader reader;
  ASSERT_NO_FATAL_FAILURE(Open(reader));
  std::vector<std::string> listed;
  std::string error;
  const bool read = reader.ListResults(
      {},
      [&](const archive::ResultRow& r) {
        if (listed.empty()) {
          // The monitor starts and trims to the 90 days meanwhile.
          archive::ArchiveWriter writer;
          writer.Start(Options());
          writer.Stop(std::string());
        }
        listed.push_back(r.transfer);
        return true;
      },
      &error);
  EXPECT_TRUE(read) << error;
  // The list is whole as it stood when it began, or without what the trim
  // removed before the list reached it; the newest are always there.
  ASSERT_GE(listed.size(), 3u);
  EXPECT_EQ((std::vector<std::string>{"new-0", "new-1", "new-2"}),
            std::vector<std::string>(listed.end() - 3, listed.end()));
  EXPECT_EQ(std::vector<std::string>({"new-0", "new-1", "new-2"}), Transfers());
  EXPECT_NE("", LinesWith("results older than 90 days"));
}

// A station may send an item twice in one record: the window shows the
// last, and the archive keeps both as they came, in their places, with the
// panel showing what the window showed.
TEST_F(ArchiveTest, ARecordWithAnItemTwiceKeepsBothAndThePanelShowsTheLast) {
  archive::ArchiveWriter writer;
  writer.Start(Options());
  // Shown once the run has begun, as the window shows every result: the
  // panel at its time is that run's.
  const std::int64_t t = archive::NowUtcMs();
  ArchivedResult r = Result(t, "twice", 25, "1");
  r.itemCount = 3;
  r.items.push_back({2, 5071, 2, "2"});
  r.writes.push_back({1126, "2", 0xFFFFFF, 0x000000});
  writer.Record(r);
  writer.Stop(std::string());
  archive::ArchiveReader reader;
  ASSERT_NO_FATAL_FAILURE(Open(reader));
  archive::ResultDetail d;
  std::string error;
  ASSERT_EQ(1u, All().size());
  ASSERT_TRUE(reader.GetResult(All().at(0).id, &d, &error)) << error;
  EXPECT_EQ(3, d.row.itemCount);
  ASSERT_EQ(3u, d.items.size());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(i, d.items[static_cast<std::size_t>(i)].position);
  EXPECT_EQ("1", d.items[1].value);
  EXPECT_EQ(1, d.items[1].judge);
  EXPECT_EQ("2", d.items[2].value);
  EXPECT_EQ(2, d.items[2].judge);
  archive::Panel panel;
  ASSERT_TRUE(reader.PanelAt(t, {1126}, &panel, &error)) << error;
  ASSERT_EQ(1u, panel.displays.size());
  EXPECT_EQ("2", panel.displays[0].text);
}
