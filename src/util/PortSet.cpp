#include "util/PortSet.h"

#include <QPushButton>
#include <cstdio>

#include "Pallix.h"
#include "app/DialogBuilder.h"
#include "app/Globals.h"
#include "app/MessageBox.h"
#include "app/MonitorJournal.h"
#include "app/Resource.h"
#include "platform/Gbk.h"
#include "util/PortNumber.h"
#include "util/PortSetTemplate.h"

namespace {

constexpr int kDefaultPort = 10004;
// Nothing longer can be a port; the field stops taking characters here.
constexpr int kMaxEntryLength = 99;

// The settings file in the site's base directory; empty when the site
// configuration holds no base directory (the library never filled it, or
// the field is not a terminated text), so nothing is ever written at the
// file system's root by accident.
// The settings file of the site; empty when the site names no base
// directory (writing "/BrennaCenter.ini" at the root would be wrong).
std::string PortIniPath() {
  const std::string base = SiteBaseDirectory();
  return base.empty() ? std::string() : base + "/BrennaCenter.ini";
}

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
  for (const DlgControl& ctl : PortSetDialogTemplate()) {
    QWidget* bound = nullptr;
    for (const auto& binding : m_bindings) {
      if (ctl.id != IDC_STATIC && binding.first == ctl.id) bound = binding.second;
    }
    QWidget* widget = CreateDlgControl(this, ctl, bound);
    if (ctl.id == IDC_STATIC) continue;
    m_controls.emplace_back(ctl.id, widget);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      if (ctl.id == dlgid::kOk) connect(button, &QPushButton::clicked, this, [this] { OnOK(); });
      if (ctl.id == dlgid::kCancel) {
        connect(button, &QPushButton::clicked, this, [this] { OnCancel(); });
      }
    }
  }
}

void CPortSet::SetInitialFocus() {
  // The first enabled tab stop in template order, as a dialog starts.
  for (const DlgControl& ctl : PortSetDialogTemplate()) {
    if ((ctl.style & dlgstyle::kTabStop) == 0) continue;
    for (const auto& control : m_controls) {
      QWidget* widget = control.second;
      if (control.first == ctl.id && widget->isEnabled() && !widget->isHidden()) {
        widget->setFocus(Qt::OtherFocusReason);
        return;
      }
    }
  }
}

bool CPortSet::OnInitDialog() {
  CreateControls();
  m_strIniPath = PortIniPath();
  const int port = m_ini.GetInt(Gbk("端口号"), "Port", kDefaultPort, m_strIniPath);
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
  const std::string section = Gbk("端口号");
  // A file that cannot be read or is read-only is refused, not replaced.
  if (!m_ini.WriteInt(section, "Port", port, m_strIniPath)) return false;
  // What the next start will read is what counts. 0 is never a usable port,
  // so it cannot be mistaken for success.
  const int readBack = m_ini.GetInt(section, "Port", 0, m_strIniPath);
  if (readBack != port) {
    qCWarning(lcSettings, "port %d was written to %s but it reads back as %d", port,
              GbkToUtf8(m_strIniPath).c_str(), readBack);
  }
  return readBack == port;
}
