#include "monitor/MonitorPipeline.h"

#include "acquisition/NetTasks.h"
#include "archive/ArchiveWriter.h"
#include "journal/Journal.h"
#include "monitor/Globals.h"
#include "monitor/IdleStateTask.h"
#include "monitor/ResultPresenter.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/JournalIo.h"
#include "platform/PallixBinding.h"
#include "util/ArchiveSettings.h"
#include "util/PortNumber.h"
#include "util/PortSetting.h"

#ifndef BRENNA_VERSION
#define BRENNA_VERSION "unknown"
#endif

namespace {

// OpenNet's fourth argument: how long (ms) a connected station may stay
// silent before the library drops it.
constexpr int kStationSilenceMs = 9898;
// OpenNet's result for a port another program listens on
// (docs/wire-protocol.md).
constexpr int kOpenNetPortInUse = -5;

// A spool directory that is no directory takes no chunk: said once, at
// start, in plain words, with what stations meet meanwhile.
void JournalSpoolDirectory(const std::string& spool) {
  const std::string dir = journal::JournalName(spool);
  const char* what = nullptr;
  if (spool.empty()) {
    BRENNA_LOG(kError, kStart,
               "the site names no spool directory (a path longer than 259 bytes?): nothing can "
               "be received; correct SpoolDir in Pallix.ini and restart");
    return;
  }
  // A file or a dead link in its place has every chunk refused at once;
  // otherwise stations wait until their sends time out.
  const char* then = "every chunk is refused to its station";
  switch (InspectDirectory(spool)) {
    case DirectoryKind::kDirectory:
      return;
    case DirectoryKind::kNotDirectory:
      what = "is a file, not a directory";
      break;
    case DirectoryKind::kBrokenLink:
      what = "is a link to nothing (its target is missing, or the links go round in a circle)";
      break;
    case DirectoryKind::kMissing:
      what = "is missing and could not be made (is a parent a file, or not writable?)";
      then = "stations are held back until their sends time out";
      break;
    case DirectoryKind::kUnreachable:
      what = "cannot be reached (no permission on a parent directory?)";
      then = "stations are held back until their sends time out";
      break;
  }
  BRENNA_LOG(kError, kStart,
             "the spool directory %s %s: nothing can be received, %s; remove what is in the "
             "way, or name another SpoolDir in Pallix.ini, and restart",
             dir.c_str(), what, then);
}

// The start lines of the pipeline: the library's load result, the site
// directories (and a spool directory that is no directory), the port and
// where it came from, whether listening worked.
void JournalPipelineStarted(int loadResult, const std::string& iniPath,
                            const ListeningPortSetting& port, int openResult) {
  const std::string named = journal::JournalName(PortAsNamed(port));
  if (loadResult < 0) {
    BRENNA_LOG(kError, kStart,
               "libPallix not usable (LoadPallix %d): no site directories, no settings read, "
               "nothing received",
               loadResult);
  } else {
    BRENNA_LOG(kInfo, kStart, "site: base directory %s, spool directory %s; port %s from %s",
               journal::JournalName(SiteBaseDirectory()).c_str(),
               journal::JournalName(SiteSpoolDirectory()).c_str(), named.c_str(),
               journal::JournalName(iniPath).c_str());
    JournalSpoolDirectory(SiteSpoolDirectory());
  }
  if (openResult == 1) {
    BRENNA_LOG(kInfo, kStart, "listening for stations on port %d", port.port);
  } else if (loadResult >= 0 && !port.usable) {
    BRENNA_LOG(kError, kStart,
               "port \"%s\" in %s is no port (a whole number from 1 to 65535): not listening, no "
               "result will arrive; correct Port in section [端口号] and restart",
               named.c_str(), journal::JournalName(iniPath).c_str());
  } else {
    BRENNA_LOG(kError, kStart, "cannot listen on port %d (OpenNet %d): no result will arrive%s",
               port.port, openResult,
               openResult == kOpenNetPortInUse ? "; another program holds the port" : "");
  }
}

// The operator confirmed quitting.
void JournalPipelineStopping() {
  BRENNA_LOG(kInfo, kStart, "quit confirmed: stopping reception, releasing the library");
}

}  // namespace

void PipelineWindow::ReleaseLibrary() { UnloadPallix(); }

MonitorPipeline::MonitorPipeline(PipelineWindow& window, ResultPresenter& presenter)
    : m_window(window), m_presenter(presenter) {}

