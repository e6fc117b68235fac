// CBrennaCenterDlg - the one window of the program: seven device groups
// of value displays, the verdict legend, and the two buttons. It keeps itself
// maximised, offers the about box, and owns the start and stop of the data
// pipeline. The worker tasks and the decoder reach its value displays
// through IDisplayBoard (g_pMainDlg).
#ifndef BRENNA_APP_BRENNACENTERDLG_H
#define BRENNA_APP_BRENNACENTERDLG_H

#include <QBrush>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/DialogBuilder.h"
#include "app/PanelStatic.h"
#include "panel/ValueDisplayIds.h"
#include "presentation/DisplayBoard.h"
#include "presentation/ResultDecoder.h"
#include "presentation/SpoolScan.h"
#include "presentation/ValueDisplay.h"
#include "util/IniFile.h"
#include "util/MoveControl.h"
#include "util/Rect.h"

class ArchiveRecorder;
class IScreenAwake;
class QMenu;
namespace archive {
class ArchiveWriter;
}
class QPalette;

class CBrennaCenterDlg : public QDialog, public IDisplayBoard, public SpoolScanHost {
  Q_OBJECT

 public:
  // The record buffer is the one the decoder fills: a whole record.
  static constexpr std::size_t kResultBufSize = static_cast<std::size_t>(kResultBufferSize);
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
  void RunNetTask();

  // Shows the result record in the spool file at path (GBK) on the value
  // displays; a file that has gone changes nothing.
  void ShowResultFile(const std::string& path) override;

  // Files shown since start, as counted in the title.
  int ShownFiles() const { return m_nShownFiles; }

  // Starts (or restarts) the window timer nIDEvent with period nElapse ms;
  // it arrives at OnTimer. Returns nIDEvent, or 0 when no timer could be
  // started.
  unsigned SetTimer(unsigned nIDEvent, unsigned nElapse);

 protected:
  virtual bool OnInitDialog();
  virtual void OnTimer(unsigned nIDEvent);
  // Looks for finished result files (the safety net for a file that
  // reached the spool other than through the chunk writer) and shows the
  // next one if none is on screen. 1 after a complete scan.
  virtual int ScanSpoolFiles();
  // Shows the next waiting result in publication order, unless the last
  // one shown has not had its half second alone on screen yet: then it
  // follows when that is over. The event loop runs meanwhile.
  void ShowNextResult();
  // SpoolScanHost: the title that counts the results.
  void SetTitle(const std::string& gbkTitle) override;
  std::string LastShownSummary() const override;
  void ResultCounted(int shownFiles) override;

  void DoDataExchange();
  void OnSysCommand(unsigned nID, long lParam);
  void OnSize(unsigned nType, int cx, int cy);
  // The legend's fixed colours: sets background and text colour of the
  // four verdict panels in `pDC` and returns the panel's brush; null (and
  // `pDC` untouched) for every other control.
  const QBrush* OnCtlColor(QPalette* pDC, QWidget* pWnd);
  // The legend's brushes, in the order of the verdict panels' table.
  std::array<QBrush*, 4> LegendBrushes();
  void OnBtnQuit();
  void OnBtnPortSet();
  // Lets go of the library once the task queue has stopped.
  virtual void ReleaseLibrary();
  // What keeps the screen on while the window runs: the desktop's
  // screensaver service on the session bus.
  virtual std::unique_ptr<IScreenAwake> CreateScreenAwake();
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
  // The legend's brushes, the fonts, and the colours of every control.
  void SetLooks();
  void SetInitialFocus();
  void ShowWindowMaximized();
  void MoveWindow(const CRect& rc, bool bRepaint);
  CRect GetClientRect() const;
  // Library, site configuration, port and network channel.
  void StartPipeline();
  // The archive's writer, with the limits of the settings file.
  void StartArchive();
  // The chunk writer tells the window of each publication (posted from the
  // network worker, which never waits for the window); removed before the
  // window goes.
  void InstallPublicationHook();
  void RemovePublicationHook();
  // Invoked by name: the queued call then carries nothing of ours across
  // the threads.
  Q_INVOKABLE void OnResultPublished();
  void OnResultPauseOver();

  std::array<unsigned char, kResultBufSize> m_resultBuf{};
  int m_nShownFiles = 0;
  QPushButton m_btnPortSet;
  CPanelStatic m_stNotJudged;
  CPanelStatic m_stAdvisory;
  CPanelStatic m_stPassed;
  CPanelStatic m_stVeto;
  QPushButton m_btnQuit;
  // The value displays: m_val[i] is the one with control ID
  // kValueDisplayIds[i].
  std::array<CValueDisplay, kValueDisplayCount> m_val;
  CMoveControl m_move;
  QFont m_fontPanel;
  QFont m_fontButton;
  QBrush m_brRed;
  QBrush m_brBlue;
  QBrush m_brGreen;
  QBrush m_brBlack;
  CIniFile m_ini;
  std::string m_strIniPath;
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
  // Held from the end of the initialisation until the window ends.
  std::unique_ptr<IScreenAwake> m_screenAwake;
  // What the last ShowResultFile showed, for the journal's line.
  std::string m_lastShown;
  // The archive: its writer (not ours), where it writes, and what notes
  // the displays' writes on their way. Null without an archive.
  archive::ArchiveWriter* m_archive = nullptr;
  std::string m_archivePath;
  std::unique_ptr<ArchiveRecorder> m_archiveRecorder;

  // The waiting results in publication order, shown one at a time.
  SpoolScan m_scan;
  // The half second the last result shown stays alone on screen, from the
  // moment it was drawn.
  QTimer m_resultPause;
  std::chrono::steady_clock::time_point m_shownAt{};
  // A publication notice is on its way to the window (one is enough).
  std::atomic<bool> m_bNoticePosted{false};
  bool m_bHookInstalled = false;
  bool m_bShowing = false;
  // Quit confirmed or the window ended: nothing more is shown.
  bool m_bEnding = false;
};

#endif  // BRENNA_APP_BRENNACENTERDLG_H
