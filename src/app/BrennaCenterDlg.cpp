#include "app/BrennaCenterDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMenu>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <iterator>

#include "app/AboutDlg.h"
#include "app/DialogBuilder.h"
#include "app/Fonts.h"
#include "app/MessageBox.h"
#include "app/PortSet.h"
#include "app/QtColor.h"
#include "archive/ArchiveWriter.h"
#include "monitor/Globals.h"
#include "monitor/ScreenAwake.h"
#include "panel/Resource.h"
#include "panel/Templates.h"
#include "panel/VerdictLegend.h"
#include "platform/Gbk.h"

namespace {

// How long to wait for the window system to carry out a maximise. Offscreen
// and under a window manager it answers within a few event rounds, but a
// desktop still starting (the monitor starts at login) or a busy machine
// can take over a second; without a window manager it never does, and the
// window goes on at its own size.
constexpr int kMaximizeWaitMs = 5000;

}  // namespace

CBrennaCenterDlg::CBrennaCenterDlg(QWidget* pParent)
    : QDialog(pParent), m_presenter(*this, MonitorSpoolAccess()), m_pipeline(*this, m_presenter) {
  ApplyDialogTemplate(this, MainDialogTemplate());
  // A modal frame has no sizing border: the window manager offers no
  // dragging of the edges. Only the program changes the size (maximise,
  // MoveWindow).
  setFixedSize(size());
  m_hIcon = LoadAppIcon();

  connect(&m_btnQuit, &QPushButton::clicked, this, [this] { OnBtnQuit(); });
  connect(&m_btnPortSet, &QPushButton::clicked, this, [this] { OnBtnPortSet(); });

  // Never early: a result stays at least its half second.
  m_resultPause.setSingleShot(true);
  m_resultPause.setTimerType(Qt::PreciseTimer);
  connect(&m_resultPause, &QTimer::timeout, this, [this] { m_presenter.OnPauseOver(); });
}

// Members go in reverse order of declaration; nothing is closed or unloaded
// here. The writer no longer reaches a window that goes.
CBrennaCenterDlg::~CBrennaCenterDlg() { m_presenter.RemovePublicationHook(); }

void CBrennaCenterDlg::AttachArchive(archive::ArchiveWriter* writer, const std::string& path) {
  m_pipeline.AttachArchive(writer, path);
}

int CBrennaCenterDlg::DoModal() {
  if (!m_bInitialised) {
    m_bInitialised = true;
    if (OnInitDialog()) SetInitialFocus();
  }
  return exec();
}

void CBrennaCenterDlg::EndDialog(int nResult) {
  // What has not been shown stays in the spool for the next start.
  m_pipeline.End();
  done(nResult);
}

IValueDisplay* CBrennaCenterDlg::ValueDisplay(int controlId) {
  const int index = ValueDisplayIndex(controlId);
  return index < 0 ? nullptr : &m_val[static_cast<std::size_t>(index)];
}

QWidget* CBrennaCenterDlg::GetDlgItem(int nID) const {
  const auto it = m_controls.find(nID);
  return it == m_controls.end() ? nullptr : it->second;
}

void CBrennaCenterDlg::DDX_Control(int nID, QWidget& control) {
  m_bindings.emplace_back(nID, &control);
}

void CBrennaCenterDlg::DoDataExchange() {
  DDX_Control(IDC_BTN_PORTSET, m_btnPortSet);
  // The legend's panels from the last to the first.
  for (std::size_t i = kVerdictCount; i-- > 0;)
    DDX_Control(kVerdictPanels[i].controlId, m_stVerdict[i]);
  DDX_Control(IDC_BTN_QUIT, m_btnQuit);
  for (std::size_t i = 0; i < kValueDisplayCount; ++i) DDX_Control(kValueDisplayIds[i], m_val[i]);
}

void CBrennaCenterDlg::CreateControls() {
  if (m_bControlsCreated) return;
  m_bControlsCreated = true;
  DoDataExchange();
  m_controls = CreateDlgControls(this, MainDialogTemplate(), m_bindings);
}

bool CBrennaCenterDlg::OnInitDialog() {
  // The controls, bound to their members.
  CreateControls();

  // The about entry. Window managers keep their title-bar menu to
  // themselves, so the window's own menu opens with a right click.
  AddAboutEntry();

  // Big and small icon; the window system also draws it for the
  // minimised window and while dragging, so there is no painting of our own
  // for those.
  setWindowIcon(m_hIcon);

  // The layout, the maximised window, the pipeline, the looks, timer 1.
  m_pipeline.Start(*this);
  return true;
}

