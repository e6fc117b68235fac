// CAboutDlg - the about box (template 100): the program's icon, its name
// and version, and OK.
#ifndef BRENNA_WINAPP_ABOUTDLG_H
#define BRENNA_WINAPP_ABOUTDLG_H

#include "winapp/Dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;
};

#endif  // BRENNA_WINAPP_ABOUTDLG_H
