// CBrennaCenterDlg - the one window of the program on Linux: seven device
// groups of value displays, the verdict legend, and the two buttons. It
// keeps itself maximised and offers the about box. The result loop
// (ResultPresenter) and the start and stop of the data pipeline
// (MonitorPipeline) are the core's; the window lends them its displays,
// its title, a queued call and a timer, and forwards its events. The worker
// tasks and the decoder reach its value displays through IDisplayBoard
// (g_pMainDlg).
#ifndef BRENNA_APP_BRENNACENTERDLG_H
#define BRENNA_APP_BRENNACENTERDLG_H

#include <QBrush>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "app/DialogBuilder.h"
#include "app/MoveControl.h"
#include "app/PanelStatic.h"
#include "app/ValueDisplay.h"
#include "monitor/DisplayBoard.h"
#include "monitor/MonitorPipeline.h"
#include "monitor/ResultPresenter.h"
#include "panel/ValueDisplayIds.h"
#include "panel/VerdictLegend.h"
#include "util/Rect.h"

class QMenu;
namespace archive {
class ArchiveWriter;
}
class QPalette;

class CBrennaCenterDlg : public QDialog,
                         public IDisplayBoard,
                         public ResultWindow,
                         public PipelineWindow {
  Q_OBJECT

 public:
  static constexpr std::size_t kValueDisplayCount = std::size(kValueDisplayIds);

  explicit CBrennaCenterDlg(QWidget* pParent = nullptr);
  ~CBrennaCenterDlg() override;
  CBrennaCenterDlg(const CBrennaCenterDlg&) = delete;
  CBrennaCenterDlg& operator=(const CBrennaCenterDlg&) = delete;

  // Keep what the window shows in the archive at `path`, written by
  // `writer` (which the caller owns and which outlives the window). Set
  // before DoModal; the window starts the writer with the limits of its
  // settings file and stops it when it quits.
  void AttachArchive(archive::ArchiveWriter* writer, const std::string& path);

  // Creates the controls, initialises, and runs the window until the quit
  // button ends it; returns the result EndDialog was given.
  int DoModal();
  void EndDialog(int nResult);

  // IDisplayBoard: the value display with this control identifier, or null.
  IValueDisplay* ValueDisplay(int controlId) override;

  // The control with this identifier once the controls exist, else null.
  QWidget* GetDlgItem(int nID) const;

  // (Re)starts the network tasks on the task queue.
  void RunNetTask() { m_pipeline.RunNetTask(); }

  // Shows the result record in the spool file at path (GBK) on the value
  // displays; a file that has gone changes nothing.
  void ShowResultFile(const std::string& path) { m_presenter.ShowResultFile(path); }

  // Files shown since start, as counted in the title.
  int ShownFiles() const { return m_presenter.ShownFiles(); }

  // Starts (or restarts) the window timer nIDEvent with period nElapse ms;
  // it arrives at OnTimer. Returns nIDEvent, or 0 when no timer could be
  // started.
  unsigned SetTimer(unsigned nIDEvent, unsigned nElapse) override;

 protected:
  virtual bool OnInitDialog();
  virtual void OnTimer(unsigned nIDEvent);
  // Looks for finished result files (the safety net for a file that
  // reached the spool other than through the chunk writer) and shows the
  // next one if none is on screen. 1 after a complete scan.
  virtual int ScanSpoolFiles();
  // ResultWindow: the displays, the title, the notice and the pause.
  IDisplayBoard& Board() override { return *this; }
  void ShowTitle(const std::string& gbkTitle) override;
  void PostPublishedNotice() override;
  void StartPause(std::chrono::milliseconds delay) override;
  void StopPause() override;

  void DoDataExchange();
  void OnSysCommand(unsigned nID, long lParam);
  void OnSize(unsigned nType, int cx, int cy);
  // The legend's fixed colours: sets background and text colour of the
  // verdict panels in `pDC` and returns the panel's brush; null (and
  // `pDC` untouched) for every other control.
  const QBrush* OnCtlColor(QPalette* pDC, QWidget* pWnd);
  void OnBtnQuit();
  void OnBtnPortSet();
  // PipelineWindow: message boxes beside the window and over it; what
  // keeps the screen on while the window runs: the desktop's screensaver
  // service on the session bus.
  void ShowMessageBeside(const std::string& gbkText) override;
  void ShowMessage(const std::string& gbkText) override;
  std::unique_ptr<IScreenAwake> CreateScreenAwake() override;
  // PipelineWindow: the window's steps of its start.
  void InitLayout() override;
  void ShowWindowMaximized() override;
  CRect GetClientRect() const override;
  void MoveWindow(const CRect& rc, bool bRepaint) override;
  // The legend's brushes, the fonts, and the colours of every control.
  void SetLooks() override;
  void OnOK();
  void OnCancel();

  // Qt's side of the same events.
  void accept() override;
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void DDX_Control(int nID, QWidget& control);
  void CreateControls();
  // The about entry of the window's own menu.
  void AddAboutEntry();
  void SetInitialFocus();
  // The publication notice, invoked by name: the queued call then carries
  // nothing of ours across the threads.
  Q_INVOKABLE void OnResultPublished();

  QPushButton m_btnPortSet;
  // The legend's panels, one per verdict, in the verdict table's order.
  std::array<CPanelStatic, kVerdictCount> m_stVerdict;
  QPushButton m_btnQuit;
  // The value displays: m_val[i] is the one with control ID
  // kValueDisplayIds[i].
  std::array<CValueDisplay, kValueDisplayCount> m_val;
  CMoveControl m_move;
  QFont m_fontPanel;
  QFont m_fontButton;
  // The legend's brushes: m_brVerdict[i] fills m_stVerdict[i] in its
  // verdict's colour (red veto, blue passed, green advisory, black not
  // judged).
  std::array<QBrush, kVerdictCount> m_brVerdict;
  QIcon m_hIcon;

  // The window menu with the about entry (a context menu on this platform).
  std::unique_ptr<QMenu> m_pSysMenu;
  // Controls bound to members, in binding order, then every identified
  // control once created.
  DlgBindings m_bindings;
  std::map<int, QWidget*> m_controls;
  // Qt timer id -> our timer identifier.
  std::map<int, unsigned> m_timers;
  bool m_bControlsCreated = false;
  bool m_bInitialised = false;
  bool m_bRestoreQueued = false;
  bool m_bRestoring = false;

  // The pause timer the result loop starts: each result's half second.
  QTimer m_resultPause;
  // The result loop, and the start and stop of the pipeline around it.
  ResultPresenter m_presenter;
  MonitorPipeline m_pipeline;
};

#endif  // BRENNA_APP_BRENNACENTERDLG_H
