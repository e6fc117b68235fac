#include "app/PortSet.h"

#include <QPushButton>
#include <cstdio>

#include "Pallix.h"
#include "app/DialogBuilder.h"
#include "app/MessageBox.h"
#include "monitor/Globals.h"
#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "platform/Gbk.h"
#include "util/PortEntry.h"
#include "util/PortSetting.h"

CPortSet::CPortSet(QWidget* pParent) : QDialog(pParent) {
  ApplyDialogTemplate(this, PortSetDialogTemplate());
  setFixedSize(size());  // a modal frame has no sizing border
  m_editNew.setMaxLength(kMaxPortEntryLength);
}

CPortSet::~CPortSet() = default;

int CPortSet::DoModal() {
  if (OnInitDialog()) SetInitialFocus();
  return exec();
}

void CPortSet::DDX_Control(int nID, QWidget& control) { m_bindings.emplace_back(nID, &control); }

void CPortSet::DoDataExchange() {
  DDX_Control(IDC_EDIT_NEWPORT, m_editNew);
  DDX_Control(IDC_EDIT_OLDPORT, m_editOld);
}

void CPortSet::CreateControls() {
  if (m_bControlsCreated) return;
  m_bControlsCreated = true;
  DoDataExchange();
  m_controls = CreateDlgControls(this, PortSetDialogTemplate(), m_bindings);
  auto button = [this](int id) {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : qobject_cast<QPushButton*>(it->second);
  };
  if (QPushButton* ok = button(dlgid::kOk))
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
  if (QPushButton* cancel = button(dlgid::kCancel))
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void CPortSet::SetInitialFocus() { SetInitialDlgFocus(PortSetDialogTemplate(), m_controls); }

bool CPortSet::OnInitDialog() {
  CreateControls();
  // Empty when the site configuration holds no base directory (the library
  // never filled it, or the field is not a terminated text).
  m_strIniPath = PortIniPath(SiteBaseDirectory());
  const int port = ReadPortSetting(m_ini, m_strIniPath);
  char text[16];
  std::snprintf(text, sizeof text, "%d", port);
  m_editOld.setText(QString::fromLatin1(text));
  return true;
}

void CPortSet::OnOK() {
  const std::string typed = m_editNew.text().toStdString();
  const PortEntryResult result =
      SubmitPortEntry(m_ini, m_strIniPath, Gbk(typed), typed, g_nNetPort);
  ShowMessageBox(PortEntryMessage(result));
  if (result == PortEntryResult::kRefused) m_editNew.setText(QString());
  if (result == PortEntryResult::kSaved) QDialog::done(dlgid::kOk);
}

void CPortSet::OnCancel() { QDialog::done(dlgid::kCancel); }

void CPortSet::accept() { OnOK(); }

void CPortSet::reject() { OnCancel(); }
