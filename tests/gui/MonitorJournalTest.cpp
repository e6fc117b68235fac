// The journal's window side: Qt's logging rules choose what is written,
// and a report of the real libPallix reaches the journal file.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <regex>
#include <sstream>
#include <string>

#include "TempDir.h"
#include "app/MonitorJournal.h"
#include "journal/Journal.h"
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
