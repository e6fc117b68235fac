// The installed monitor under faults, out of process on the offscreen
// platform: killed in the middle of a transfer and started again, its spool
// directory removed under it, and its spool file system full. Every wait is
// for a condition, with a generous limit; nothing is timed.
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "FaultFixture.h"
#include "MonitorProcess.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "SmallFileSystem.h"
#include "Station.h"
#include "TempDir.h"

namespace fs = std::filesystem;

using namespace fault_test;

// Reassembly lives in the spool directory, so a transfer cut by a crash goes
// on after the restart; a result caught half-written (its ".DOING.part")
// is never shown.
TEST_F(MonitorFault, AKilledMonitorFinishesTheTransferAfterARestartAndNeverShowsAHalfResult) {
  const std::vector<std::string> frames = Frames("resumed", LargeResult(1, 60));
  ASSERT_GE(frames.size(), 10u) << "the result should need many chunks";
  const size_t half = frames.size() / 2;

  Send(Concat(frames, 0, half));
  // The first chunks are on disk, each in its slot.
  const std::string chunkFile = Spool("resumed.compress");
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::error_code ec;
  while (fs::file_size(chunkFile, ec) != half * FILE_CHUNK_DATA_SIZE &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(half * FILE_CHUNK_DATA_SIZE, fs::file_size(chunkFile, ec)) << ec.message();
  // Its station's connection has ended with half the transfer: said at once,
  // with the station and by when the rest must come.
  EXPECT_NE("", WaitForJournalLine(
                    m_monitor, {"WARN  brenna.spool: transfer 'resumed' from 127.0.0.1:",
                                "incomplete: its connection ended with " + std::to_string(half) +
                                    " of " + std::to_string(frames.size()) +
                                    " chunks received; the rest must come by "}))
      << m_monitor.Log();

  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  ASSERT_TRUE(m_monitor.monitor().Signalled());
  // What a kill during publication leaves: the whole result, written aside
  // but never put in place.
  const std::string complete = ResultRecord(Frames("caught", SmallResult(25, "0815")));
  ASSERT_FALSE(complete.empty());
  WriteFileBytes(Spool("caught.DOING.part"), complete);

  std::string error;
  ASSERT_TRUE(m_monitor.Start(&error)) << error;
  // The journal of the new run says the last one ended without stopping,
  // and when its last line was written.
  EXPECT_TRUE(JournalSays(
      {"WARN  brenna.start: the previous run ended without its stop line: it was killed, "
       "crashed or lost its power after its last line, written 20"}))
      << Journal();
  // A whole result sent after the restart is shown: the window has scanned
  // the directory with the half-done transfer and the stray file in it.
  Send(Concat(Frames("after-restart", SmallResult(3, "0817"))));
  ExpectShown({"after-restart"});
  EXPECT_EQ((std::set<std::string>{"after-restart"}), Shown());

  Send(Concat(frames, half));
  ExpectShown({"resumed"});
  EXPECT_EQ((std::set<std::string>{"after-restart", "resumed"}), Shown());
  // Nothing of the transfer is left; the stray file stays where it was, as
  // it was.
  EXPECT_EQ((std::set<std::string>{"caught.DOING.part"}), m_monitor.tree().SpoolNames());
  EXPECT_EQ(complete, ReadFileBytes(Spool("caught.DOING.part")));
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// A SIGTERM while a backlog is being shown stops the monitor at once, not
// after the backlog, and by the signal; every result not shown stays in the
// spool for the next start, and none is lost.
TEST_F(MonitorFault, ASigtermDuringABacklogStopsAtOnceAndKeepsTheRestInTheSpool) {
  constexpr size_t kBacklog = 40;
  const std::string record = ResultRecord(Frames("x", SmallResult(25, "0815")));
  ASSERT_FALSE(record.empty());
  m_monitor.Stop();
  std::set<std::string> all;
  for (size_t i = 0; i < kBacklog; ++i) {
    const std::string name = "backlog-" + std::to_string(i);
    WriteFileBytes(Spool(name + ".DOING"), record);
    all.insert(name);
  }
  std::string error;
  ASSERT_TRUE(m_monitor.Start(&error)) << error;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (Shown().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const size_t shownAtSignal = Shown().size();
  ASSERT_GE(shownAtSignal, 1u);

  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGTERM));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  EXPECT_TRUE(m_monitor.monitor().Signalled() && m_monitor.monitor().TermSignal() == SIGTERM)
      << m_monitor.monitor().Describe();
  const std::set<std::string> shown = Shown();
  // Two results a second: the few shown after the signal are the moments
  // it took to arrive, never the rest of the backlog.
  EXPECT_LT(shown.size(), shownAtSignal + 10) << "the stop waited for the backlog";
  std::set<std::string> left;
  for (const std::string& file : m_monitor.tree().SpoolNames())
    left.insert(file.substr(0, file.size() - std::string(".DOING").size()));
  std::set<std::string> both = shown;
  both.insert(left.begin(), left.end());
  EXPECT_EQ(both, all);
  EXPECT_EQ(shown.size() + left.size(), kBacklog) << "a result both shown and left";
}

// The spool directory goes away under the running monitor: the next chunk
// makes it again, with the mode it had, so nothing sent meanwhile is lost.
TEST_F(MonitorFault, TheSpoolDirectoryIsMadeAgainWhenAChunkNeedsIt) {
  Send(Concat(Frames("before", SmallResult(25, "0815"))));
  ExpectShown({"before"});
  const std::string spool = m_monitor.tree().spool();
  const fs::perms mode = fs::status(spool).permissions();

  std::error_code ec;
  fs::remove_all(spool, ec);
  ASSERT_FALSE(ec) << ec.message();
  // Half a transfer while there is no directory: its chunks are kept.
  const std::vector<std::string> cut = Frames("cut", LargeResult(2, 60));
  const size_t half = cut.size() / 2;
  Send(Concat(cut, 0, half));
  const std::string chunkFile = Spool("cut.compress");
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (fs::file_size(chunkFile, ec) != half * FILE_CHUNK_DATA_SIZE &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(half * FILE_CHUNK_DATA_SIZE, fs::file_size(chunkFile, ec))
      << ec.message() << "\nmonitor output:\n"
      << m_monitor.Log();
  EXPECT_EQ(mode, fs::status(spool).permissions());

  ASSERT_TRUE(m_monitor.watch().Rewatch());
  Send(Concat(cut, half));
  Send(Concat(Frames("after", SmallResult(3, "0817"))));
  ExpectShown({"cut", "after"});
  EXPECT_EQ((std::set<std::string>{"before", "cut", "after"}), Shown());
  EXPECT_TRUE(m_monitor.tree().SpoolNames().empty())
      << "left behind: " << Join(m_monitor.tree().SpoolNames());
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// A station told "delivered" (the tool's exit status 0) may rely on it: the
// monitor killed the moment the tool ends, and started again, shows every
// such result. Each round sends several one-frame results over one
// connection, so that frames are still queued when the last one arrives.
TEST_F(MonitorFault, EveryResultConfirmedToAStationSurvivesAKillRightAfter) {
  std::set<std::string> confirmed;
  for (int round = 1; round <= 4; ++round) {
    std::vector<std::string> names, descriptions;
    for (int k = 1; k <= 6; ++k) {
      names.push_back("kill" + std::to_string(round) + "-" + std::to_string(k));
      descriptions.push_back(SmallResult(k % 2 ? 25 : 11, std::to_string(round * 10 + k)));
    }
    std::string output;
    const int status = m_monitor.SendResults(names, descriptions, &output);
    ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGKILL));
    ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
    // The monitor ran throughout, so the tool must have been confirmed.
    EXPECT_EQ(0, status) << output;
    if (status == 0) confirmed.insert(names.begin(), names.end());
    std::string error;
    ASSERT_TRUE(m_monitor.Start(&error)) << error;
  }
  ASSERT_EQ(24u, confirmed.size());
  ExpectShown(confirmed);
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// "Why did our result not appear?" is answered from the journal: after the
// demo, a transfer whose name is refused, one that does not decompress and
// 20,000 garbage frames from one peer, each can be found with its station
// and its reason; the garbage costs a few lines, folded; a stop by SIGTERM
// writes the stop line and the counts, and the process still ends by the
// signal; the journal's files stay within their bound.
TEST_F(MonitorFault, ResultsRefusalsAndFloodsCanBeFoundInTheJournalWithTheirStation) {
  const int port = m_monitor.tree().port();
  // The demo, as a station sends it with the station tool.
  std::vector<std::string> demo, descriptions;
  for (const char* name : {"brake", "exhaust", "headlamp", "sideslip", "smoke", "sound", "speed"}) {
    demo.push_back(name);
    descriptions.push_back(ReadFileBytes(std::string(BRENNA_DEMO_DIR) + "/" + name + ".txt"));
    ASSERT_FALSE(descriptions.back().empty()) << name;
  }
  std::string output;
  ASSERT_EQ(0, m_monitor.SendResults(demo, descriptions, &output)) << output;
  ExpectShown(std::set<std::string>(demo.begin(), demo.end()));

  // Names the monitor refuses (the first in full, the rest folded into a
  // line that keeps them), a name with bytes that are not GBK, and a
  // complete transfer that does not decompress (a byte of its compressed
  // data changed).
  const std::string refusable = Frames("refusable", SmallResult(3, "0817")).front();
  Send(Concat({WithTransferName(refusable, "../x"), WithTransferName(refusable, "../y"),
               WithTransferName(refusable, "a/b"), WithTransferName(refusable, "../z")}));
  Send(Concat({WithTransferName(Frames("odd", SmallResult(7, "5")).front(), "\xff\xfe\x80odd")}));
  ExpectShown({"\xff\xfe\x80odd"});
  std::vector<std::string> corrupt = Frames("corrupt", LargeResult(3, 8));
  ASSERT_GE(corrupt.size(), 2u);
  corrupt[1][NET_FRAME_DATA_OFFSET + FILE_CHUNK_DATA_OFFSET + 100] ^= 0x5A;
  Send(Concat(corrupt));

  // Garbage: frames that end in the wrong trailer, each on a connection of
  // its own (the monitor closes a connection at its first bad frame).
  std::string garbage = Frames("garbage", SmallResult(7, "1")).front();
  PallixPutU32(reinterpret_cast<unsigned char*>(garbage.data()) + NET_FRAME_TRAILER_OFFSET,
               0x12345678u);
  int refused = 0;
  for (int i = 0; i < 20000; ++i) {
    const StreamOutcome out = SendStream(port, garbage, kPatience);
    if (out.closedByPeer) ++refused;
  }
  ASSERT_EQ(20000, refused);

  ASSERT_EQ(0, kill(m_monitor.monitor().pid(), SIGTERM));
  ASSERT_TRUE(m_monitor.monitor().WaitExit(kPatience));
  EXPECT_TRUE(m_monitor.monitor().Signalled() && m_monitor.monitor().TermSignal() == SIGTERM)
      << m_monitor.monitor().Describe();

  std::set<std::string> files;
  const std::string dir = JournalDir(m_monitor);
  const std::string journal = ReadJournal(dir, &files);
  const std::string where = "\njournal:\n" + journal.substr(0, 20000);
  for (const std::string& name : demo) {
    EXPECT_EQ(1u,
              LinesWith(journal, {"result '" + name + "' published", "sent by 127.0.0.1:"}).size())
        << name << where;
    EXPECT_EQ(1u, LinesWith(journal, {"result '" + name + "' shown", "title "}).size())
        << name << where;
  }
  EXPECT_EQ(1u, LinesWith(journal, {"WARN  brenna.spool: chunk of transfer '../x' from 127.0.0.1:",
                                    "the name cannot be a file name"})
                    .size())
      << where;
  EXPECT_EQ(1u, LinesWith(journal, {"WARN  brenna.spool: 3 more transfers refused from 127.0.0.1: "
                                    "name, last ",
                                    "; names '../y', 'a/b', '../z'"})
                    .size())
      << where;
  EXPECT_EQ(
      1u, LinesWith(journal, {"INFO  brenna.spool: result '\\xff\\xfe\\x80odd' published"}).size())
      << where;
  EXPECT_EQ(1u, LinesWith(journal, {"WARN  brenna.spool: transfer 'corrupt' from 127.0.0.1:",
                                    "does not decompress"})
                    .size())
      << where;
  // The flood: its first frame in full, the rest counted into a line a
  // minute (one, unless sending took longer), which together say 20,000.
  const std::vector<std::string> flood = LinesWith(journal, {"127.0.0.1", "bad trailer"});
  EXPECT_GE(flood.size(), 2u) << where;
  EXPECT_LE(flood.size(), 4u) << where;
  EXPECT_EQ(1u, LinesWith(journal, {"connection from 127.0.0.1:", "(bad trailer)"}).size())
      << where;
  long folded = 0;
  for (const std::string& line :
       LinesWith(journal, {"more frames refused from 127.0.0.1: bad trailer, last "})) {
    std::string digits;
    for (size_t k = line.find(": ") + 2; k < line.size() && line[k] != ' '; ++k)
      if (line[k] != ',') digits += line[k];
    folded += std::atol(digits.c_str());
  }
  EXPECT_EQ(19999, folded) << where;
  EXPECT_LE(LinesWith(journal, {" brenna."}).size(), 80u) << where;
  // The stop: counts, then the stop line, last.
  EXPECT_EQ(1u, LinesWith(journal, {"INFO  brenna.journal: last ", "8 results published, 8 shown",
                                    "bad trailer 20,000", "name 4", "decompression 1"})
                    .size())
      << where;
  EXPECT_NE(journal.rfind("INFO  brenna.start: BrennaCenter stopped by SIGTERM\n"),
            std::string::npos)
      << where;
  EXPECT_EQ(journal.size() - journal.rfind("BrennaCenter stopped by SIGTERM\n"),
            std::string("BrennaCenter stopped by SIGTERM\n").size());

  // Within the documented bound: at most four files of 1 MiB. The archive
  // beside them has bounds of its own (docs/archive.md).
  uintmax_t total = 0;
  for (const std::string& name : files) {
    if (name == "archive.sqlite" || name == "archive.sqlite-wal" || name == "archive.sqlite-shm")
      continue;
    EXPECT_TRUE(name == "monitor.log" || name == "monitor.log.1" || name == "monitor.log.2" ||
                name == "monitor.log.3")
        << name;
    const uintmax_t size = fs::file_size(dir + "/" + name);
    EXPECT_LE(size, uintmax_t{1} << 20) << name;
    total += size;
  }
  EXPECT_LE(total, uintmax_t{4} << 20);
}

// Files the start reads that are no files hold nothing: a translation file
// that is /dev/zero (an endless stream) or a FIFO nobody writes, and a
// spool directory that is a file or a link to nothing. The monitor listens
// within 2 s (a hang would be for ever) and stops on SIGTERM, and its
// journal says once which file it refused and why.
TEST(MonitorStartFiles, FilesThatAreNoFilesAreRefusedAndTheMonitorListensAndStops) {
  struct Case {
    std::string what;
    std::string site;  // lines of [Site] beyond the base directory
    std::vector<std::string> said;
  };
  MonitorProcess probe;
  const std::string work = probe.tree().work();
  ASSERT_TRUE(MakeFifo(work + "/lang.fifo"));
  WriteFileBytes(work + "/spool-file", "a file, not a folder");
  fs::create_symlink(work + "/nowhere/spool", work + "/spool-link");
  const std::string untranslated =
      " not read: it is not a regular file (a FIFO, device, socket or folder); texts are shown "
      "untranslated";
  const std::string nothingReceived =
      ": nothing can be received, every chunk is refused to its station";
  const std::vector<Case> cases = {
      {"/dev/zero",
       "SpoolDir=spool\nTranslation=/dev/zero\n",
       {"WARN  brenna.start: translation file /dev/zero" + untranslated}},
      {"a FIFO",
       "SpoolDir=spool\nTranslation=" + work + "/lang.fifo\n",
       {"WARN  brenna.start: translation file " + work + "/lang.fifo" + untranslated}},
      {"a spool directory that is a file",
       "SpoolDir=" + work + "/spool-file\n",
       {"ERROR brenna.start: the spool directory " + work +
            "/spool-file is a file, not a directory",
        nothingReceived}},
      {"a spool directory that is a link to nothing",
       "SpoolDir=" + work + "/spool-link\n",
       {"ERROR brenna.start: the spool directory " + work + "/spool-link is a link to nothing",
        nothingReceived}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MonitorProcess m;
    WriteFileBytes(m.tree().libraryDir() + "/Pallix.ini",
                   "[Site]\nBaseDir=" + m.tree().base() + "\n" + c.site);
    std::string error;
    ASSERT_TRUE(m.Launch(&error)) << error;
    EXPECT_TRUE(WaitForListener(m.tree().port(), &m.monitor(), std::chrono::seconds(2), &error))
        << error << "\nmonitor output:\n"
        << m.Log();
    ASSERT_EQ(0, kill(m.monitor().pid(), SIGTERM));
    ASSERT_TRUE(m.monitor().WaitExit(kPatience)) << m.Log();
    EXPECT_TRUE(m.monitor().Signalled() && m.monitor().TermSignal() == SIGTERM)
        << m.monitor().Describe();
    const std::string journal =
        ReadFileBytes(m.tree().work() + "/home/.local/state/brennacenter/monitor.log");
    EXPECT_EQ(1u, LinesWith(journal, c.said).size()) << journal;
    EXPECT_EQ(1u,
              LinesWith(journal, {"INFO  brenna.start: BrennaCenter stopped by SIGTERM"}).size())
        << journal;
  }
}

// A spool directory that is a file, or a link to nothing, takes no chunk
// until someone clears the way: each station's frame is refused at once,
// with a receipt that confirms none of it (it was left without an answer
// until its send timed out), the journal says so once, not per chunk, and
// once the way is clear the next result is written and shown.
TEST(MonitorStartFiles, AStationIsToldAtOnceThatASpoolDirectoryThatIsNoDirectoryTakesNothing) {
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link to nothing" : "a file");
    MonitorProcess m;
    const std::string spool = m.tree().work() + (link ? "/spool-link" : "/spool-file");
    const std::string target = m.tree().work() + "/nowhere/spool";
    if (link)
      fs::create_symlink(target, spool);
    else
      WriteFileBytes(spool, "a file, not a folder");
    WriteFileBytes(m.tree().libraryDir() + "/Pallix.ini",
                   "[Site]\nBaseDir=" + m.tree().base() + "\nSpoolDir=" + spool + "\n");
    std::vector<std::string> frames;
    std::string error;
    ASSERT_TRUE(m.Frames("refused", {SmallResult(25, "1"), SmallResult(11, "2")}, &frames, &error))
        << error;
    std::vector<std::string> after;
    ASSERT_TRUE(m.Frames("after", {SmallResult(3, "3")}, &after, &error)) << error;
    ASSERT_TRUE(m.Launch(&error)) << error;
    ASSERT_TRUE(WaitForListener(m.tree().port(), &m.monitor(), kPatience, &error)) << error;

    for (const std::string& frame : frames) {
      const StreamOutcome out = SendAsStation(m.tree().port(), frame, "");
      EXPECT_TRUE(out.closedByPeer && out.error.empty()) << out.error << "\n" << m.Log();
      EXPECT_EQ(0, out.receipt) << "a receipt that confirms nothing";
    }
    const std::string refused =
        WaitForJournalLine(m, {"ERROR brenna.spool: the spool directory " + spool,
                               link ? "is a link to nothing: every chunk is refused"
                                    : "is a file, not a directory: every chunk is refused"});
    EXPECT_NE("", refused) << m.Log();

    // The way cleared: the next chunk makes the directory (or the link's
    // target has one now).
    if (link)
      fs::create_directories(target);
    else
      fs::remove(spool);
    const StreamOutcome out = SendAsStation(m.tree().port(), Concat(after), "");
    EXPECT_TRUE(out.closedByPeer && out.error.empty()) << out.error;
    EXPECT_EQ(1, out.receipt);
    EXPECT_NE("", WaitForJournalLine(m, {"INFO  brenna.display: result 'after' shown"})) << m.Log();
    EXPECT_NE(
        "", WaitForJournalLine(m, {"takes chunks again after", "2 chunks were refused meanwhile"}))
        << m.Log();
    std::set<std::string> files;
    EXPECT_EQ(1u, LinesWith(ReadJournal(JournalDir(m), &files),
                            {"brenna.spool:", "every chunk is refused, and its station told"})
                      .size());
    m.Stop();
  }
}

// A transfer the monitor refuses for good reaches its station as an answer
// of its own, apart from "delivered" and from "send again": a legal name of
// 99 bytes whose spool path would pass 259 characters on this monitor (no
// check on the station's side can know), and a name no file may have, from
// a station that skipped the name check. The station tool ends with status
// 6 and says so, the journal says which and why, nothing of them is
// published; a good result sent beside them is delivered.
TEST(MonitorStartFiles, ATransferRefusedForGoodIsAnsweredAsRefusedNeitherDeliveredNorToSendAgain) {
  MonitorProcess m;
  const std::string work = m.tree().work();
  const std::string spool = work + "/" + std::string(189 - work.size() - 1, 's');
  ASSERT_EQ(189u, spool.size());
  fs::create_directories(spool);
  WriteFileBytes(m.tree().libraryDir() + "/Pallix.ini",
                 "[Site]\nBaseDir=" + m.tree().base() + "\nSpoolDir=" + spool + "\n");
  std::vector<std::string> frames;
  std::string error;
  ASSERT_TRUE(m.Frames("plain", {SmallResult(3, "1")}, &frames, &error)) << error;
  ASSERT_TRUE(m.Launch(&error)) << error;
  ASSERT_TRUE(WaitForListener(m.tree().port(), &m.monitor(), kPatience, &error)) << error;

  const std::string longName(FILE_CHUNK_NAME_SIZE - 1, 'n');
  std::string output;
  EXPECT_EQ(6,
            m.SendResults({longName, "good"}, {SmallResult(3, "2"), SmallResult(7, "3")}, &output))
      << output;
  EXPECT_NE(std::string::npos, output.find("refused a file for good")) << output;
  const StreamOutcome out = SendAsStation(m.tree().port(), WithTransferName(frames[0], "a?b"), "");
  EXPECT_TRUE(out.closedByPeer && out.error.empty()) << out.error;
  EXPECT_EQ(0, out.receipt) << "what a station that reads only the count sees";
  EXPECT_EQ(1, out.refused);

  EXPECT_NE("", WaitForJournalLine(m, {"chunk of transfer '" + longName, "refused for good",
                                       "longer than 259 characters"}))
      << m.Log();
  EXPECT_NE("", WaitForJournalLine(m, {"chunk of transfer 'a?b' from 127.0.0.1:", "refused"}))
      << m.Log();
  EXPECT_NE("", WaitForJournalLine(m, {"result 'good' published"})) << m.Log();
  std::set<std::string> names;
  const std::string journal = ReadJournal(JournalDir(m), &names);
  EXPECT_TRUE(LinesWith(journal, {"result '" + longName + "' published"}).empty());
  EXPECT_TRUE(LinesWith(journal, {"result 'a?b' published"}).empty());
}

namespace {

// The monitor with a limit of 64 open files, which it cannot raise.
class MonitorFewFiles : public MonitorFault {
 protected:
  void SetUp() override {
    m_monitor.SetOpenFileLimit(64);
    MonitorFault::SetUp();
  }
};

}  // namespace

// A station already connected keeps its result when a hundred more connect
// to a monitor that may open only 64 files: connections never take the
// descriptors the spool files need, and the journal says why fewer stations
// are held.
TEST_F(MonitorFewFiles, AStationsResultIsPublishedWhileAHundredMoreConnect) {
  const std::vector<std::string> frames = Frames("fdA", LargeResult(4, 30));
  ASSERT_GE(frames.size(), 4u);
  StreamOutcome first;
  // A frame every 200 ms: still sending while the others come.
  std::thread station([&] {
    first = SendStream(m_monitor.tree().port(), Concat(frames), kPatience, NET_FRAME_SIZE,
                       std::chrono::milliseconds(200));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::vector<std::unique_ptr<SilentStation>> others;
  for (int i = 0; i < 100; ++i)
    others.push_back(std::make_unique<SilentStation>(m_monitor.tree().port(), ""));
  station.join();
  EXPECT_TRUE(first.closedByPeer && first.error.empty()) << first.error;
  EXPECT_EQ(static_cast<long>(frames.size()), first.receipt) << m_monitor.Log();
  ExpectShown({"fdA"});

  std::set<std::string> names;
  const std::string journal = ReadJournal(JournalDir(m_monitor), &names);
  const std::string where = "\njournal:\n" + journal.substr(0, 20000);
  EXPECT_EQ(1u, LinesWith(journal, {"WARN  brenna.start: open files: at most 64"}).size()) << where;
  EXPECT_EQ(1u, LinesWith(journal, {"WARN  brenna.net: holding at most ", "descriptors"}).size())
      << where;
  EXPECT_TRUE(LinesWith(journal, {"'fdA'", "lost"}).empty()) << where;
  EXPECT_TRUE(LinesWith(journal, {"permissions"}).empty()) << where;
  EXPECT_TRUE(m_monitor.monitor().Running());
}

// With 64 open files (a few dozen slots), 60 connections that each send a
// whole keep-alive frame every 0.9 s and come back whenever closed: they
// give way as idle ones do, and station after station is confirmed and
// shown.
TEST_F(MonitorFewFiles, StationsGetThroughSixtyKeepAliveSquatters) {
  HostileMix mix;
  mix.keepAlives = 60;
  mix.keepAlivePause = std::chrono::milliseconds(900);
  HostilePeers squatters(m_monitor.tree().port(), mix);
  // Time for them to take every slot. Not a measurement: had they not yet,
  // the rounds below would prove less, never fail wrongly.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::set<std::string> names;
  for (int round = 1; round <= 3; ++round) {
    const std::string name = "few-files-" + std::to_string(round);
    std::string output;
    EXPECT_EQ(0, m_monitor.SendResultsAsStation({name}, {SmallResult(11, std::to_string(round))},
                                                &output))
        << output;
    names.insert(name);
  }
  ExpectShown(names);
  EXPECT_GT(squatters.Closed(), 0);
  EXPECT_TRUE(m_monitor.monitor().Running());
}
