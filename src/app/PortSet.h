// CPortSet - the port-setting dialog: shows the listening port stored in
// BrennaCenter.ini and stores a new one. The running monitor keeps its open
// port; the new one takes effect at the next start.
#ifndef BRENNA_APP_PORTSET_H
#define BRENNA_APP_PORTSET_H

#include <QDialog>
#include <QLineEdit>
#include <map>
#include <string>

#include "app/DialogBuilder.h"
#include "util/IniFile.h"

class CPortSet : public QDialog {
  Q_OBJECT

 public:
  // Without a parent the dialog is modal to the whole program and touches
  // no other window.
  explicit CPortSet(QWidget* pParent = nullptr);
  ~CPortSet() override;
  CPortSet(const CPortSet&) = delete;
  CPortSet& operator=(const CPortSet&) = delete;

  // Runs the dialog until it closes: dlgid::kOk once a new port is stored,
  // dlgid::kCancel when nothing was written.
  int DoModal();

 protected:
  virtual bool OnInitDialog();
  // OK or Enter: checks the entry, stores it and closes, or says what is
  // wrong and stays open.
  virtual void OnOK();
  // Cancel, Esc or the window manager's close: closes, writes nothing.
  virtual void OnCancel();
  void DoDataExchange();

  // Qt's side of the same commands.
  void accept() override;
  void reject() override;

 private:
  void DDX_Control(int nID, QWidget& control);
  // The template's controls, the members bound to theirs.
  void CreateControls();
  void SetInitialFocus();

  QLineEdit m_editNew;
  QLineEdit m_editOld;
  CIniFile m_ini;
  std::string m_strIniPath;

  DlgBindings m_bindings;
  std::map<int, QWidget*> m_controls;
  bool m_bControlsCreated = false;
};

#endif  // BRENNA_APP_PORTSET_H
