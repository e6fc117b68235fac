// The monitor end to end inside one process: the window loads this build's
// libPallix from a private site, listens on the port its settings file
// names, receives a result from the station tool, shows it and counts it;
// quitting stops the queue before the library goes. Also the start-up
// failures: a library with the wrong record size or a missing function, a
// port that is no port or is in use, no library; their messages stand
// beside a window that has come up complete.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FreePort.h"
#include "GuiHelpers.h"
#include "PallixStub.h"
#include "PallixWire.h"
#include "TestSite.h"
#include "ToolRun.h"
#include "acquisition/NetTasks.h"
#include "app/BrennaCenter.h"
#include "app/BrennaCenterDlg.h"
#include "app/DialogBuilder.h"
#include "app/Fonts.h"
#include "app/PortSet.h"
#include "monitor/Globals.h"
#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

namespace fs = std::filesystem;

namespace {

// The window with the moment the library is released observed.
class PipelineDlg : public WithScenario<PipelineDlg, CBrennaCenterDlg> {
 public:
  bool queueRunningAtRelease = true;
  long callsAtRelease = -1;
  int scanTicks = 0;

  const CValueDisplay& Display(int id) { return *dynamic_cast<CValueDisplay*>(ValueDisplay(id)); }

  void OnTimer(unsigned nIDEvent) override {
    if (nIDEvent == 1) ++scanTicks;
    CBrennaCenterDlg::OnTimer(nIDEvent);
  }

 protected:
  void ReleaseLibrary() override {
    queueRunningAtRelease = g_taskMgr.IsRunning();
    callsAtRelease = g_taskMgr.CallCount();
    CBrennaCenterDlg::ReleaseLibrary();
  }
};

// With the one message box of the start standing beside it, unanswered,
// the window has come up complete: nothing modal holds it, the idle task has
// reached the displays and the scan timer ticks. Then the box is answered.
void ExpectCompleteBesideOneBox(PipelineDlg& d, MessageBoxSeen* seen) {
  const std::vector<QMessageBox*> boxes = BoxesBeside();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(QApplication::activeModalWidget(), static_cast<QWidget*>(&d));
  EXPECT_TRUE(QTest::qWaitFor([&] { return d.Display(1119).Text() == Gbk("设备空闲"); }, 30000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return d.scanTicks >= 1; }, 30000));
  ASSERT_TRUE(boxes[0]->isVisible());
  AnswerMessageBox(boxes[0], seen, QString::fromUtf8("确定"));
}

// Whether channel 11 was opened: reading a channel never opened fails.
bool ChannelOpened() {
  char frame[NET_FRAME_SIZE];
  return ReadNetData(kNetChannel, frame, sizeof frame) >= 0;
}

class PipelineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }
  void SetUp() override { g_nNetPort = 0; }  // as at process start
  void TearDown() override {
    // A window the test ended itself skipped the quit command's shutdown.
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    UnloadPallix();
    g_pMainDlg = nullptr;
  }

  // Sends a text-described result with the station tool; true once sent.
  bool Send(int port, const std::string& name, const std::string& description) {
    const std::string file = site.base() + "/" + name + ".txt";
    WriteFileBytes(file, description);
    std::string output;
    // The window's timer keeps ticking while the tool runs.
    const int status = RunWhileTheWindowRuns(
        {BRENNA_SEND, "-t", "127.0.0.1:" + std::to_string(port), file}, 30000, &output);
    EXPECT_EQ(status, 0) << output;
    return status == 0;
  }

  TestSite site;
};