void MonitorPipeline::AttachArchive(archive::IArchiveWriter* writer, const std::string& path) {
  m_archive = writer;
  m_archivePath = path;
  m_presenter.AttachArchive(writer);
}

void MonitorPipeline::Start(IDisplayBoard& board) {
  m_window.InitLayout();
  m_window.ShowWindowMaximized();
  g_rcMainWnd = m_window.GetClientRect();
  g_rcMainWnd.bottom -= kBottomMargin;
  m_window.MoveWindow(g_rcMainWnd, true);
  Open(board);
  m_window.SetLooks();
  // The waiting results and the network tasks, then the one-second scan;
  // the first waiting result follows as soon as the window runs.
  Run();
  m_window.SetTimer(kScanTimer, kScanPeriodMs);
}

void MonitorPipeline::Open(IDisplayBoard& board) {
  // From here on the tasks and the decoder find the displays.
  g_pMainDlg = &board;
  InstallSpoolAccess(&MonitorSpoolAccess());

  // Messages here stand beside the window: an unattended station must come
  // up complete (tasks, idle texts, scan timer) before anyone reads them.
  const int loaded = LoadPallix(1);
  if (loaded < 0) {
    // No site, no settings file, no port: the window runs without network.
    // A partly bound library could still open the channel, on a port of the
    // system's choosing that no station knows, so it is not asked to.
    m_window.ShowMessageBeside(Gbk("Pallix.dll 加载错误或者没有该文件！"));
    JournalPipelineStarted(loaded, m_strIniPath, ListeningPortSetting{"", g_nNetPort, false}, 0);
  } else {
    GetPallix(&g_siteConfig);
    m_strIniPath = PortIniPath(SiteBaseDirectory());
    const ListeningPortSetting port = ReadListeningPort(m_ini, m_strIniPath);
    g_nNetPort = port.port;
    // Port 0 would listen on a port of the system's choosing, a number
    // outside 1..65535 is no port at all, and "12x" is no number: none
    // reaches a station, so the channel is not opened for them.
    const int opened = port.usable ? OpenNet(kNetChannel, 0, g_nNetPort, kStationSilenceMs) : 0;
    if (opened <= 0) {
      // A monitor that silently receives nothing is a failure nobody sees:
      // say which port could not be opened, as the file names it, then run
      // on.
      m_window.ShowMessageBeside(Gbk("网络端口") + PortAsNamed(port) +
                                 Gbk("打开失败,无法接收检测结果!"));
    }
    JournalPipelineStarted(loaded, m_strIniPath, port, opened);
  }
  StartArchive();
}

void MonitorPipeline::StartArchive() {
  if (m_archive == nullptr) return;
  const ArchiveLimits limits = ReadArchiveSettings(m_ini, m_strIniPath);
  archive::WriterOptions options;
  options.path = m_archivePath;
  options.retentionDays = limits.retentionDays;
  options.maxBytes = limits.maxBytes;
  options.version = BRENNA_VERSION;
  options.processId = journal_io::ProcessId();
  m_archive->Start(options);
}

void MonitorPipeline::Run() {
  // The waiting results and the publication hook before the network tasks;
  // the idle state the worker shows is the archive's first writes.
  m_presenter.Start();
  RunNetTask();
  m_presenter.IdleStateShown();
  // The hall looks at this screen all day: no screensaver while it runs.
  m_screenAwake = m_window.CreateScreenAwake();
  if (m_screenAwake) m_screenAwake->Hold();
}

void MonitorPipeline::RunNetTask() {
  try {
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    g_taskMgr.AddTask2Queue(IdleStateTask);
    g_taskMgr.AddTask2Queue(NetRecvTask);
    g_taskMgr.RunTask(1, 0);
  } catch (...) {
    m_window.ShowMessage(Gbk("[CBrennaCenterDlg] [RunNetTask()...Err]"));
  }
}

void MonitorPipeline::Stop() {
  // Nothing more is shown: what waits stays in the spool for the next start.
  m_presenter.End();
  JournalPipelineStopping();
  // Stop and empty the queue before the library goes, so no task calls
  // into a released library.
  g_taskMgr.StopTask();
  g_taskMgr.ClearTaskQueue();
  m_presenter.RemovePublicationHook();
  if (m_archive) m_archive->Stop("quit");
  m_window.ReleaseLibrary();
}

void MonitorPipeline::End() {
  // Nobody watches a window that has ended: let the screensaver run again.
  if (m_screenAwake) m_screenAwake->Release();
  m_presenter.End();
}
