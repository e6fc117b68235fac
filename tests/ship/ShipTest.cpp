// brenna-ship against a real PostgreSQL of the test's own: lines shipping
// side by side, each held to its own rows by the database; every result
// once across a kill and a database that goes away; a server that cannot
// prove itself gets nothing; an archive begun anew is another archive.
#include <signal.h>

#include "ShipHarness.h"
#include "archive/ShipMark.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

int Vetoes(const std::vector<DayResult>& results) {
  int n = 0;
  for (const DayResult& r : results) n += r.veto;
  return n;
}

class ShipTest : public ShipHarness {};

}  // namespace

TEST_F(ShipTest, TwoLinesShipIntoOneDatabaseAndFollowTheirArchives) {
  // --init again changes nothing.
  const ProgramRun again = Ship({"--db", server.AdminConninfo(), "--init"});
  EXPECT_EQ(0, again.status) << again.Report();
  EXPECT_NE(std::string::npos, again.output.find("at version 1 (already)")) << again.output;

  const std::string one = state.file("one.sqlite"), two = state.file("two.sqlite");
  std::vector<DayResult> madeOne, madeTwo;
  MakeArchive(one, "2026-11-30", 300, &madeOne);
  MakeArchive(two, "2026-12-01", 200, &madeTwo);
  ChildProcess first, second;
  Follow(&first, Enrol("north/lane1"), one, state.file("one.log"));
  Follow(&second, Enrol("south/lane7"), two, state.file("two.log"));
  EXPECT_TRUE(WaitFor([&] { return Count("north", "lane1") == "300"; }))
      << ReadFileBytes(state.file("one.log"));
  EXPECT_TRUE(WaitFor([&] { return Count("south", "lane7") == "200"; }))
      << ReadFileBytes(state.file("two.log"));

  // A result archived while they follow reaches the company within seconds.
  MakeArchive(one, "2026-12-02", 5, &madeOne);
  EXPECT_TRUE(WaitFor([&] { return Count("north", "lane1") == "305"; }, std::chrono::seconds(30)));

  // The window's verdicts as it showed them: a result made with a veto is
  // one, a value resent passed is not.
  EXPECT_EQ(
      std::to_string(Vetoes(madeOne)),
      Admin("SELECT count(*) FROM brenna.results WHERE line = 'lane1' AND verdict = '否决项'"));
  EXPECT_EQ(
      std::to_string(Vetoes(madeTwo)),
      Admin("SELECT count(*) FROM brenna.results WHERE line = 'lane7' AND verdict = '否决项'"));
  // Each value with its display's name, its text as drawn and as sent.
  EXPECT_EQ("0", Admin("SELECT count(*) FROM brenna.result_values WHERE display_name = '' OR "
                       "value_shown = '' OR value_sent = ''"));
  EXPECT_NE("0", Admin("SELECT count(*) FROM brenna.result_values WHERE line = 'lane1'"));
  // The monitor's run and the shipper's word of itself, per line.
  EXPECT_EQ("true|true", Admin("SELECT bool_and(shipper_running)::text || '|' || "
                               "bool_and(last_result_at IS NOT NULL)::text FROM brenna.lines"));
  first.Stop();
  second.Stop();
  EXPECT_TRUE(first.Exited() && first.ExitStatus() == 0) << first.Describe();
  EXPECT_NE(std::string::npos,
            ReadFileBytes(state.file("one.log")).find("brenna-ship stopped by SIGTERM"));
}

