// The archive under faults, with the installed monitor out of process and
// its state directory on a small file system of its own: a damaged file at
// the archive's path, a kill -9 the moment the archive grows, a full disk
// and a read-only directory, one after the other. Through all of it every
// result is shown; the archive loses at most the result in flight, opens
// intact after the kill, resumes once there is room, and the journal says
// what happened once each time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "MonitorProcess.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveStore.h"
#include "archive/ArchiveTime.h"
#include "archive/HeartbeatNote.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);
constexpr std::int64_t kDay = 24LL * 3600 * 1000;

using Clock = std::chrono::steady_clock;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The results the journal says were shown: "result 'NAME' shown: ...".
std::set<std::string> ShownInLog(const std::string& log) {
  std::set<std::string> names;
  const std::string head = "result '", tail = "' shown";
  for (std::size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
    const std::size_t end = log.find(tail, at + head.size());
    const std::size_t line = log.find('\n', at);
    if (end != std::string::npos && end < line)
      names.insert(log.substr(at + head.size(), end - at - head.size()));
  }
  return names;
}

class ArchiveFault : public ::testing::Test {
 protected:
  void SetUp() override {
    // The writer's detail lines name every result it could not keep.
    m_monitor.AddMonitorEnvironment("QT_LOGGING_RULES=brenna.display.debug=true");
    std::error_code ec;
    fs::create_directories(stateDir(), ec);
    m_small = std::make_unique<SmallFileSystem>(stateDir(), 8 << 20);
    if (!m_small->ok()) GTEST_SKIP() << "no small file system here: " << m_small->error();
  }
  void TearDown() override {
    m_monitor.Stop();
    m_small.reset();
  }

  std::string stateDir() { return m_monitor.tree().work() + "/home/.local/state/brennacenter"; }
  std::string archivePath() { return stateDir() + "/archive.sqlite"; }

  void Start() {
    std::string error;
    ASSERT_TRUE(m_monitor.Start(&error)) << error << "\n" << m_monitor.Log();
  }

  // The transfer names of every result in the archive, read as
  // brenna-history reads it, while the monitor writes.
  std::multiset<std::string> Archived() {
    archive::ArchiveReader reader;
    std::string error;
    std::multiset<std::string> names;
    if (!reader.Open(archivePath(), &error)) return names;
    reader.ListResults(
        {}, [&](const archive::ResultRow& r) { return names.insert(r.transfer), true; }, &error);
    return names;
  }

