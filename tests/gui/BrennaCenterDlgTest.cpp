// The monitoring window on the fixed 1920x1080 offscreen screen: maximise and
// restore, the only way out, the legend, the about box, the timer.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "GuiHelpers.h"
#include "PallixForTests.h"
#include "RecordBuilder.h"
#include "TestSite.h"
#include "app/AboutDlg.h"
#include "app/BrennaCenterDlg.h"
#include "app/DialogBuilder.h"
#include "app/Fonts.h"
#include "app/QtColor.h"
#include "monitor/Globals.h"
#include "panel/Resource.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/Verdicts.h"
#include "platform/PallixBinding.h"
#include "util/LayoutMath.h"

namespace {

// The window with its timer traffic counted and the results it shows
// named, in order, by the brake group's operator on screen as each is
// counted in the title.
class ProbeDlg : public WithScenario<ProbeDlg, CBrennaCenterDlg> {
 public:
  int scans = 0;
  std::vector<unsigned> timerIds;
  std::vector<std::string> shownOperators;

  void OnTimer(unsigned nIDEvent) override {
    timerIds.push_back(nIDEvent);
    CBrennaCenterDlg::OnTimer(nIDEvent);
  }
  std::string DisplayText(int id) { return dynamic_cast<CValueDisplay*>(ValueDisplay(id))->Text(); }

 protected:
  int ScanSpoolFiles() override {
    ++scans;
    return CBrennaCenterDlg::ScanSpoolFiles();
  }
  void ShowTitle(const std::string& gbkTitle) override {
    shownOperators.push_back(DisplayText(OperatorDisplayForDevice(25)));
    CBrennaCenterDlg::ShowTitle(gbkTitle);
  }
};

QRect ToQRect(const CRect& rc) { return QRect(rc.left, rc.top, rc.Width(), rc.Height()); }

class BrennaCenterDlgTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }
  void SetUp() override {
    g_rcMainWnd = CRect{};
    g_pMainDlg = nullptr;
  }
  // A window the test ended directly skipped the quit command's shutdown;
  // do it here, before the window's library copy goes.
  void TearDown() override {
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    UnloadPallix();
    g_pMainDlg = nullptr;
  }
  TestSite site;
};

}  // namespace

TEST_F(BrennaCenterDlgTest, MaximisesThenMovesToTheTopLeftFiveRowsShort) {
  ProbeDlg dlg;
  const int result = dlg.RunScenario([](ProbeDlg& d) {
    const QRect avail = d.screen()->availableGeometry();
    const int frameW = d.frameGeometry().width() - d.width();
    const int frameH = d.frameGeometry().height() - d.height();
    // The maximised client area, less 5 pixels at the bottom.
    EXPECT_EQ(g_rcMainWnd, (CRect{0, 0, avail.width() - frameW, avail.height() - frameH - 5}));
    // ...which is where the whole window now stands.
    EXPECT_EQ(d.frameGeometry(), ToQRect(g_rcMainWnd));
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据监控"));
    EXPECT_EQ(g_pMainDlg, static_cast<IDisplayBoard*>(&d));
    // No maximise button; the operator may only minimise.
    EXPECT_FALSE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(d.windowFlags() & Qt::WindowMinimizeButtonHint);
  });
  EXPECT_EQ(result, kEndedByTest);
}

TEST_F(BrennaCenterDlgTest, RestoringFromMinimisedReturnsToTheSavedRectangle) {
  ProbeDlg dlg;
  dlg.RunScenario([](ProbeDlg& d) {
    const QRect atStart = d.frameGeometry();
    ASSERT_EQ(atStart, ToQRect(g_rcMainWnd));

    d.showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(d.isMinimized());
    d.showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d.isMinimized() && d.frameGeometry() == atStart; }));
    QTest::qWait(50);  // late reports of the window system change nothing
    EXPECT_EQ(d.frameGeometry(), atStart);

    // The rectangle is the one kept at start, never measured again: a
    // different saved rectangle is where the next restore goes.
    g_rcMainWnd = CRect{0, 0, 1200, 700};
    d.showMinimized();
    QCoreApplication::processEvents();
    d.showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.frameGeometry() == QRect(0, 0, 1200, 700); }));
    QTest::qWait(50);
    EXPECT_EQ(d.frameGeometry(), QRect(0, 0, 1200, 700));
  });
}

