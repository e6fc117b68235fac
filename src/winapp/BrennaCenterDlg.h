// CBrennaCenterDlg - the one window of the program on Windows: dialog
// template 102 from the program's resources, its seven device groups of
// value displays, the verdict legend in its brushes, and the two buttons.
// It keeps itself maximised and offers the about box on its system menu.
// The result loop (ResultPresenter) and the start and stop of the data
// pipeline (MonitorPipeline) are the core's, shared with the Linux window;
// this window lends them its displays, its title, a posted message and two
// timers, and forwards its messages. The worker tasks and the decoder reach
// its value displays through IDisplayBoard (g_pMainDlg).
#ifndef BRENNA_WINAPP_BRENNACENTERDLG_H
#define BRENNA_WINAPP_BRENNACENTERDLG_H

#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "monitor/DisplayBoard.h"
#include "monitor/MonitorPipeline.h"
#include "monitor/ResultPresenter.h"
#include "panel/ValueDisplayIds.h"
#include "panel/VerdictLegend.h"
#include "winapp/Dialog.h"
#include "winapp/Gdi.h"
#include "winapp/MoveControl.h"
#include "winapp/ValueDisplay.h"

namespace archive {
class IArchiveWriter;
}

class CBrennaCenterDlg : public CDialog,
                         public IDisplayBoard,
                         public ResultWindow,
                         public PipelineWindow {
 public:
  static constexpr std::size_t kValueDisplayCount = std::size(kValueDisplayIds);
  // Posted to the window: a result was published (the network worker), or
  // the console the monitor runs from is being closed or interrupted (its
  // control handler; wParam: the CTRL_* event).
  static constexpr UINT kPublishedNotice = WM_APP + 1;
  static constexpr UINT kConsoleStop = WM_APP + 2;

  CBrennaCenterDlg();
  ~CBrennaCenterDlg() override;

  // Keep what the window shows in the archive at `path`, written by
  // `writer` (the caller's, which outlives the window). Before DoModal.
  void AttachArchive(archive::IArchiveWriter* writer, const std::string& path);
  // What ends the program when Windows ends the session (log-off, shutdown)
  // or the console it runs from goes: called on the window's thread with
  // "log-off", "shutdown", "Ctrl+C" ..., it stops reception, writes out the
  // journal and ends the process. What has not been shown stays in the
  // spool for the next start.
  void SetStopHandler(std::function<void(const std::string& how)> onStop);

  // Runs the window until the quit button ends it.
  INT_PTR DoModal();
  void EndDialog(int nResult);

  // IDisplayBoard: the value display with this control identifier, or null.
  IValueDisplay* ValueDisplay(int controlId) override;

  // (Re)starts the network tasks on the task queue.
  void RunNetTask() { m_pipeline.RunNetTask(); }
  // Shows the result record in the spool file at path (GBK).
  void ShowResultFile(const std::string& path) { m_presenter.ShowResultFile(path); }
  int ShownFiles() const { return m_presenter.ShownFiles(); }

 protected:
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR nIDEvent);
  // Looks for finished result files (the safety net) and shows the next
  // one if none is on screen. 1 after a complete scan.
  int ScanSpoolFiles();
  // ResultWindow.
  IDisplayBoard& Board() override { return *this; }
  void ShowTitle(const std::string& gbkTitle) override;
  void PostPublishedNotice() override;
  void StartPause(std::chrono::milliseconds delay) override;
  void StopPause() override;

  void DoDataExchange();
  // False when the base class's handling should follow.
  bool OnSysCommand(UINT nID, LPARAM lParam);
  bool OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnSize(UINT nType, int cx, int cy);
  // The legend's fixed colours: sets background and text colour of the
  // verdict panels in `pDC` and returns the panel's brush; null for
  // every other control.
  HBRUSH OnCtlColor(HDC pDC, HWND pWnd, UINT nCtlColor);
  void OnBtnQuit();
  void OnBtnPortSet();
  // PipelineWindow.
  void ShowMessageBeside(const std::string& gbkText) override;
  void ShowMessage(const std::string& gbkText) override;
  std::unique_ptr<IScreenAwake> CreateScreenAwake() override;
  // Closes the network channel, then lets go of the library.
  void ReleaseLibrary() override;
  // PipelineWindow: the window's steps of its start.
  void InitLayout() override;
  void ShowWindowMaximized() override;
  CRect GetClientRect() const override;
  // Under wine the maximised rectangle is kept as a normal window's too.
  void MoveWindow(const CRect& rc, bool bRepaint) override;
  // The legend's brushes, the fonts of the legend and the buttons.
  void SetLooks() override;
  unsigned SetTimer(unsigned nIDEvent, unsigned nElapse) override;
  // Enter without a focused button, Esc, the close box and Alt+F4 do
  // nothing: only the quit button ends the window.
  void OnOK() override {}
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void AddAboutEntry();
  // Under wine: the maximised rectangle g_rcMainWnd as a normal window's.
  void KeepRectangleUnderWindowManager();
  void Stop(const std::string& how);
  // Ctrl+C, Ctrl+Break and the closing of the console the monitor was
  // started from stop it as SIGINT and a closed terminal do on Linux
  // (on the console's own thread: the stop is posted to the window).
  static BOOL WINAPI OnConsoleControl(DWORD event);
  static std::atomic<HWND> s_consoleWindow;

  HWND m_btnPortSet = nullptr;
  // The legend's panels, one per verdict, in the verdict table's order.
  std::array<HWND, kVerdictCount> m_stVerdict{};
  HWND m_btnQuit = nullptr;
  // m_val[i] is the display with control ID kValueDisplayIds[i].
  std::array<CValueDisplay, kValueDisplayCount> m_val;
  CMoveControl m_move;
  CFont m_fontPanel;
  CFont m_fontButton;
  // The legend's brushes: m_brVerdict[i] fills m_stVerdict[i] in its
  // verdict's colour.
  std::array<CBrush, kVerdictCount> m_brVerdict;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;

  std::function<void(const std::string&)> m_onStop;
  bool m_bPauseRunning = false;
  // The result loop, and the start and stop of the pipeline around it.
  ResultPresenter m_presenter;
  MonitorPipeline m_pipeline;
};

#endif  // BRENNA_WINAPP_BRENNACENTERDLG_H