  bool WaitForArchived(const std::string& name) {
    const auto deadline = Clock::now() + kPatience;
    while (Archived().count(name) == 0 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Archived().count(name) == 1;
  }

  bool WaitForArchived(std::size_t n) {
    const auto deadline = Clock::now() + kPatience;
    while (Archived().size() < n && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Archived().size() >= n;
  }

  // Sends one small result per name on one connection; waits until shown.
  void SendShown(const std::vector<std::string>& names) {
    std::vector<std::string> descriptions;
    for (std::size_t i = 0; i < names.size(); ++i)
      descriptions.push_back(SmallResult(i % 2 ? 25 : 3, "07" + std::to_string(i)));
    std::string output;
    ASSERT_EQ(0, m_monitor.SendResults(names, descriptions, &output)) << output;
    ASSERT_TRUE(m_monitor.watch().WaitUntilShown({names.begin(), names.end()}, kPatience))
        << m_monitor.Log();
  }

  // The archive as a monitor before this one left it: `count` results
  // named prefix-N, shown from `when` on, each with a value of `bytes`.
  void Prefill(const std::string& prefix, int count, std::int64_t when, int bytes) {
    archive::ArchiveStore store;
    ASSERT_EQ(archive::ArchiveStore::Outcome::kOpened, store.Open(archivePath()).outcome);
    ASSERT_EQ(SQLITE_DONE, store.BeginRun(when, 1, "earlier"));
    archive::sql::Transaction tx = store.Transact();
    for (int i = 0; i < count; ++i) {
      archive::ArchivedResult r;
      r.shownUtcMs = when + i;
      r.transfer = prefix + std::to_string(i);
      r.items = {{0, 5071, 1, std::string(static_cast<std::size_t>(bytes), 'a' + i % 26)}};
      ASSERT_EQ(SQLITE_OK, store.WriteResult(r));
    }
    ASSERT_EQ(SQLITE_OK, tx.Commit());
  }

  // One number the archive answers, read as a reader reads it; -1 when it
  // cannot be read.
  std::int64_t Query(const char* sql) {
    archive::sql::Db db;
    if (db.Open(archivePath(), SQLITE_OPEN_READONLY) != SQLITE_OK) return -1;
    return db.QueryInt(sql, -1);
  }

  // The monitor's output since `from`.
  std::string LogSince(std::size_t from) { return m_monitor.Log().substr(from); }
  // The same, once it holds `line`: the journal writes on a thread of its
  // own, so a line may reach the log a moment after what it tells of.
  std::string LogOnceSaid(std::size_t from, const std::string& line) {
    const auto deadline = Clock::now() + kPatience;
    while (Count(LogSince(from), line) == 0 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return LogSince(from);
  }

  MonitorProcess m_monitor;
  std::unique_ptr<SmallFileSystem> m_small;
};

}  // namespace

TEST_F(ArchiveFault, ResultsAreShownThroughEveryArchiveFaultAndTheArchiveComesBack) {
  // 1. A damaged file where the archive belongs: moved aside, a new one begun.
  const std::string damaged(20000, '\x5A');
  WriteFileBytes(archivePath(), damaged);
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"a-1", "a-2", "a-3"}));
  ASSERT_TRUE(WaitForArchived(3)) << m_monitor.Log();
  std::string aside;
  for (const auto& e : fs::directory_iterator(stateDir()))
    if (e.path().filename().string().find(".damaged") != std::string::npos)
      aside = e.path().string();
  ASSERT_NE("", aside) << m_monitor.Log();
  EXPECT_EQ(damaged, ReadFileBytes(aside));
  const std::string asideLog = LogOnceSaid(0, "moved aside to ");
  EXPECT_EQ(1u, Count(asideLog, "moved aside to " + aside)) << asideLog;

  // 2. Killed the moment the archive grows, in the middle of results.
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back("k-" + std::to_string(i));
  std::thread station([&] {
    std::vector<std::string> descriptions(names.size(), SmallResult(25, "0815"));
    std::string output;
    m_monitor.SendResults(names, descriptions, &output);  // ends with the monitor
  });
  ASSERT_TRUE(WaitForArchived(3 + 4)) << m_monitor.Log();
  const std::string wal = archivePath() + "-wal";
  std::error_code ec;
  const auto walSize = [&] { return fs::file_size(wal, ec); };
  const std::uintmax_t before = walSize();
  const auto deadline = Clock::now() + kPatience;
  while (walSize() == before && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  station.join();
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK,
              sqlite3_open_v2(archivePath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr));
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
    EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);
  }
  std::size_t mark = m_monitor.Log().size();
  const Clock::time_point restart = Clock::now();
  ASSERT_NO_FATAL_FAILURE(Start());
  // What was published but not shown before the kill is shown now, and
  // archived: wait until the spool is empty, every result taken from it
  // since the restart has been counted (its journal line) and each of those
  // is in the archive.
  ASSERT_NO_FATAL_FAILURE(SendShown({"after-kill"}));
  const auto deadlineAll = Clock::now() + kPatience;
  auto pending = [&] {
    for (const std::string& n : m_monitor.tree().SpoolNames())
      if (n.size() > 6 && n.substr(n.size() - 6) == ".DOING") return true;
    const std::set<std::string> counted = ShownInLog(LogSince(mark));
    for (const auto& [name, t] : m_monitor.watch().Snapshot())
      if (t.isShown && t.shown >= restart && counted.count(name) == 0) return true;
    const std::multiset<std::string> archived = Archived();
    for (const std::string& n : counted)
      if (archived.count(n) == 0) return true;
    return false;
  };
  while (pending() && Clock::now() < deadlineAll)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_FALSE(pending()) << m_monitor.Log();
  // Of all shown before and after the kill, at most the one in flight is
  // missing, and none is there twice or was never shown.
  std::set<std::string> shown;
  for (const auto& [name, t] : m_monitor.watch().Snapshot())
    if (t.isShown && name.rfind("k-", 0) == 0) shown.insert(name);
  std::multiset<std::string> archived;
  for (const std::string& n : Archived())
    if (n.rfind("k-", 0) == 0) archived.insert(n);
  for (const std::string& n : archived) {
    EXPECT_EQ(1u, shown.count(n)) << n << " archived but never shown";
    EXPECT_EQ(1u, archived.count(n)) << n << " archived twice";
  }
  EXPECT_LE(shown.size(), archived.size() + 1) << "more than the result in flight is missing";
  EXPECT_EQ(0u, Count(LogSince(mark), "moved aside")) << "the killed archive was not intact";

  // 3. The disk full: results are still shown, the archive says so once,
  // and once there is room it archives again by itself.
  const std::string filler = stateDir() + "/filler";
  SmallFileSystem::Fill(filler);
  mark = m_monitor.Log().size();
  ASSERT_NO_FATAL_FAILURE(SendShown({"full-1", "full-2", "full-3"}));
  // Room again once the writer has given up all three (its detail lines).
  const auto given = Clock::now() + kPatience;
  auto givenUp = [&] {
    const std::string log = LogSince(mark);
    for (const char* n : {"full-1", "full-2", "full-3"})
      if (Count(log, std::string("result '") + n + "' not archived: ") == 0) return false;
    return true;
  };
  while (!givenUp() && Clock::now() < given)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(givenUp()) << LogSince(mark);
  fs::remove(filler);
  ASSERT_NO_FATAL_FAILURE(SendShown({"room-1"}));
  ASSERT_TRUE(WaitForArchived("room-1")) << m_monitor.Log();
  const std::multiset<std::string> afterFull = Archived();
  EXPECT_EQ(0u, afterFull.count("full-1") + afterFull.count("full-2") + afterFull.count("full-3"))
      << "written while the disk was full?";
  const std::string fullLog = LogOnceSaid(mark, "archive writes again");
  EXPECT_EQ(1u, Count(fullLog, "is shown but not archived")) << fullLog;
  EXPECT_EQ(1u, Count(fullLog, "the disk is full")) << fullLog;
  EXPECT_EQ(1u, Count(fullLog, "archive writes again; 3 results were not archived")) << fullLog;
  EXPECT_TRUE(m_monitor.monitor().Running());

  // 4. A read-only directory: the monitor runs on without its archive and
  // says so once.
  m_monitor.Stop();
  ASSERT_TRUE(m_small->SetReadOnly(true));
  mark = m_monitor.Log().size();
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"ro-1", "ro-2"}));
  const std::string roLog = LogOnceSaid(mark, "archive cannot be kept at");
  EXPECT_EQ(1u, Count(roLog, "archive cannot be kept at " + archivePath())) << roLog;
  EXPECT_TRUE(m_monitor.monitor().Running());
  m_monitor.Stop();
  ASSERT_TRUE(m_small->SetReadOnly(false));
}