TEST_F(ShipTest, ALinesRoleIsHeldToItsOwnRowsByTheDatabase) {
  const std::string one = state.file("one.sqlite"), two = state.file("two.sqlite");
  MakeArchive(one, "2026-12-01", 20);
  MakeArchive(two, "2026-12-01", 30);
  const std::string lane1 = Enrol("north/lane1"), lane2 = Enrol("north/lane2");
  ASSERT_EQ(0, Ship({"--db", lane1, "--archive", one, "--once"}).status);
  ASSERT_EQ(0, Ship({"--db", lane2, "--archive", two, "--once"}).status);
  const std::string lane2Id = Admin("SELECT line_id FROM brenna.line WHERE line = 'lane2'");

  struct Refused {
    const char* sql;
    const char* because;
  };
  const std::string into =
      "INSERT INTO brenna.result (line_id, archive_no, result_id, local_day, shown_at, "
      "shown_local, utc_offset_s, device_code, item_count, vetoes, advisories, transfer, "
      "stations, device_group, operator) VALUES (" +
      lane2Id + ", 2, 999, '2026-12-01', now(), now(), 0, 0, 0, 0, 0, 'x', '', '', '')";
  const Refused refused[] = {
      {into.c_str(), "row-level security"},
      {"UPDATE brenna.result SET operator = 'x'", "permission denied"},
      {"DELETE FROM brenna.result", "permission denied"},
      {"SELECT count(*) FROM brenna.results", "permission denied"},
      {"UPDATE brenna.archive SET identity = 'x'", "permission denied"},
      {"CREATE TABLE brenna.mine (x int)", "permission denied"},
      {"DROP TABLE brenna.result_value", "must be owner"},
  };
  for (const Refused& r : refused) {
    Rows rows;
    std::string error;
    EXPECT_FALSE(PgQuery(lane1, r.sql, &rows, &error)) << r.sql;
    EXPECT_NE(std::string::npos, error.find(r.because)) << r.sql << ": " << error;
  }
  // Nor can it touch the other line's rows where its grants reach: they
  // are not there for it.
  std::string error;
  const std::string before =
      Admin("SELECT heartbeat_at FROM brenna.run WHERE line_id = " + lane2Id);
  EXPECT_EQ("0", PgValue(lane1,
                         "WITH changed AS (UPDATE brenna.run SET heartbeat_at = now() WHERE "
                         "line_id = " +
                             lane2Id + " RETURNING 1) SELECT count(*) FROM changed",
                         &error))
      << error;
  EXPECT_EQ(before, Admin("SELECT heartbeat_at FROM brenna.run WHERE line_id = " + lane2Id));
  // Reading: its own rows, nothing of the other line's.
  EXPECT_EQ("20", PgValue(lane1, "SELECT count(*) FROM brenna.result", &error)) << error;
  EXPECT_EQ(
      "0",
      PgValue(lane1, "SELECT count(*) FROM brenna.result_value WHERE line_id = " + lane2Id, &error))
      << error;
  EXPECT_EQ("1", PgValue(lane1, "SELECT count(*) FROM brenna.line", &error)) << error;

  // A viewer reads every line and writes nothing.
  const std::string viewer = Enrol("office", "--enrol-viewer");
  EXPECT_EQ("50", PgValue(viewer, "SELECT count(*) FROM brenna.results", &error)) << error;
  Rows rows;
  EXPECT_FALSE(PgQuery(viewer, into, &rows, &error));
  EXPECT_NE(std::string::npos, error.find("permission denied")) << error;
  EXPECT_EQ("50", Admin("SELECT count(*) FROM brenna.result"));
}

TEST_F(ShipTest, KilledWhileShippingItShipsEveryResultOnceAfterARestart) {
  const std::string archive = state.file("line.sqlite");
  MakeArchive(archive, "2026-12-01", 3000);
  const std::string lane = Enrol("north/lane1");
  ChildProcess ship;
  Follow(&ship, lane, archive, state.file("first.log"), {"--batch", "20"});
  ASSERT_TRUE(WaitFor([&] { return std::stoi("0" + Count("north", "lane1")) >= 200; }))
      << ReadFileBytes(state.file("first.log"));
  kill(ship.pid(), SIGKILL);
  ship.WaitExit(std::chrono::seconds(10));
  const int atKill = std::stoi(Count("north", "lane1"));
  EXPECT_LT(atKill, 3000) << "killed only after it had shipped everything";

  const ProgramRun rest = Ship({"--db", lane, "--archive", archive, "--once", "--batch", "20"});
  ASSERT_EQ(0, rest.status) << rest.Report();
  EXPECT_EQ("3000|3000|1|3000",
            Admin("SELECT count(*) || '|' || count(DISTINCT result_id) || '|' || min(result_id) "
                  "|| '|' || max(result_id) FROM brenna.result"));
  // Every result's values came with it: as many as a line shipped in one
  // go stores for the same archive.
  const std::string copy = state.file("copy.sqlite");
  std::filesystem::copy_file(archive, copy);
  ASSERT_EQ(0, Ship({"--db", Enrol("north/lane2"), "--archive", copy, "--once"}).status);
  EXPECT_EQ(Admin("SELECT count(*) FROM brenna.result_values WHERE line = 'lane2'"),
            Admin("SELECT count(*) FROM brenna.result_values WHERE line = 'lane1'"));
  // The archive knows it is shipped through its last result.
  archive::ShipMark mark;
  std::string error;
  ASSERT_TRUE(mark.Open(archive, &error)) << error;
  EXPECT_EQ(3000, mark.Through());
}

TEST_F(ShipTest, TheDatabaseGoneForAWhileGetsEverythingOnceItIsBackAndShipNeverEnds) {
  const std::string archive = state.file("line.sqlite"), log = state.file("ship.log");
  MakeArchive(archive, "2026-12-01", 50);
  ChildProcess ship;
  Follow(&ship, Enrol("north/lane1"), archive, log);
  ASSERT_TRUE(WaitFor([&] { return Count("north", "lane1") == "50"; })) << ReadFileBytes(log);

  ASSERT_TRUE(server.Stop()) << server.Problem();
  MakeArchive(archive, "2026-12-02", 40);
  ASSERT_TRUE(WaitFor([&] {
    return ReadFileBytes(log).find("cannot be used") != std::string::npos;
  })) << ReadFileBytes(log);
  MakeArchive(archive, "2026-12-03", 10);
  ASSERT_TRUE(server.Start()) << server.Problem();
  EXPECT_TRUE(WaitFor([&] { return Count("north", "lane1") == "100"; })) << ReadFileBytes(log);
  EXPECT_TRUE(ship.Running()) << ship.Describe();
  const std::string journal = ReadFileBytes(log);
  EXPECT_EQ(1, Occurrences(journal, "cannot be used")) << journal;
  EXPECT_EQ(1, Occurrences(journal, "is reached again after")) << journal;
}

