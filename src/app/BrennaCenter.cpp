#include "app/BrennaCenter.h"

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/BrennaCenterDlg.h"
#include "app/Fonts.h"
#include "app/MessageBox.h"
#include "app/MonitorJournal.h"
#include "app/StopOnSignal.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveWriter.h"
#include "journal/Journal.h"
#include "monitor/Globals.h"
#include "panel/Resource.h"
#include "platform/DesktopBus.h"
#include "platform/Gbk.h"
#include "platform/JournalIo.h"
#include "platform/PallixBinding.h"
#include "platform/PallixSite.h"
#include "platform/ProcessLimits.h"
#include "platform/SignalPipe.h"
#include "platform/SiteLock.h"

CBrennaCenterApp theApp BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_APP);

namespace {

// Below this many open files the station connections cannot all be held
// beside the spool files, the journal and the archive.
constexpr long kOpenFilesWanted = 512;

// Station connections, spool files, the journal and the archive each take
// a descriptor: the limit of open files goes as high as the system lets
// the monitor take it itself, and the journal says where it stands.
void RaiseOpenFileLimit() {
  process_limits::OpenFiles before;
  const process_limits::OpenFiles now = process_limits::RaiseOpenFileLimit(&before);
  if (now.soft < 0) return;  // no limit here
  const std::string hard = now.hard < 0 ? "unlimited" : std::to_string(now.hard);
  const std::string was =
      before.soft == now.soft ? "not raised" : "raised from " + std::to_string(before.soft);
  if (now.soft >= kOpenFilesWanted) {
    BRENNA_LOG(kInfo, kStart, "open files: at most %ld (%s; hard limit %s)", now.soft, was.c_str(),
               hard.c_str());
  } else {
    BRENNA_LOG(kWarning, kStart,
               "open files: at most %ld (%s; hard limit %s): fewer station connections are held "
               "at once; raise the limit of open files (ulimit -n, LimitNOFILE= of a service) to "
               "%ld or more",
               now.soft, was.c_str(), hard.c_str(), kOpenFilesWanted);
  }
}

// A second monitor for a site already watched says so and ends, before it
// opens a journal, an archive, the spool or the port: the first one goes
// on as if nothing had happened.
void RefuseSecondMonitor(const SiteDirectories& site) {
  const std::string line = "another BrennaCenter already runs on this site (base directory " +
                           GbkToUtf8(site.base) + "): this start ends\n";
  journal_io::WriteToStderr(line.data(), line.size());
  InstallFontSubstitutions();
  ShowMessageBox(Gbk("数据监控已经在运行,不能重复启动!"));
}

}  // namespace

CBrennaCenterApp::CBrennaCenterApp() = default;

CBrennaCenterApp::~CBrennaCenterApp() = default;

int CBrennaCenterApp::Run(int& argc, char** argv) {
  // Qt's application object lives only while the program runs, so nothing
  // of Qt is left for the static destructors at exit.
  std::unique_ptr<QApplication> app;
  // What the desktop buses did, said once the journal is there.
  bool busesSettled = false, sessionKnown = false, sessionAnswered = false, a11yDropped = false;
  if (QCoreApplication::instance() == nullptr) {
    // Qt connects to the desktop's buses while it starts (its accessibility
    // bridge, on this thread) and waits on a silent one for minutes: ask
    // them first, briefly, and keep Qt off any that does not answer.
    sessionKnown = !SessionBusAddress().empty();
    const bool hadA11y = std::getenv("AT_SPI_BUS_ADDRESS") != nullptr;
    sessionAnswered = SettleDesktopBuses();
    a11yDropped = hadA11y && std::getenv("AT_SPI_BUS_ADDRESS") == nullptr;
    busesSettled = true;
    app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
  }
  // One monitor per site, checked before anything of the site is touched:
  // a second one would take results and journal the first as killed.
  SiteDirectories site;
  SiteLock claim;
  if (ProbeSite(&site) && !claim.Hold({site.base, site.spool})) {
    RefuseSecondMonitor(site);
    return 1;
  }
  // The journal first, so that it sees the whole run.
  MonitorJournal journal;
  // The archive of what the window shows: started by the window once its
  // settings are read, stopped when it quits (or below, on a signal).
  archive::ArchiveWriter archive;
  m_pArchive = &archive;
  if (busesSettled) JournalDesktopBuses(sessionKnown, sessionAnswered, a11yDropped);
  RaiseOpenFileLimit();
  // A service manager or a logout stops the monitor with SIGTERM: the run
  // still ends with its stop line and counts, written out, and then the
  // process ends as the signal would have ended it.
  StopOnSignal stopOnSignal([&journal, &archive](int signal) {
    qCInfo(lcStart, "%s received: stopping reception", signal_pipe::Name(signal));
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    archive.Stop(std::string("by ") + signal_pipe::Name(signal));
    journal.WriteStop(std::string("by ") + signal_pipe::Name(signal));
    signal_pipe::EndBy(signal);
  });
  InstallFontSubstitutions();
  // A library file that cannot be loaded at all ends the program; the
  // operator sees why first, and the journal says so before it ends.
  SetPallixFatalReporter([](const std::string& gbkText) {
    ShowMessageBox(gbkText);
    JournalProcessEnding("because its library cannot be loaded (exit status 255)");
  });
  if (InitInstance()) QCoreApplication::exec();  // a dialog-based program never gets here
  m_pArchive = nullptr;
  return ExitInstance();
}

bool CBrennaCenterApp::InitInstance() {
  // Control containers and 3-D controls need no enabling with Qt.
  CBrennaCenterDlg dlg;
  if (m_pArchive != nullptr) dlg.AttachArchive(m_pArchive, archive::DefaultArchivePath());
  m_pMainWnd = &dlg;
  dlg.DoModal();
  // The dialog is gone when this returns; leave no pointer to it behind.
  m_pMainWnd = nullptr;
  return false;
}

int CBrennaCenterApp::ExitInstance() { return 0; }