TEST_F(ArchiveFault, ResultsShownWhileTheArchiveIsDeletedOrHeldLockedAreAllArchived) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"first"}));
  ASSERT_TRUE(WaitForArchived("first")) << m_monitor.Log();

  // 1. The archive deleted while the monitor runs: a new one is begun at
  // its path, said once, and every later result is in it.
  std::size_t mark = m_monitor.Log().size();
  ASSERT_TRUE(fs::remove(archivePath()));
  const std::vector<std::string> deleted = {"del-1", "del-2", "del-3", "del-4", "del-5"};
  ASSERT_NO_FATAL_FAILURE(SendShown(deleted));
  ASSERT_TRUE(WaitForArchived(deleted.size())) << m_monitor.Log();
  const std::string deletedLog = LogOnceSaid(mark, "was deleted or moved away");
  EXPECT_EQ(1u, Count(deletedLog, "archive " + archivePath() + " was deleted or moved away"))
      << deletedLog;

  // 2. Another program holds it locked for longer than a write waits:
  // results are still shown at once, wait for the lock, and are archived
  // once it is free; the journal says so while it lasts.
  mark = m_monitor.Log().size();
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(archivePath().c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  const std::vector<std::string> locked = {"lock-1", "lock-2", "lock-3", "lock-4", "lock-5"};
  ASSERT_NO_FATAL_FAILURE(SendShown(locked));
  const auto deadline = Clock::now() + kPatience;
  while (Count(LogSince(mark), "is held locked by another program") == 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(1u, Count(LogSince(mark), "archive " + archivePath() + " is held locked"))
      << LogSince(mark);
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  m_monitor.Stop();
  const std::multiset<std::string> archived = Archived();
  for (const std::vector<std::string>* names : {&deleted, &locked})
    for (const std::string& n : *names)
      EXPECT_EQ(1u, archived.count(n)) << n << "\n" << m_monitor.Log();
  EXPECT_EQ(0u, Count(m_monitor.Log(), "not archived")) << m_monitor.Log();
}

TEST_F(ArchiveFault, ATrimOnANearlyFullDiskGivesItsPagesBackAfterARestart) {
  // An archive a monitor left: old results a start trims, kept ones behind
  // them, whose pages giving the room back has to move.
  const std::int64_t now = archive::NowUtcMs();
  ASSERT_NO_FATAL_FAILURE(Prefill("old-", 3000, now - 200 * kDay, 300));
  ASSERT_NO_FATAL_FAILURE(Prefill("kept-", 3000, now - kDay, 300));
  const std::uintmax_t before = fs::file_size(archivePath());
  // The disk nearly full: less room left than the old results took.
  const std::string filler = stateDir() + "/filler";
  SmallFileSystem::Fill(filler);
  fs::resize_file(filler, fs::file_size(filler) - (1 << 20));
  ASSERT_NO_FATAL_FAILURE(Start());

  const auto deadline = Clock::now() + kPatience;
  const auto given = [&] {
    return Query("PRAGMA freelist_count") == 0 && fs::file_size(archivePath()) < before * 3 / 4;
  };
  while (!given() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(given()) << Query("PRAGMA freelist_count") << " free pages, "
                       << fs::file_size(archivePath()) << " of " << before << " bytes\n"
                       << m_monitor.Log();
  const std::multiset<std::string> archived = Archived();
  EXPECT_EQ(3000u, archived.size());
  EXPECT_EQ(0u, archived.count("old-0") + archived.count("old-2999"));
  EXPECT_EQ(1u, Count(LogOnceSaid(0, "free pages given back"), "free pages given back"));
}

TEST_F(ArchiveFault, AClockSetFarAheadAtStartRemovesNoResultByAge) {
  // Results shown 400 days before the clock of this start, as if that
  // clock had been set 400 days ahead.
  ASSERT_NO_FATAL_FAILURE(Prefill("earlier-", 3, archive::NowUtcMs() - 400 * kDay, 100));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"now"}));
  ASSERT_TRUE(WaitForArchived("now")) << m_monitor.Log();
  EXPECT_EQ((std::multiset<std::string>{"earlier-0", "earlier-1", "earlier-2", "now"}), Archived())
      << m_monitor.Log();
}

