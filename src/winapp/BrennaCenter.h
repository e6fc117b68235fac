// CBrennaCenterApp - the application object of the Windows program. It
// exists to run the monitoring window as a modal dialog and to end the
// process when that dialog closes: no document, no frame window, no message
// loop of its own.
#ifndef BRENNA_WINAPP_BRENNACENTER_H
#define BRENNA_WINAPP_BRENNACENTER_H

#include <windows.h>

#include <functional>
#include <string>

class CBrennaCenterDlg;
namespace archive {
class IArchiveWriter;
}

class CBrennaCenterApp {
 public:
  CBrennaCenterApp();
  ~CBrennaCenterApp();
  CBrennaCenterApp(const CBrennaCenterApp&) = delete;
  CBrennaCenterApp& operator=(const CBrennaCenterApp&) = delete;

  // The whole program: one monitor per site, the journal, the archive
  // when the build has one, InitInstance; returns the process exit code.
  // The command line is not read.
  int Run();

  // Runs the main dialog modally; returns FALSE once it has closed, so no
  // message loop of the application's own follows.
  BOOL InitInstance();
  // The exit code: 0, or 1 when the window could not be made.
  int ExitInstance();

  // The dialog while InitInstance runs it; null otherwise.
  CBrennaCenterDlg* m_pMainWnd = nullptr;
  // The archive's writer while Run runs; null otherwise (and in a build
  // without an archive).
  archive::IArchiveWriter* m_pArchive = nullptr;

 private:
  int m_nExitCode = 0;
  // What ends the run when Windows ends the session (the window calls it).
  std::function<void(const std::string& how)> m_onStop;
};

// The one application object, constructed before and destroyed after every
// other program-wide object.
extern CBrennaCenterApp theApp;

#endif  // BRENNA_WINAPP_BRENNACENTER_H
