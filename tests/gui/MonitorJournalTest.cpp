// The journal's window side: Qt's logging rules choose what is written,
// and a report of the real libPallix reaches the journal file; the run's
// own lines (start, stop, still running, the previous run's crash) are
// written whatever the rules say.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QTest>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "TempDir.h"
#include "app/MonitorJournal.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "platform/PallixBinding.h"

TEST(MonitorJournal, LoggingRulesChooseTheLinesAndTheLibrarysReportsReachTheFile) {
  TempDir tmp;
  MonitorJournal::Options options;
  options.directory = (tmp.path() / "state" / "brennacenter").string();
  options.toStderr = false;
  QLoggingCategory::setFilterRules("brenna.net.debug=true\nbrenna.display.info=false");
  {
    MonitorJournal journal(options);
    EXPECT_EQ(journal.FilePath(), options.directory + "/monitor.log");
    BRENNA_LOG(kDebug, kNet, "detail, asked for");
    BRENNA_LOG(kDebug, kSpool, "detail, not asked for");
    BRENNA_LOG(kInfo, kDisplay, "display info, turned off");
    BRENNA_LOG(kWarning, kSpool, "spool warning");
    qCWarning(lcSettings, "warning of the window's own");
    SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
    ASSERT_EQ(LoadPallix(1), 1);
    EXPECT_TRUE(PallixLogSinkInstalled());
    UnloadPallix();
    SetPallixSystemDirectory("");
  }
  QLoggingCategory::setFilterRules(QString());

  const std::string text = ReadFileBytes(options.directory + "/monitor.log");
  std::istringstream lines(text);
  std::string line;
  const std::regex shape(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (DEBUG|INFO |WARN |ERROR) \S+: .*)");
  std::string rest;  // each line without its timestamp
  while (std::getline(lines, line)) {
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    rest += line.substr(24) + "\n";
  }
  EXPECT_NE(rest.find("INFO  brenna.start: BrennaCenter 1.0.0 starting, process "),
            std::string::npos);
  EXPECT_NE(rest.find("DEBUG brenna.net: detail, asked for\n"), std::string::npos);
  EXPECT_EQ(rest.find("not asked for"), std::string::npos);
  EXPECT_EQ(rest.find("turned off"), std::string::npos);
  EXPECT_NE(rest.find("WARN  brenna.spool: spool warning\n"), std::string::npos);
  EXPECT_NE(rest.find("WARN  brenna.settings: warning of the window's own\n"), std::string::npos);
  EXPECT_NE(rest.find("INFO  brenna.start: libPallix 1.0.0 (" + std::string(BRENNA_PALLIX_DIR) +
                      "/libPallix.so) reports here\n"),
            std::string::npos)
      << rest;
  EXPECT_NE(rest.find("INFO  brenna.journal: last "), std::string::npos);
  EXPECT_NE(rest.find("INFO  brenna.start: BrennaCenter stopped\n"), std::string::npos);
}

namespace {

std::string Written(const std::string& file) {
  journal::ProcessJournalWriter().Drain();
  return ReadFileBytes(file);
}

}  // namespace

// The previous run was killed: its last line is no stop line, and the next
// start says so with that line's time. With every category's info lines
// turned off, the start and stop lines stay, and an idle monitor still
// says now and then that it runs.
TEST(MonitorJournal, AStartAfterACrashSaysSoAndTheRunsOwnLinesStayWhateverTheRules) {
  TempDir tmp;
  MonitorJournal::Options options;
  options.directory = (tmp.path() / "brennacenter").string();
  options.toStderr = false;
  options.heartbeatPeriod = std::chrono::milliseconds(200);
  const std::string file = options.directory + "/monitor.log";
  std::filesystem::create_directories(options.directory);
  WriteFileBytes(file,
                 "2026-12-07 10:41:00.001 INFO  brenna.start: BrennaCenter 1.0.0 starting, "
                 "process 4711; journal " +
                     file +
                     "\n2026-12-07 10:42:07.310 INFO  brenna.net: station 10.1.2.7:51234 "
                     "connected (1 of 256 slots taken)\n");
  QLoggingCategory::setFilterRules("brenna.*.info=false");
  {
    MonitorJournal journal(options);
    BRENNA_LOG(kInfo, kSpool, "an info line, turned off");
    // Nothing else happens: within a few periods the journal says it runs.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Written(file).find("still running") != std::string::npos; }, 30000));
  }
  QLoggingCategory::setFilterRules(QString());
  const std::string text = ReadFileBytes(file);
  EXPECT_NE(text.find("INFO  brenna.start: BrennaCenter 1.0.0 starting, process "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("WARN  brenna.start: the previous run ended without its stop line: it "
                      "was killed, crashed or lost its power after its last line, written "
                      "2026-12-07 10:42:07.310\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("INFO  brenna.journal: still running, process "), std::string::npos);
  EXPECT_EQ(text.find("turned off"), std::string::npos);
  const std::string stop = "INFO  brenna.start: BrennaCenter stopped\n";
  EXPECT_EQ(text.substr(text.size() - stop.size()), stop);

  // The next start follows a run that stopped: nothing to say about it.
  { MonitorJournal again(options); }
  const std::string after = ReadFileBytes(file).substr(text.size());
  EXPECT_NE(after.find("BrennaCenter 1.0.0 starting"), std::string::npos) << after;
  EXPECT_EQ(after.find("previous run"), std::string::npos) << after;
}

// A relative XDG_STATE_HOME is left out, as the XDG rules say, but not
// silently: the journal, in ~/.local/state, says why it is there.
TEST(MonitorJournal, ARelativeStateHomeIsSaidNotSilentlyIgnored) {
  TempDir tmp;
  const char* home = std::getenv("HOME");
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string savedHome = home != nullptr ? home : "";
  const std::string savedState = state != nullptr ? state : "";
  ::setenv("HOME", tmp.path().c_str(), 1);
  ::setenv("XDG_STATE_HOME", "state/relative", 1);
  MonitorJournal::Options options;
  options.toStderr = false;
  std::string path;
  {
    MonitorJournal journal(options);
    path = journal.FilePath();
  }
  ::setenv("HOME", savedHome.c_str(), 1);
  ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
  EXPECT_EQ(path, (tmp.path() / ".local/state/brennacenter/monitor.log").string());
  EXPECT_NE(ReadFileBytes(path).find("WARN  brenna.journal: XDG_STATE_HOME is \"state/relative\", "
                                     "not an absolute path: ignored (as the XDG rules say); the "
                                     "journal is in " +
                                     path + "\n"),
            std::string::npos)
      << ReadFileBytes(path);
}
