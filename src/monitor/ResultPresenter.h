// ResultPresenter - the monitor's result loop, whatever window shows it: it
// takes the waiting results in publication order (SpoolScan), shows each
// through the decoder with its record buffer (and the archive's recorder),
// counts it in the title "数据监控(N)" and the journal's line, and gives it
// its half second alone on screen. The window supplies its displays, shows
// the title it is given, and lends a posted notice and a single-shot timer
// (ResultWindow); it forwards its events here: timer 1's tick (Scan), the
// notice (OnPublishedNotice), the pause's end (OnPauseOver), the end
// (End). Qt-free; everything but the publication hook runs on the window's
// thread.
#ifndef BRENNA_MONITOR_RESULTPRESENTER_H
#define BRENNA_MONITOR_RESULTPRESENTER_H

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "acquisition/SpoolAccess.h"
#include "monitor/DisplayBoard.h"
#include "monitor/ResultDecoder.h"
#include "monitor/SpoolScan.h"

class ArchiveRecorder;
namespace archive {
class IResultArchive;
}

// What the result loop needs of its window.
class ResultWindow {
 public:
  virtual ~ResultWindow() = default;
  // The value displays results are drawn on.
  virtual IDisplayBoard& Board() = 0;
  // Sets the window's title (GBK).
  virtual void ShowTitle(const std::string& gbkTitle) = 0;
  // Asks for OnPublishedNotice on the window's thread. Called on the
  // network worker with the spool lock held: posts and returns, never
  // waits (a queued call, a posted message).
  virtual void PostPublishedNotice() = 0;
  // A single-shot timer: OnPauseOver after `delay` on the window's thread.
  // Starting it again while it runs restarts it; StopPause stops it.
  virtual void StartPause(std::chrono::milliseconds delay) = 0;
  virtual void StopPause() = 0;
};

class ResultPresenter {
 public:
  // The record buffer the decoder fills: a whole record.
  static constexpr std::size_t kResultBufSize = static_cast<std::size_t>(kResultBufferSize);
  // How long each shown result stays alone on screen before the next.
  static constexpr std::chrono::milliseconds kResultPause{500};

  // `spoolAccess` gives the spool lock and the spool directory (what the
  // pipeline installs for receiving); both outlive the presenter.
  ResultPresenter(ResultWindow& window, const SpoolAccess& spoolAccess);
  // Removes the publication hook.
  ~ResultPresenter();
  ResultPresenter(const ResultPresenter&) = delete;
  ResultPresenter& operator=(const ResultPresenter&) = delete;

  // Notes what is shown for `archive` (null: no archive). Before Start.
  void AttachArchive(archive::IResultArchive* archive);

  // The window is up, before the network tasks start: results waiting from
  // before the start take their places, the chunk writer tells of each
  // publication from now on, and the first waiting result follows as soon
  // as the window's thread is free.
  void Start();
  // The network worker has been started: its idle state is on the
  // operator displays (the archive keeps it).
  void IdleStateShown();

  // Timer 1's tick: one look at the spool directory (the safety net for a
  // file put there other than through the chunk writer), then the next
  // result unless one is on screen. 1 after a complete look, 0 when an
  // error ended it.
  int Scan();
  // The notice the publication hook posted.
  void OnPublishedNotice();
  // The pause timer has fired.
  void OnPauseOver();
  // Shows the next waiting result in publication order, unless one is being
  // shown or the last one shown has not had its half second alone on screen
  // yet: then it follows when that is over.
  void ShowNextResult();

  // Reads the spool file at `path` (GBK) into the record buffer, takes it
  // out of the spool and shows it on the window's displays (through the
  // archive's recorder when there is one). A file that has gone changes
  // nothing.
  void ShowResultFile(const std::string& path);

  // Nothing more is shown (the quit is confirmed, or the window ends): what
  // waits stays in the spool for the next start.
  void End();
  // The chunk writer no longer tells of publications; before the window or
  // the library goes. Never call it holding the spool lock.
  void RemovePublicationHook();

  // Files shown since start, as counted in the title.
  int ShownFiles() const { return m_nShownFiles; }

 private:
  // Shows the result at `path`, counts it in the title and journals it.
  void ShowOneResult(const std::string& path);
  // ShowResultFile, telling what it made of the file.
  ShownResult TakeAndShow(const std::string& path);
  void StartPause(std::chrono::milliseconds delay);

  ResultWindow& m_window;
  std::mutex& m_spoolLock;
  const SpoolAccess& m_spoolAccess;
  std::array<unsigned char, kResultBufSize> m_resultBuf{};
  int m_nShownFiles = 0;
  // Notes the displays' writes on their way; null without an archive.
  std::unique_ptr<ArchiveRecorder> m_archiveRecorder;

  // The waiting results in publication order, shown one at a time.
  SpoolScan m_scan;
  // From the moment the last result shown was drawn; the pause timer runs
  // until it has had its half second.
  std::chrono::steady_clock::time_point m_shownAt{};
  bool m_bPausing = false;
  // A publication notice is on its way to the window (one is enough).
  std::atomic<bool> m_bNoticePosted{false};
  bool m_bHookInstalled = false;
  bool m_bShowing = false;
  bool m_bEnding = false;
};

#endif  // BRENNA_MONITOR_RESULTPRESENTER_H
