// MonitorPipeline - the start and stop of the monitor's data pipeline,
// whatever window runs it: the library, the site configuration, the port
// from BrennaCenter.ini, the network channel with its rules, the archive's
// writer with its limits, the network tasks on the task queue, the journal's
// lines of it all; and, when the quit is confirmed, the stop in its order.
// The window tells the operator through PipelineWindow and forwards its
// start (Open, Run), its quit (Stop) and its end (End). Qt-free, on the
// window's thread.
#ifndef BRENNA_MONITOR_MONITORPIPELINE_H
#define BRENNA_MONITOR_MONITORPIPELINE_H

#include <memory>
#include <string>

#include "monitor/DisplayBoard.h"
#include "monitor/ScreenAwake.h"
#include "util/IniFile.h"

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
};

class MonitorPipeline {
 public:
  // Both outlive the pipeline; `presenter` is the window's result loop.
  MonitorPipeline(PipelineWindow& window, ResultPresenter& presenter);
  MonitorPipeline(const MonitorPipeline&) = delete;
  MonitorPipeline& operator=(const MonitorPipeline&) = delete;

  // Keeps what the window shows in the archive at `path`, written by
  // `writer` (the caller's; it outlives the pipeline). Before Open: the
  // writer starts with the limits of the settings file and stops at Stop.
  void AttachArchive(archive::IArchiveWriter* writer, const std::string& path);

  // The window's displays exist and are bound (`board`): the network tasks
  // and the decoder find them from here on (g_pMainDlg, the data path).
  // Then the library, the site configuration, the port, the network channel
  // and the archive's writer; what fails is told beside the window.
  void Open(IDisplayBoard& board);
  // The results waiting, the publication hook and the network tasks; the
  // screen is kept on from here on. The window starts its scan timer next.
  void Run();
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

  // The settings file BrennaCenter.ini; empty until Open has read the site.
  const std::string& IniPath() const { return m_strIniPath; }

 private:
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
