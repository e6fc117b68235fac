#include "app/AboutDlg.h"

#include <QPushButton>

#include "app/DialogBuilder.h"
#include "panel/Resource.h"
#include "panel/Templates.h"

CAboutDlg::CAboutDlg() : QDialog(nullptr) {
  const DlgTemplate& tpl = AboutDialogTemplate();
  ApplyDialogTemplate(this, tpl);
  setFixedSize(size());  // a modal frame has no sizing border
  setWindowIcon(LoadAppIcon());
  for (const DlgControl& ctl : tpl) {
    QWidget* widget = CreateDlgControl(this, ctl, nullptr);
    if (ctl.id == dlgid::kOk) {
      connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this,
              [this] { done(dlgid::kOk); });
      widget->setFocus();
    }
  }
}

CAboutDlg::~CAboutDlg() = default;

int CAboutDlg::DoModal() { return exec(); }
