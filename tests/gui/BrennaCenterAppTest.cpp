// The application object runs the window modally and ends with 0 once the
// operator has confirmed quitting.
#include <gtest/gtest.h>

#include <QTest>

#include "GuiHelpers.h"
#include "TempDir.h"
#include "TestSite.h"
#include "app/BrennaCenter.h"
#include "app/BrennaCenterDlg.h"
#include "monitor/Globals.h"
#include "panel/Resource.h"

namespace {

// Once the window is up and initialised, quit it: first 否, then 是.
void QuitWhenUp(MessageBoxSeen* no, MessageBoxSeen* yes) {
  WhenModal<CBrennaCenterDlg>([no, yes](CBrennaCenterDlg* dlg) {
    if (g_pMainDlg != dlg) {  // still initialising: look again
      QuitWhenUp(no, yes);
      return;
    }
    EXPECT_EQ(theApp.m_pMainWnd, dlg);
    QWidget* quit = dlg->GetDlgItem(IDC_BTN_QUIT);
    ASSERT_NE(quit, nullptr);
    AnswerNextMessageBox(no, QString::fromUtf8("否"));
    QTest::mouseClick(quit, Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    AnswerNextMessageBox(yes, QString::fromUtf8("是"));
    QTest::mouseClick(quit, Qt::LeftButton);
  });
}

}  // namespace

TEST(BrennaCenterApp, InitInstanceRunsTheWindowAndReturnsFalse) {
  TestSite site;
  g_pMainDlg = nullptr;
  MessageBoxSeen no, yes;
  QuitWhenUp(&no, &yes);
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_TRUE(no.shown);
  EXPECT_TRUE(yes.shown);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

TEST(BrennaCenterApp, RunEndsWithExitCodeZeroAndJournalsTheRun) {
  TestSite site;
  TempDir state;
  const QByteArray stateBefore = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", state.path().string().c_str());
  g_pMainDlg = nullptr;
  MessageBoxSeen no, yes;
  QuitWhenUp(&no, &yes);
  int argc = 1;
  char name[] = "BrennaCenter";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(theApp.Run(argc, argv), 0);
  EXPECT_TRUE(yes.shown);
  qputenv("XDG_STATE_HOME", stateBefore);

  // The run in the journal, in order: start, library, site and port,
  // listening, the confirmed quit, the counts, stop.
  const std::string journal = ReadFileBytes(state.file("brennacenter/monitor.log"));
  std::size_t at = 0;
  for (const std::string& expected :
       {std::string("BrennaCenter 1.0.0 starting"), std::string(") reports here"),
        "site: base directory " + site.base() + ", spool directory " + site.spool() + "; port " +
            std::to_string(site.Port()) + " from " + site.ini(),
        "listening for stations on port " + std::to_string(site.Port()),
        std::string("quit confirmed"), std::string("brenna.journal: last "),
        std::string("BrennaCenter stopped")}) {
    at = journal.find(expected, at);
    ASSERT_NE(at, std::string::npos) << expected << "\n" << journal;
  }
}