void CBrennaCenterDlg::InitLayout() { m_move.InitLayout(this); }

void CBrennaCenterDlg::AddAboutEntry() {
  m_pSysMenu = std::make_unique<QMenu>();
  const std::string_view about = LoadResString(IDS_ABOUTBOX);
  if (about.empty()) return;
  m_pSysMenu->addSeparator();
  QAction* action =
      m_pSysMenu->addAction(QString::fromUtf8(about.data(), static_cast<int>(about.size())));
  action->setData(IDM_ABOUTBOX);
  connect(action, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
}

void CBrennaCenterDlg::SetLooks() {
  // Legend brushes, in the colours of the legend's table.
  for (std::size_t i = 0; i < kVerdictCount; ++i)
    m_brVerdict[i] = QBrush(ToQColor(kVerdictPanels[i].background));

  // Heavy Song fonts for the legend and the buttons.
  const QString song = QString::fromUtf8("宋体");
  m_fontPanel = CreateFontLike(100, 40, 900, song);
  m_fontButton = CreateFontLike(60, 30, 900, song);

  // Labels, group boxes and value displays keep their own looks.
  m_btnQuit.setFont(m_fontButton);
  for (CPanelStatic& panel : m_stVerdict) panel.setFont(m_fontPanel);
  m_btnPortSet.setFont(m_fontButton);
  // The colours of a control never change, so they are settled once here
  // rather than on every paint.
  for (const auto& [id, widget] : m_controls) {
    QPalette palette = widget->palette();
    if (OnCtlColor(&palette, widget) != nullptr) {
      widget->setPalette(palette);
      widget->setAutoFillBackground(true);
    }
  }
}

void CBrennaCenterDlg::SetInitialFocus() { SetInitialDlgFocus(MainDialogTemplate(), m_controls); }

void CBrennaCenterDlg::ShowWindowMaximized() {
  const QSize before = size();
  // A window manager does not maximise a window of fixed size; MoveWindow
  // fixes the size again afterwards.
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  showMaximized();
  // The window system maximises on its own time; wait (bounded) until it
  // has, so the client rectangle read next is the maximised one.
  auto maximised = [this, before] {
    const QScreen* s = screen();
    return (s != nullptr && frameGeometry().size() == s->availableGeometry().size()) ||
           size() != before;
  };
  if (maximised()) return;
  QEventLoop loop;
  QTimer poll;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (maximised()) loop.quit();
  });
  QTimer::singleShot(kMaximizeWaitMs, &loop, &QEventLoop::quit);
  poll.start(10);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CBrennaCenterDlg::MoveWindow(const CRect& rc, bool bRepaint) {
  // The rectangle is the whole window, frame included, as the window system
  // measures a top-level window.
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  const int extraW = frame.width() - client.width();
  const int extraH = frame.height() - client.height();
  move(rc.left, rc.top);
  // Fixed at that size, so no sizing frame lets the operator change it.
  setFixedSize(std::max(0, rc.Width() - extraW), std::max(0, rc.Height() - extraH));
  if (bRepaint) update();
}

CRect CBrennaCenterDlg::GetClientRect() const {
  CRect rc;
  rc.right = width();
  rc.bottom = height();
  return rc;
}

void CBrennaCenterDlg::OnSysCommand(unsigned nID, long /*lParam*/) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else if (nID == syscmd::kRestore) {
    // Never back to a restored size: maximised again, at the rectangle
    // taken at start, even if the screen has changed since. The wait for
    // the maximise runs events; a restore arriving meanwhile is this one.
    if (m_bRestoring) return;
    m_bRestoring = true;
    ShowWindowMaximized();
    MoveWindow(g_rcMainWnd, true);
    m_bRestoring = false;
  }
  // Every other window command is the window system's own business.
}

void CBrennaCenterDlg::OnSize(unsigned /*nType*/, int /*cx*/, int /*cy*/) {
  try {
    m_move.ResizeControls();
  } catch (...) {
    ShowMessageBox(Gbk("CBrennaCenterDlg::OnSize()   err"));
  }
}

