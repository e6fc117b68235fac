// MonitorPipeline - the start and stop of the monitor's data pipeline,
// whatever window runs it: the library, the site configuration, the port
// from BrennaCenter.ini, the network channel with its rules, the archive's
// writer with its limits, the network tasks on the task queue, the journal's
// lines of it all; and, when the quit is confirmed, the stop in its order.
// It also holds the window's start in its one order (Start), the window
// lending the steps that are its own. The window tells the operator through
// PipelineWindow and forwards its start (Start), its quit (Stop) and its end
// (End). Qt-free, on the window's thread.
#ifndef BRENNA_MONITOR_MONITORPIPELINE_H
#define BRENNA_MONITOR_MONITORPIPELINE_H

#include <memory>
#include <string>

#include "monitor/DisplayBoard.h"
#include "monitor/ScreenAwake.h"
#include "util/IniFile.h"
#include "util/Rect.h"

class ResultPresenter;
namespace archive {
class IArchiveWriter;
}

// What the pipeline needs of its window.
class PipelineWindow {
 public:
  virtual ~PipelineWindow() = default;
  // An OK box with `gbkText` beside the window: returns at once, and the
  // start goes on while it stands (an unattended station must come up
  // complete before anyone reads it).
  virtual void ShowMessageBeside(const std::string& gbkText) = 0;
  // An OK box that waits for its answer; captioned with the program's name.
  virtual void ShowMessage(const std::string& gbkText) = 0;
  // Lets go of the library once the task queue has stopped: UnloadPallix.
  virtual void ReleaseLibrary();
  // What keeps the screen on while the window runs; null for nothing.
  virtual std::unique_ptr<IScreenAwake> CreateScreenAwake() = 0;

  // The window's own steps of its start (MonitorPipeline::Start takes them
  // in their order). Records the rectangles of its controls and its client
  // rectangle while it still has its template size.
  virtual void InitLayout() = 0;
  // Maximises the window; returns once the window system has (or has
  // answered that it will not).
  virtual void ShowWindowMaximized() = 0;
  // The client rectangle now (left and top 0).
  virtual CRect GetClientRect() const = 0;
  // Moves the whole window, frame included, to `rc`.
  virtual void MoveWindow(const CRect& rc, bool bRepaint) = 0;
  // Makes the legend's brushes and the fonts and gives them to the legend's
  // panels and the buttons.
  virtual void SetLooks() = 0;
  // Starts (or restarts) window timer nIDEvent, every nElapse ms; it
  // arrives at the window's OnTimer. nIDEvent, or 0 when none could start.
  virtual unsigned SetTimer(unsigned nIDEvent, unsigned nElapse) = 0;
};

class MonitorPipeline {
 public:
  // Timer 1 scans the spool directory once a second (the safety net for a
  // result the chunk writer did not tell of).
  static constexpr unsigned kScanTimer = 1;
  static constexpr unsigned kScanPeriodMs = 1000;
  // The maximised window gives up this many pixels at its bottom.
  static constexpr int kBottomMargin = 5;

  // Both outlive the pipeline; `presenter` is the window's result loop.
  MonitorPipeline(PipelineWindow& window, ResultPresenter& presenter);
  MonitorPipeline(const MonitorPipeline&) = delete;
  MonitorPipeline& operator=(const MonitorPipeline&) = delete;

  // Keeps what the window shows in the archive at `path`, written by
  // `writer` (the caller's; it outlives the pipeline). Before Start: the
  // writer starts with the limits of the settings file and stops at Stop.
  void AttachArchive(archive::IArchiveWriter* writer, const std::string& path);

  // The window's start, once its controls exist and are bound (`board`, its
  // value displays), in this order: the layout recorded; the window
  // maximised, then moved to its client rectangle less kBottomMargin pixels
  // at the bottom (g_rcMainWnd, the rectangle a restore returns to); Open;
  // the looks; Run; timer 1.
  void Start(IDisplayBoard& board);
  // (Re)starts the network tasks on the task queue; an exception is told
  // in a message box, and the window runs on without them.
  void RunNetTask();
  // The quit is confirmed: nothing more is shown, the task queue is stopped
  // and emptied, the publication hook removed, the archive stopped and the
  // library released, in this order (no task calls into a released
  // library). The window ends next.
  void Stop();
  // The window ends: nothing more is shown, and the screensaver may run
  // again.
  void End();

  // The settings file BrennaCenter.ini; empty until Start has read the site.
  const std::string& IniPath() const { return m_strIniPath; }

 private:
  // The network tasks and the decoder find the displays from here on
  // (g_pMainDlg). Then the library, the site configuration, the port, the
  // network channel and the archive's writer; what fails is told beside
  // the window.
  void Open(IDisplayBoard& board);
  // The results waiting, the publication hook and the network tasks; the
  // screen is kept on from here on.
  void Run();
  // The archive's writer, with the limits of the settings file.
  void StartArchive();

  PipelineWindow& m_window;
  ResultPresenter& m_presenter;
  CIniFile m_ini;
  std::string m_strIniPath;
  // The archive: its writer (not ours) and where it writes. Null without one.
  archive::IArchiveWriter* m_archive = nullptr;
  std::string m_archivePath;
  // Held from Run until the window ends.
  std::unique_ptr<IScreenAwake> m_screenAwake;
};

#endif  // BRENNA_MONITOR_MONITORPIPELINE_H