TEST_F(BrennaCenterDlgTest, EscapeAndCloseLeaveTheWindowOpen) {
  ProbeDlg dlg;
  const int result = dlg.RunScenario([](ProbeDlg& d) {
    QTest::keyClick(&d, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.close());  // the close box and Alt+F4 arrive as a close
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.isVisible());
  });
  // Only the test's own EndDialog ended it.
  EXPECT_EQ(result, kEndedByTest);
}

TEST_F(BrennaCenterDlgTest, QuitButtonHasFocusAndAsksBeforeEnding) {
  ProbeDlg dlg;
  bool stillOpenAfterNo = false;
  MessageBoxSeen first;
  MessageBoxSeen second;
  const int result = dlg.RunScenario([&](ProbeDlg& d) {
    QWidget* quit = d.GetDlgItem(IDC_BTN_QUIT);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(d.focusWidget(), quit);

    AnswerNextMessageBox(&first, QString::fromUtf8("否"));
    QTest::keyClick(d.focusWidget(), Qt::Key_Return);  // Enter on the focused button
    QCoreApplication::processEvents();
    stillOpenAfterNo = d.isVisible();

    AnswerNextMessageBox(&second, QString::fromUtf8("是"));
    QTest::mouseClick(quit, Qt::LeftButton);
  });
  ASSERT_TRUE(first.shown);
  EXPECT_EQ(first.text, QString::fromUtf8("是否退出数据监控?"));
  EXPECT_EQ(first.title, QString::fromUtf8("提示信息"));
  EXPECT_EQ(first.icon, QMessageBox::Question);
  EXPECT_EQ(first.buttons.size(), 2);
  EXPECT_TRUE(stillOpenAfterNo);
  EXPECT_TRUE(second.shown);
  EXPECT_EQ(result, 0);  // ended by 是, with result 0
  EXPECT_FALSE(g_taskMgr.IsRunning());
}

TEST_F(BrennaCenterDlgTest, ControlsAreCreatedInTemplateOrderAndBound) {
  ProbeDlg dlg;
  dlg.RunScenario([](ProbeDlg& d) {
    std::vector<QWidget*> children;
    for (QObject* o : d.children()) {
      if (auto* w = qobject_cast<QWidget*>(o); w != nullptr && !w->isWindow())
        children.push_back(w);
    }
    const DlgTemplate& tpl = MainDialogTemplate();
    ASSERT_EQ(children.size(), tpl.count);
    for (std::size_t i = 0; i < tpl.count; ++i) {
      const DlgControl& ctl = tpl.controls[i];
      QWidget* w = children[i];
      EXPECT_EQ(GetDlgCtrlID(w), ctl.id) << i;
      switch (ctl.kind) {
        case ControlKind::GroupBox:
          ASSERT_NE(qobject_cast<QGroupBox*>(w), nullptr) << i;
          EXPECT_EQ(qobject_cast<QGroupBox*>(w)->title(), QString::fromUtf8(ctl.text));
          break;
        case ControlKind::Label:
        case ControlKind::VerdictPanel:
          ASSERT_NE(qobject_cast<QLabel*>(w), nullptr) << i;
          EXPECT_EQ(qobject_cast<QLabel*>(w)->text(), QString::fromUtf8(ctl.text));
          break;
        case ControlKind::CommandButton:
          ASSERT_NE(qobject_cast<QPushButton*>(w), nullptr) << i;
          EXPECT_EQ(qobject_cast<QPushButton*>(w)->text(), QString::fromUtf8(ctl.text));
          break;
        case ControlKind::ValueDisplay:
          // The member display itself, reachable by its identifier.
          EXPECT_EQ(dynamic_cast<IValueDisplay*>(w), d.ValueDisplay(ctl.id)) << ctl.id;
          EXPECT_NE(dynamic_cast<CValueDisplay*>(w), nullptr) << ctl.id;
          EXPECT_FALSE(w->isEnabled()) << ctl.id;
          break;
        case ControlKind::Icon:
        case ControlKind::Edit:
          ADD_FAILURE();
          break;
      }
      EXPECT_EQ(d.GetDlgItem(ctl.id), ctl.id == IDC_STATIC ? nullptr : w);
    }
    EXPECT_EQ(d.ValueDisplay(IDC_BTN_QUIT), nullptr);
    EXPECT_EQ(d.ValueDisplay(1022), nullptr);
    EXPECT_EQ(d.ValueDisplay(-1), nullptr);
  });
}