const QBrush* CBrennaCenterDlg::OnCtlColor(QPalette* pDC, QWidget* pWnd) {
  const int i = LegendIndex(GetDlgCtrlID(pWnd));
  if (i < 0) return nullptr;
  const PanelColors& panel = kVerdictPanels[static_cast<std::size_t>(i)];
  const QBrush& brush = m_brVerdict[static_cast<std::size_t>(i)];
  pDC->setBrush(QPalette::Window, brush);
  pDC->setColor(QPalette::WindowText, ToQColor(panel.text));
  return &brush;
}

void CBrennaCenterDlg::OnBtnQuit() {
  if (ShowMessageBox(Gbk("是否退出数据监控?"), Gbk("提示信息"), mb::kYesNo | mb::kIconQuestion) ==
      dlgid::kNo) {
    return;
  }
  m_pipeline.Stop();
  EndDialog(0);
}

void CBrennaCenterDlg::OnBtnPortSet() {
  // The new port is only stored; the running window keeps its channel.
  CPortSet dlg;
  dlg.DoModal();
}

void CBrennaCenterDlg::ShowMessageBeside(const std::string& gbkText) {
  ShowMessageBoxBeside(this, gbkText);
}

void CBrennaCenterDlg::ShowMessage(const std::string& gbkText) { ShowMessageBox(gbkText); }

std::unique_ptr<IScreenAwake> CBrennaCenterDlg::CreateScreenAwake() {
  return CreateSessionScreenAwake();
}

void CBrennaCenterDlg::ShowTitle(const std::string& gbkTitle) {
  setWindowTitle(QString::fromStdString(GbkToUtf8(gbkTitle)));
}

unsigned CBrennaCenterDlg::SetTimer(unsigned nIDEvent, unsigned nElapse) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second == nIDEvent) {
      killTimer(it->first);
      m_timers.erase(it);
      break;
    }
  }
  const int qtId = startTimer(std::chrono::milliseconds(nElapse));
  if (qtId == 0) return 0;
  m_timers[qtId] = nIDEvent;
  return nIDEvent;
}

void CBrennaCenterDlg::timerEvent(QTimerEvent* event) {
  const auto it = m_timers.find(event->timerId());
  if (it == m_timers.end()) {
    QDialog::timerEvent(event);
    return;
  }
  OnTimer(it->second);
}

void CBrennaCenterDlg::OnTimer(unsigned nIDEvent) {
  if (nIDEvent == MonitorPipeline::kScanTimer) ScanSpoolFiles();
}

int CBrennaCenterDlg::ScanSpoolFiles() { return m_presenter.Scan(); }

void CBrennaCenterDlg::PostPublishedNotice() {
  QMetaObject::invokeMethod(this, "OnResultPublished", Qt::QueuedConnection);
}

void CBrennaCenterDlg::OnResultPublished() { m_presenter.OnPublishedNotice(); }

void CBrennaCenterDlg::StartPause(std::chrono::milliseconds delay) { m_resultPause.start(delay); }

void CBrennaCenterDlg::StopPause() { m_resultPause.stop(); }

// Enter without a focused button, Esc, the close box and Alt+F4 all do
// nothing: only the quit button ends the window.
void CBrennaCenterDlg::OnOK() {}
void CBrennaCenterDlg::OnCancel() {}
void CBrennaCenterDlg::accept() { OnOK(); }
void CBrennaCenterDlg::reject() { OnCancel(); }
void CBrennaCenterDlg::closeEvent(QCloseEvent* event) { event->ignore(); }

void CBrennaCenterDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The event's size can lag behind a maximise; the widget's own is current.
  const unsigned type = isMinimized() ? 1U : isMaximized() ? 2U : 0U;
  OnSize(type, width(), height());
}

void CBrennaCenterDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !m_bInitialised) return;
  const auto* change = static_cast<QWindowStateChangeEvent*>(event);
  if ((change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized)) {
    // Coming back from the taskbar is the restore command. Handled after
    // the state change has settled, not inside it; the window system may
    // report one restore several times, and one restore answers them all.
    if (m_bRestoreQueued) return;
    m_bRestoreQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_bRestoreQueued = false;
          OnSysCommand(syscmd::kRestore, 0);
        },
        Qt::QueuedConnection);
  }
}

void CBrennaCenterDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (m_pSysMenu) m_pSysMenu->popup(event->globalPos());
  event->accept();
}