TEST_F(PipelineTest, AResultFromAStationIsShownCountedAndTheQuitStopsTheQueueFirst) {
  const int port = FreePort();
  site.SetPort(port);
  PipelineDlg dlg;
  MessageBoxSeen quit;
  long callsAfterQuit = -1;
  const int result = dlg.RunScenario([&](PipelineDlg& d) {
    EXPECT_EQ(g_nNetPort, port);
    EXPECT_EQ(g_pMainDlg, static_cast<IDisplayBoard*>(&d));
    // The idle task has run on the worker and reached the displays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.Display(1119).Text() == Gbk("设备空闲"); }, 30000));
    EXPECT_EQ(d.Display(1018).TextColor(), 0x0000ffu);
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据监控"));

    ASSERT_TRUE(Send(port, "lane2-brake", "7700 0 25\n7701 0 0815\n5071 1 1234\n5075 2 65.2\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() == 1; }, 30000));
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据监控(1)"));
    EXPECT_EQ(d.Display(1119).Text(), "0815");
    EXPECT_EQ(d.Display(1119).TextColor(), RGB(0, 0, 255));
    EXPECT_EQ(d.Display(1126).Text(), "123");
    EXPECT_EQ(d.Display(1138).TextColor(), RGB(255, 0, 0));
    EXPECT_EQ(d.Display(1018).Text(), Gbk("设备空闲")) << "other groups keep their state";
    EXPECT_TRUE(fs::is_empty(site.spool())) << "shown, then deleted";

    AnswerNextMessageBox(&quit, QString::fromUtf8("是"));
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_QUIT), Qt::LeftButton);
  });
  callsAfterQuit = g_taskMgr.CallCount();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(quit.shown);
  EXPECT_FALSE(dlg.queueRunningAtRelease) << "the queue was stopped before the library went";
  EXPECT_EQ(callsAfterQuit, dlg.callsAtRelease) << "no task ran after the library was released";
  EXPECT_EQ(ReadNetData(11, nullptr, 0), PALLIX_NOT_LOADED);
  QTest::qWait(50);  // room for a stray task call
  EXPECT_EQ(g_taskMgr.CallCount(), callsAfterQuit);
}

TEST_F(PipelineTest, ALibraryWithTheWrongRecordSizeIsReportedOnceAndTheWindowRunsOn) {
  fs::copy_file(PALLIX_STUB_DIR "/pallixstub_size188912.so", site.system() + "/libPallix.so",
                fs::copy_options::overwrite_existing);
  MessageBoxSeen loadError;
  PipelineDlg dlg;
  const int result = dlg.RunScenario([&](PipelineDlg& d) {
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据监控"));
    // One box: the port was never read, so there is no port to name.
    ExpectCompleteBesideOneBox(d, &loadError);
  });
  EXPECT_EQ(result, kEndedByTest);
  EXPECT_TRUE(loadError.shown);
  EXPECT_EQ(loadError.text, QString::fromUtf8("Pallix.dll 加载错误或者没有该文件！"));
  EXPECT_EQ(g_nNetPort, 0);
}

TEST_F(PipelineTest, APartlyBoundLibraryIsReportedOnceAndNeverAskedToListen) {
  // Everything up to OpenNet resolves, ReadNetData does not: OpenNet would
  // listen on a port of the system's choosing.
  const std::string library = site.system() + "/libPallix.so";
  fs::copy_file(PALLIX_STUB_DIR "/pallixstub_no_ReadNetData.so", library,
                fs::copy_options::overwrite_existing);
  MessageBoxSeen loadError;
  std::string calls;
  PipelineDlg dlg;
  dlg.RunScenario([&](PipelineDlg& d) {
    ExpectCompleteBesideOneBox(d, &loadError);
    void* stub = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(stub, nullptr);
    auto journal = reinterpret_cast<PallixStubCallsFn>(dlsym(stub, "PallixStub_Calls"));
    if (journal != nullptr) calls = journal();
    dlclose(stub);
    ASSERT_NE(journal, nullptr);
  });
  EXPECT_EQ(loadError.text, QString::fromUtf8("Pallix.dll 加载错误或者没有该文件！"));
  EXPECT_EQ(calls.find("OpenNet("), std::string::npos) << calls;
  EXPECT_EQ(g_nNetPort, 0);
}