TEST_F(BrennaCenterDlgTest, EveryControlKeepsItsProportionsInTheMaximisedWindow) {
  ProbeDlg dlg;
  dlg.RunScenario([](ProbeDlg& d) {
    const DlgTemplate& tpl = MainDialogTemplate();
    // Recorded at the designed size, rescaled to the client area now.
    const CRect designed = DluToPixels(tpl.rect);
    ASSERT_GT(d.width(), designed.Width()) << "the window is maximised";
    std::vector<QWidget*> children;
    for (QObject* o : d.children()) {
      if (auto* w = qobject_cast<QWidget*>(o); w != nullptr && !w->isWindow())
        children.push_back(w);
    }
    ASSERT_EQ(children.size(), tpl.count);
    for (std::size_t i = 0; i < tpl.count; ++i) {
      const CRect want =
          ScaleRect(DluToPixels(tpl.controls[i].rect),
                    CRect{0, 0, designed.Width(), designed.Height()}, d.width(), d.height());
      EXPECT_EQ(children[i]->geometry(), ToQRect(want))
          << "control " << i << " id " << tpl.controls[i].id;
    }
  });
}

TEST_F(BrennaCenterDlgTest, LegendPanelsShowTheirColoursInAGrabOfTheWindow) {
  ProbeDlg dlg;
  dlg.RunScenario([](ProbeDlg& d) {
    // Let everything settle and paint once, then read the pixels.
    QCoreApplication::processEvents();
    const QImage shot = d.grab().toImage();
    if (const char* dir = std::getenv("BRENNA_TEST_ARTIFACTS")) {
      EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath("main-window.png")));
    }

    // Each verdict's panel (the verdict table's colours: ResourcesTest).
    for (const VerdictLook& v : kVerdicts) {
      QWidget* panel = d.GetDlgItem(v.panel.controlId);
      ASSERT_NE(panel, nullptr);
      const QRect r = panel->geometry();
      const QRgb background = ToQColor(v.color).rgb();
      // Mostly its own colour, with a large white text on it.
      EXPECT_GT(ShareOfColor(shot, r, background), 0.4) << v.panel.controlId;
      EXPECT_GT(ShareOfColor(shot, r, qRgb(255, 255, 255)), 0.08) << v.panel.controlId;
      // 100 pixels of character cell (ascent + descent), not of em.
      EXPECT_NEAR(QFontMetrics(panel->font()).height(), 100, 1) << v.panel.controlId;
      EXPECT_EQ(panel->font().weight(), 900) << v.panel.controlId;
    }
    for (int id : {IDC_BTN_QUIT, IDC_BTN_PORTSET}) {
      QWidget* button = d.GetDlgItem(id);
      ASSERT_NE(button, nullptr);
      EXPECT_NEAR(QFontMetrics(button->font()).height(), 60, 1);
      EXPECT_EQ(button->font().weight(), 900);
      // Buttons are not part of the legend.
      EXPECT_LT(ShareOfColor(shot, button->geometry(), qRgb(255, 0, 0)), 0.01);
    }
  });
}

TEST_F(BrennaCenterDlgTest, AboutEntryOfTheWindowMenuOpensTheAboutBox) {
  ProbeDlg dlg;
  bool aboutSeen = false;
  dlg.RunScenario([&](ProbeDlg& d) {
    const QRect before = d.frameGeometry();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(900, 900),
                            d.mapToGlobal(QPoint(900, 900)));
    QCoreApplication::sendEvent(&d, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* about = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->text() == QString::fromUtf8("关于 BrennaCenter(&A)...")) about = a;
    }
    ASSERT_NE(about, nullptr);

    WhenModal<CAboutDlg>([&](CAboutDlg* box) {
      aboutSeen = true;
      EXPECT_EQ(box->windowTitle(), QString::fromUtf8("关于 BrennaCenter"));
      QStringList texts;
      bool hasIcon = false;
      for (QLabel* l : box->findChildren<QLabel*>()) {
        texts << l->text();
        hasIcon |= !l->pixmap().isNull() && l->pixmap().size() == QSize(32, 32);
      }
      EXPECT_TRUE(texts.contains(QString::fromUtf8("BrennaCenter 1.0 版")));
      EXPECT_TRUE(hasIcon);
      if (const char* dir = std::getenv("BRENNA_TEST_ARTIFACTS")) {
        box->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("about-box.png"));
      }
      QPushButton* ok = nullptr;
      for (QPushButton* b : box->findChildren<QPushButton*>()) {
        if (b->text() == QString::fromUtf8("确定")) ok = b;
      }
      ASSERT_NE(ok, nullptr);
      QTest::mouseClick(ok, Qt::LeftButton);
    });
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
    QCoreApplication::processEvents();
    // Closing the box changed nothing.
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.frameGeometry(), before);
  });
  EXPECT_TRUE(aboutSeen);
}