TEST_F(ArchiveFault, WhileAnotherProgramHoldsTheArchiveItsReadersStillHearTheMonitor) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"first"}));
  ASSERT_TRUE(WaitForArchived("first")) << m_monitor.Log();
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(archivePath().c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
  const std::int64_t held = archive::NowUtcMs();
  // Heard of later than a reader would wait before calling it silent.
  const auto heard = [&] {
    archive::ArchiveReader reader;
    archive::RunRow run;
    std::string error;
    return reader.Open(archivePath(), &error) && reader.LastRun(&run, &error) ? run.heartbeatUtcMs
                                                                              : std::int64_t{0};
  };
  const std::int64_t wanted = held + archive::kHeartbeatStaleMs + 1000;
  const auto deadline = Clock::now() + kPatience;
  while (heard() <= wanted && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_GT(heard(), wanted) << m_monitor.Log();
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  // Free again: the run's row takes the heartbeat, and the note goes.
  const std::string note = archive::HeartbeatNotePath(archivePath());
  const auto freed = Clock::now() + kPatience;
  while (fs::exists(note) && Clock::now() < freed)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(note));
}

TEST_F(ArchiveFault, ResultsShownAfterTheWalWasDeletedOutliveAKill) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(SendShown({"first"}));
  ASSERT_TRUE(WaitForArchived("first")) << m_monitor.Log();
  const std::size_t mark = m_monitor.Log().size();
  ASSERT_TRUE(fs::remove(archivePath() + "-wal"));
  ASSERT_TRUE(fs::remove(archivePath() + "-shm"));
  const std::string said = LogOnceSaid(mark, "its -wal or -shm was deleted");
  EXPECT_EQ(1u, Count(said, "archive " + archivePath() + ": its -wal or -shm was deleted")) << said;
  const std::vector<std::string> later = {"wal-1", "wal-2", "wal-3", "wal-4", "wal-5", "wal-6"};
  ASSERT_NO_FATAL_FAILURE(SendShown(later));
  ASSERT_TRUE(WaitForArchived(1 + later.size())) << m_monitor.Log();

  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::multiset<std::string> archived = Archived();
  for (const std::string& n : later)
    EXPECT_EQ(1u, archived.count(n)) << n << "\n" << m_monitor.Log();
}
