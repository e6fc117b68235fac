// The application object runs the window modally and ends with 0 once the
// operator has confirmed quitting.
#include <gtest/gtest.h>

#include <QTest>

#include "GuiHelpers.h"
#include "TestSite.h"
#include "app/BrennaCenter.h"
#include "app/BrennaCenterDlg.h"
#include "app/Globals.h"
#include "app/Resource.h"

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

TEST(BrennaCenterApp, RunEndsWithExitCodeZero) {
  TestSite site;
  g_pMainDlg = nullptr;
  MessageBoxSeen no, yes;
  QuitWhenUp(&no, &yes);
  int argc = 1;
  char name[] = "BrennaCenter";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(theApp.Run(argc, argv), 0);
  EXPECT_TRUE(yes.shown);
}