TEST_F(ShipTest, AServerThatCannotProveItselfGetsNothing) {
  const std::string archive = state.file("line.sqlite");
  MakeArchive(archive, "2026-12-01", 10);
  const std::string lane = Enrol("north/lane1");
  const std::string port = std::to_string(server.Port());
  const std::string password = lane.substr(lane.find("password=") + 9, 48);
  const std::string user = "user=brenna/north/lane1 password=" + password + " dbname=company ";
  struct Case {
    std::string conninfo;
    int status;
    const char* says;
  };
  const Case cases[] = {
      // Signed by a CA the line does not trust.
      {"host=localhost port=" + port + " " + user + "sslrootcert=" + server.OtherCaFile(), 1,
       "does not prove itself"},
      // Trusted, but not for the name connected to.
      {"host=127.0.0.1 port=" + port + " " + user + "sslrootcert=" + server.CaFile(), 1,
       "does not prove itself"},
      // Asking for less than a verified server is refused before any try.
      {"host=localhost port=" + port + " " + user + "sslmode=require", 2, "sslmode=verify-full"},
      {"host=/var/run/postgresql port=" + port + " " + user, 2, "Unix socket"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Ship({"--db", c.conninfo, "--archive", archive, "--once"});
    EXPECT_EQ(c.status, run.status) << c.conninfo << "\n" << run.Report();
    EXPECT_NE(std::string::npos, run.output.find(c.says)) << run.output;
  }
  EXPECT_EQ("0", Admin("SELECT count(*) FROM brenna.archive"));
  EXPECT_EQ(std::string::npos, server.Log().find("user=brenna/north/lane1")) << server.Log();

  // A connection string in a file others may read is not used.
  const std::string file = state.file("lane.conninfo");
  WriteFileBytes(file, lane + "\n");
  chmod(file.c_str(), 0644);
  ProgramRun run = Ship({"--db-file", file, "--archive", archive, "--once"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.output.find("may be read by others")) << run.output;
  chmod(file.c_str(), 0600);
  run = Ship({"--db-file", file, "--archive", archive, "--once"});
  EXPECT_EQ(0, run.status) << run.Report();
  EXPECT_EQ("10", Count("north", "lane1"));
}

TEST_F(ShipTest, AnArchiveBegunAnewIsShippedAsAnotherArchiveOfTheLine) {
  const std::string archive = state.file("line.sqlite");
  MakeArchive(archive, "2026-12-01", 30);
  const std::string lane = Enrol("north/lane1");
  ASSERT_EQ(0, Ship({"--db", lane, "--archive", archive, "--once"}).status);
  for (const char* tail : {"", "-wal", "-shm"}) std::filesystem::remove(archive + tail);
  MakeArchive(archive, "2026-12-02", 12);
  const ProgramRun run = Ship({"--db", lane, "--archive", archive, "--once"});
  ASSERT_EQ(0, run.status) << run.Report();
  // Both archives' result 1, each under its own identity.
  EXPECT_EQ("2|42|2", Admin("SELECT count(DISTINCT archive) || '|' || count(*) || '|' || "
                            "count(*) FILTER (WHERE result_id = 1) FROM brenna.results"));

  // A backup of the archive (12 results), then 8 more shipped; the PC
  // fails and the backup is put back: the monitor gives ids 13 to 17 again,
  // to other results. They arrive all the same, as another archive.
  const std::string backup = state.file("backup.sqlite");
  std::filesystem::copy_file(archive, backup);
  MakeArchive(archive, "2026-12-03", 8);
  ASSERT_EQ(0, Ship({"--db", lane, "--archive", archive, "--once"}).status);
  for (const char* tail : {"", "-wal", "-shm"}) std::filesystem::remove(archive + tail);
  std::filesystem::copy_file(backup, archive);
  MakeArchive(archive, "2026-12-04", 5);
  const ProgramRun restored = Ship({"--db", lane, "--archive", archive, "--once"});
  ASSERT_EQ(0, restored.status) << restored.Report();
  EXPECT_NE(std::string::npos, restored.output.find("a copy restored from a backup"))
      << restored.output;
  EXPECT_EQ("3|55", Admin("SELECT count(DISTINCT archive) || '|' || count(*) FROM brenna.results"));
  EXPECT_EQ("5|13|17", Admin("SELECT count(*) || '|' || min(result_id) || '|' || max(result_id) "
                             "FROM brenna.results WHERE local_day = '2026-12-04'"));

  // A line that ships no more: its archive's mark goes, so it trims as one
  // never shipped.
  const ProgramRun stop = Ship({"--archive", archive, "--stop-shipping"});
  EXPECT_EQ(0, stop.status) << stop.Report();
  archive::ShipMark mark;
  std::string error;
  ASSERT_TRUE(mark.Open(archive, &error)) << error;
  EXPECT_EQ(-1, mark.Through());
}