TEST_F(BrennaCenterDlgTest, OnlyTimerOneScansTheSpool) {
  ProbeDlg dlg;
  dlg.OnTimer(2);
  dlg.OnTimer(0);
  EXPECT_EQ(dlg.scans, 0);
  dlg.OnTimer(1);
  EXPECT_EQ(dlg.scans, 1);

  // A window timer arrives with the identifier it was set with; setting an
  // identifier again replaces its timer.
  dlg.timerIds.clear();
  EXPECT_EQ(dlg.SetTimer(7, 1), 7u);
  EXPECT_EQ(dlg.SetTimer(7, 1), 7u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.timerIds.size() >= 3; }));
  for (unsigned id : dlg.timerIds) EXPECT_EQ(id, 7u);
  EXPECT_EQ(dlg.scans, 1);
}

// Fifty results wait in the spool at the start. The window shows them one
// at a time, oldest first, and answers meanwhile: the quit question comes up
// before the third result is shown, 否 lets the backlog go on in order, and
// 是 ends the window with every result not shown still in the spool, none
// shown or counted twice.
TEST_F(BrennaCenterDlgTest, DuringABacklogTheQuitButtonAnswersAndQuittingKeepsTheRestInTheSpool) {
  namespace fs = std::filesystem;
  constexpr int kBacklog = 50;
  ASSERT_TRUE(LoadBuiltPallix());
  std::vector<std::string> records;
  for (int i = 0; i < kBacklog; ++i)
    records.push_back(RecordBuilder()
                          .Item(7700, 0, "25")
                          .Item(7701, 0, "op" + std::to_string(i))
                          .Item(5071, 1, std::to_string(10 * i))
                          .Bytes());
  UnloadPallix();
  SetPallixSystemDirectory(site.system());
  // Written newest name first: their order is the files' time, not their
  // names'.
  fs::create_directories(site.spool());
  const auto start = fs::file_time_type::clock::now() - std::chrono::hours(1);
  std::vector<std::string> expected, operators;
  for (int i = 0; i < kBacklog; ++i) {
    const std::string name = "r" + std::to_string(100 + kBacklog - i) + ".DOING";
    WriteFileBytes(site.spool() + "/" + name, records[static_cast<size_t>(i)]);
    fs::last_write_time(site.spool() + "/" + name, start + std::chrono::seconds(i));
    expected.push_back(name);
    operators.push_back("op" + std::to_string(i));
  }

  ProbeDlg dlg;
  MessageBoxSeen no, yes;
  int shownWhenAsked = -1;
  const int result = dlg.RunScenario([&](ProbeDlg& d) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() >= 1; }, 30000));
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shownWhenAsked = d.ShownFiles();
      AnswerMessageBox(box, &no, QString::fromUtf8("否"));
    });
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_QUIT), Qt::LeftButton);
    ASSERT_TRUE(no.shown);
    // 否: the backlog goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() >= shownWhenAsked + 2; }, 30000));
    AnswerNextMessageBox(&yes, QString::fromUtf8("是"));
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_QUIT), Qt::LeftButton);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(no.text, QString::fromUtf8("是否退出数据监控?"));
  EXPECT_GE(shownWhenAsked, 1);
  EXPECT_LT(shownWhenAsked, 3) << "the question waited for the backlog";
  EXPECT_TRUE(yes.shown);

  const int shown = dlg.ShownFiles();
  ASSERT_LT(shown, kBacklog);
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("数据监控(%1)").arg(shown));
  EXPECT_EQ(dlg.shownOperators,
            std::vector<std::string>(operators.begin(), operators.begin() + shown));
  EXPECT_EQ(dlg.DisplayText(OperatorDisplayForDevice(25)), operators[shown - 1])
      << "the last shown is on screen";
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(site.spool()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  std::vector<std::string> unshown(expected.begin() + shown, expected.end());
  std::sort(unshown.begin(), unshown.end());
  EXPECT_EQ(left, unshown) << "what was not shown waits for the next start";
}
