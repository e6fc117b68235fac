#include "app/PortSet.h"

#include <QPushButton>
#include <cstdio>

#include "Pallix.h"
#include "app/DialogBuilder.h"
#include "app/Globals.h"
#include "app/MessageBox.h"
#include "app/MonitorJournal.h"
#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "platform/Gbk.h"
#include "util/PortNumber.h"
#include "util/PortSetting.h"

namespace {

// Nothing longer can be a port; the field stops taking characters here.
constexpr int kMaxEntryLength = 99;

}  // namespace

CPortSet::CPortSet(QWidget* pParent) : QDialog(pParent) {
  ApplyDialogTemplate(this, PortSetDialogTemplate());
  setFixedSize(size());  // a modal frame has no sizing border
  m_editNew.setMaxLength(kMaxEntryLength);
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
  const std::string entry = Gbk(m_editNew.text().toStdString());
  // Anything that is not a port to listen on would leave the monitor deaf
  // at the next start, so it is refused like a mistyped number.
  if (!CheckNumber(entry) || !IsUsablePort(PortEntryValue(entry))) {
    qCWarning(lcSettings,
              "port entry \"%s\" refused: not a whole number from 1 to 65535; nothing written",
              m_editNew.text().toUtf8().constData());
    ShowMessageBox(Gbk("新端口设置不正确!"));
    m_editNew.setText(QString());
    return;
  }
  if (!StorePort(PortEntryValue(entry))) {
    // The entry was fine; the file is the problem. Keep it for another try.
    qCWarning(lcSettings, "port %d not saved: %s; the monitor keeps listening on port %d",
              PortEntryValue(entry),
              m_strIniPath.empty() ? "no settings file is known (the library was not loaded)"
                                   : ("the settings file " + GbkToUtf8(m_strIniPath) +
                                      " could not be written (the line before says why)")
                                         .c_str(),
              g_nNetPort);
    ShowMessageBox(Gbk("新端口保存失败,无法写入配置文件!"));
    return;
  }
  qCInfo(lcSettings, "port %d saved to %s: it takes effect at the next start (listening on %d now)",
         PortEntryValue(entry), GbkToUtf8(m_strIniPath).c_str(), g_nNetPort);
  ShowMessageBox(Gbk("新端口设置成功,重启程序生效!"));
  QDialog::done(dlgid::kOk);
}

void CPortSet::OnCancel() { QDialog::done(dlgid::kCancel); }

void CPortSet::accept() { OnOK(); }

void CPortSet::reject() { OnCancel(); }

bool CPortSet::StorePort(int port) {
  if (m_strIniPath.empty()) return false;
  // A file that cannot be read or is read-only is refused, not replaced.
  if (!WritePortSetting(m_ini, m_strIniPath, port)) return false;
  // What the next start will read is what counts. 0 is never a usable port,
  // so it cannot be mistaken for success.
  const int readBack = ReadPortSetting(m_ini, m_strIniPath, 0);
  if (readBack != port) {
    qCWarning(lcSettings, "port %d was written to %s but it reads back as %d", port,
              GbkToUtf8(m_strIniPath).c_str(), readBack);
  }
  return readBack == port;
}
