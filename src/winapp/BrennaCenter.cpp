#include "winapp/BrennaCenter.h"

#include <memory>
#include <string>

#include "archive/ArchiveWriter.h"
#include "journal/Journal.h"
#include "journal/RunLines.h"
#include "monitor/Globals.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/JournalIo.h"
#include "platform/PallixBinding.h"
#include "platform/PallixSite.h"
#include "platform/SiteLock.h"
#include "winapp/BrennaCenterDlg.h"
#include "winapp/MessageBox.h"
#include "winapp/WinJournal.h"
#if defined(BRENNA_WITH_ARCHIVE)
#include "archive/ArchiveFormat.h"
#endif

CBrennaCenterApp theApp BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_APP);

namespace {

// Where the journal lives: beside BrennaCenter.ini in the site's base
// directory (the archive lies there too), or, when the library cannot
// tell, in %LOCALAPPDATA%\BrennaCenter.
std::string JournalFolder(const SiteDirectories* site) {
  if (site != nullptr && !site->base.empty()) return site->base;
  const std::string local = journal_io::UserStateDirectory();
  return local.empty() ? std::string() : JoinPath(local, "BrennaCenter");
}

// A second monitor for a site already watched says so and ends, before it
// opens a window or a journal of its own.
void RefuseSecondMonitor(const SiteDirectories& site) {
  const std::string line = "another BrennaCenter already runs on this site (base directory " +
                           GbkToUtf8(site.base) + "): this start ends\n";
  journal_io::WriteToStderr(line.data(), line.size());
  ShowMessageBox(nullptr, Gbk("数据监控已经在运行,不能重复启动!"));
}

}  // namespace

CBrennaCenterApp::CBrennaCenterApp() = default;

CBrennaCenterApp::~CBrennaCenterApp() = default;

int CBrennaCenterApp::Run() {
  AttachParentConsole();
  // A library file that cannot be loaded at all ends the program; the
  // operator sees why first, and the journal says so before it ends.
  SetPallixFatalReporter([](const std::string& gbkText) {
    ShowMessageBox(nullptr, gbkText);
    journal::WriteProcessEnding("because its library cannot be loaded (exit status 255)");
  });
  SiteDirectories site;
  const bool siteKnown = ProbeSite(&site);
  SiteLock claim;
  if (siteKnown && !claim.Hold({site.base, site.spool})) {
    RefuseSecondMonitor(site);
    return 1;
  }
  // The journal first, so that it sees the whole run.
  WinJournal journal(JournalFolder(siteKnown ? &site : nullptr));
#if defined(BRENNA_WITH_ARCHIVE)
  archive::ArchiveWriter archive;
  m_pArchive = &archive;
#else
  BRENNA_LOG(kInfo, kStart,
             "this build keeps no archive: results are shown, not kept (brenna-history and "
             "brenna-web see nothing of this monitor)");
#endif
  // Windows ends the session, or the console goes: the run still ends
  // with its stop lines, written out, and then the process ends as it
  // would have been ended.
  m_onStop = [this, &journal](const std::string& how) {
    BRENNA_LOG(kInfo, kStart, "%s: stopping reception", how.c_str());
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    if (m_pArchive != nullptr) m_pArchive->Stop("by " + how);
    journal.WriteStop("by " + how);
    TerminateProcess(GetCurrentProcess(), 0);
  };
  InitInstance();
  m_onStop = nullptr;
  m_pArchive = nullptr;
  return ExitInstance();
}

BOOL CBrennaCenterApp::InitInstance() {
  CBrennaCenterDlg dlg;
#if defined(BRENNA_WITH_ARCHIVE)
  if (m_pArchive != nullptr) dlg.AttachArchive(m_pArchive, archive::DefaultArchivePath());
#endif
  dlg.SetStopHandler(m_onStop);
  m_pMainWnd = &dlg;
  if (dlg.DoModal() < 0) {
    // No desktop to show a window on (a service, a session without one):
    // nothing was started, and the program says so rather than end as if
    // it had run.
    BRENNA_LOG(kError, kStart,
               "the window could not be made (Windows error %lu): there is no desktop to show "
               "it on; the monitor ends without receiving (exit status 1)",
               static_cast<unsigned long>(GetLastError()));
    m_nExitCode = 1;
  }
  // The dialog is gone when this returns; leave no pointer to it behind.
  m_pMainWnd = nullptr;
  return FALSE;
}

int CBrennaCenterApp::ExitInstance() { return m_nExitCode; }
