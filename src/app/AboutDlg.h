// CAboutDlg - the about box: icon, name and version, one line on what the
// program is, and OK.
#ifndef BRENNA_APP_ABOUTDLG_H
#define BRENNA_APP_ABOUTDLG_H

#include <QDialog>

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // No parent window: the box is modal to the whole program.
  CAboutDlg();
  ~CAboutDlg() override;
  CAboutDlg(const CAboutDlg&) = delete;
  CAboutDlg& operator=(const CAboutDlg&) = delete;

  // Shows the box until OK (or Esc, or the close box); the answer means
  // nothing to the caller.
  int DoModal();
};

#endif  // BRENNA_APP_ABOUTDLG_H