TEST_F(PipelineTest, APortThatIsNoPortIsNamedInOneMessageAndNeverOpened) {
  // Port 0 would listen on a port of the system's choosing; the others are
  // no TCP port at all. The settings file reads its leading integer, but
  // "12x" is no more a port than "abc": the message names what the file
  // says.
  const struct {
    const char* value;
    int port;
  } entries[] = {{"0", 0}, {"abc", 0}, {"70000", 70000}, {"-5", -5}, {"12x", 12}};
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.value);
    WriteFileBytes(site.ini(), "[" + Gbk("端口号") + "]\nPort=" + entry.value + "\n");
    MessageBoxSeen portError;
    bool opened = true;
    PipelineDlg dlg;
    dlg.RunScenario([&](PipelineDlg& d) {
      opened = ChannelOpened();
      ExpectCompleteBesideOneBox(d, &portError);
    });
    EXPECT_FALSE(opened);
    EXPECT_EQ(portError.text,
              QString::fromUtf8("网络端口%1打开失败,无法接收检测结果!").arg(entry.value));
    EXPECT_EQ(g_nNetPort, entry.port);
    TearDown();
  }
}

TEST_F(PipelineTest, APortInUseIsNamedInOneMessageAndTheWindowRunsOn) {
  BusyPort busy;
  ASSERT_GT(busy.port(), 0);
  site.SetPort(busy.port());
  MessageBoxSeen portError;
  PipelineDlg dlg;
  const int result = dlg.RunScenario([&](PipelineDlg& d) {
    EXPECT_TRUE(d.isVisible());
    ExpectCompleteBesideOneBox(d, &portError);
  });
  EXPECT_EQ(result, kEndedByTest);
  EXPECT_TRUE(portError.shown);
  EXPECT_TRUE(portError.text.contains(QString::number(busy.port())))
      << portError.text.toStdString();
  EXPECT_EQ(portError.title, QString::fromLatin1(kAppName));
  EXPECT_EQ(g_nNetPort, busy.port());
}

TEST_F(PipelineTest, NoSettingsFileMeansTheDefaultPort) {
  fs::remove(site.ini());
  // The default port may be taken on this machine; then its box names it.
  MessageBoxSeen maybe;
  PipelineDlg dlg;
  dlg.RunScenario([&](PipelineDlg&) {
    for (QMessageBox* box : BoxesBeside()) AnswerMessageBox(box, &maybe, QString::fromUtf8("确定"));
  });
  EXPECT_EQ(g_nNetPort, 10004);
  if (maybe.shown) {
    EXPECT_TRUE(maybe.text.contains("10004"));
  }
}

TEST_F(PipelineTest, ThePortButtonOpensThePortDialogAndLeavesTheRunningWindowAlone) {
  const int port = FreePort();
  site.SetPort(port);
  PipelineDlg dlg;
  bool opened = false;
  QString shownPort;
  dlg.RunScenario([&](PipelineDlg& d) {
    WhenModal<CPortSet>([&](CPortSet* portDlg) {
      opened = true;
      for (QLineEdit* edit : portDlg->findChildren<QLineEdit*>())
        if (GetDlgCtrlID(edit) == IDC_EDIT_OLDPORT) shownPort = edit->text();
      portDlg->done(QDialog::Rejected);
    });
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_PORTSET), Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(g_nNetPort, port);
  });
  EXPECT_TRUE(opened);
  EXPECT_EQ(shownPort, QString::number(port));
  EXPECT_EQ(ReadFileBytes(site.ini()),
            "[" + Gbk("端口号") + "]\nPort=" + std::to_string(port) + "\n")
      << "nothing written";
}

using PipelineDeathTest = PipelineTest;

TEST_F(PipelineDeathTest, NoLibraryFileEndsTheProgramWithMinusOneAfterTheMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fs::remove(site.system() + "/libPallix.so");
  // The whole program, with the operator closing the box it shows.
  auto runProgram = [] {
    WhenModal<QMessageBox>([](QMessageBox* box) {
      // What the operator saw, for the parent process to check.
      std::fprintf(stderr, "box: %s | %s\n", box->windowTitle().toUtf8().constData(),
                   box->text().toUtf8().constData());
      box->buttons().front()->click();
    });
    int argc = 1;
    char name[] = "BrennaCenter";
    char* argv[] = {name, nullptr};
    theApp.Run(argc, argv);
    std::fprintf(stderr, "the program went on\n");
    std::exit(0);
  };
  EXPECT_EXIT(runProgram(), ::testing::ExitedWithCode(255),
              "box: BrennaCenter \\| 系统库不存在或者版本错误!");
}

}  // namespace
