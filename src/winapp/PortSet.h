// CPortSet - the port-setting dialog (template 129): shows the listening
// port stored in BrennaCenter.ini and stores a new one. The running monitor
// keeps its open port; the new one takes effect at the next start.
#ifndef BRENNA_WINAPP_PORTSET_H
#define BRENNA_WINAPP_PORTSET_H

#include <string>

#include "util/IniFile.h"
#include "winapp/Dialog.h"

class CPortSet : public CDialog {
 public:
  CPortSet();
  ~CPortSet() override;

 protected:
  BOOL OnInitDialog() override;
  // OK or Enter: checks the entry, stores it and closes, or says what is
  // wrong and stays open.
  void OnOK() override;
  // Cancel or Esc: closes, writes nothing.
  void OnCancel() override;
  void DoDataExchange();

 private:
  HWND m_editNew = nullptr;
  HWND m_editOld = nullptr;
  CIniFile m_ini;
  std::string m_strIniPath;
};

#endif  // BRENNA_WINAPP_PORTSET_H
