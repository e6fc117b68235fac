// CBrennaCenterApp - the application object. It exists to run the
// monitoring window as a modal dialog and to end the process when that
// dialog closes: no document, no frame window, no message loop of its own.
#ifndef BRENNA_APP_BRENNACENTER_H
#define BRENNA_APP_BRENNACENTER_H

class QWidget;
namespace archive {
class ArchiveWriter;
}

class CBrennaCenterApp {
 public:
  CBrennaCenterApp();
  ~CBrennaCenterApp();
  CBrennaCenterApp(const CBrennaCenterApp&) = delete;
  CBrennaCenterApp& operator=(const CBrennaCenterApp&) = delete;

  // The whole program: creates Qt's application object (unless one exists
  // already), prepares the fonts, runs InitInstance and returns the process
  // exit code. The command line is not read.
  int Run(int& argc, char** argv);

  // Runs the main dialog modally; returns false once it has closed, so no
  // message loop of the application's own follows.
  bool InitInstance();
  // The exit code: 0.
  int ExitInstance();

  // The dialog while InitInstance runs it; null otherwise.
  QWidget* m_pMainWnd = nullptr;
  // The archive's writer while Run runs; InitInstance hands it to the
  // window. Null otherwise (InitInstance alone keeps no archive).
  archive::ArchiveWriter* m_pArchive = nullptr;
};

// The one application object, constructed before and destroyed after every
// other program-wide object.
extern CBrennaCenterApp theApp;

#endif  // BRENNA_APP_BRENNACENTER_H
