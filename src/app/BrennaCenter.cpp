#include "app/BrennaCenter.h"

#include <QApplication>
#include <memory>

#include "app/BrennaCenterDlg.h"
#include "app/Globals.h"
#include "app/MessageBox.h"
#include "app/MonitorJournal.h"
#include "app/Resource.h"
#include "platform/DesktopBus.h"
#include "platform/PallixBinding.h"
#include "presentation/Fonts.h"

CBrennaCenterApp theApp BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_APP);

CBrennaCenterApp::CBrennaCenterApp() = default;

CBrennaCenterApp::~CBrennaCenterApp() = default;

int CBrennaCenterApp::Run(int& argc, char** argv) {
  // Qt's application object lives only while the program runs, so nothing
  // of Qt is left for the static destructors at exit.
  std::unique_ptr<QApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    // Qt connects to the desktop's buses while it starts (its accessibility
    // bridge, on this thread) and waits on a silent one for minutes: ask
    // them first, briefly, and keep Qt off any that does not answer.
    SettleDesktopBuses();
    app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
  }
  // The journal first, so that it sees the whole run.
  MonitorJournal journal;
  InstallFontSubstitutions();
  // A library file that cannot be loaded at all ends the program; the
  // operator sees why first.
  SetPallixFatalReporter([](const std::string& gbkText) { ShowMessageBox(gbkText); });
  if (InitInstance()) QCoreApplication::exec();  // a dialog-based program never gets here
  return ExitInstance();
}

bool CBrennaCenterApp::InitInstance() {
  // Control containers and 3-D controls need no enabling with Qt.
  CBrennaCenterDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  // The dialog is gone when this returns; leave no pointer to it behind.
  m_pMainWnd = nullptr;
  return false;
}

int CBrennaCenterApp::ExitInstance() { return 0; }
