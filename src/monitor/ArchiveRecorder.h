// ArchiveRecorder - what the window shows, put in words for the archive.
// It stands between the decoder and the window's displays as a display
// board of its own: every write passes through to the window unchanged and
// is noted on the way, so the archive keeps exactly what was drawn. Once a
// result is shown it adds what the record held (its items, its device and
// operator, the stations it came from); once the scan has counted it, the
// whole goes to the archive's queue. The idle state the worker shows at
// start is the run's first set of writes. Qt-free; on the GUI thread.
#ifndef BRENNA_MONITOR_ARCHIVERECORDER_H
#define BRENNA_MONITOR_ARCHIVERECORDER_H

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveRecords.h"
#include "monitor/DisplayBoard.h"
#include "monitor/ResultDecoder.h"

class ArchiveRecorder : public IDisplayBoard {
 public:
  // `spoolLock` is the lock the chunk writer publishes under: the stations
  // a result came from are taken from the spool's ledger under it.
  ArchiveRecorder(IDisplayBoard& window, archive::IResultArchive& archive, std::mutex& spoolLock);
  ArchiveRecorder(const ArchiveRecorder&) = delete;
  ArchiveRecorder& operator=(const ArchiveRecorder&) = delete;

  // The window's display, each SetText on it noted with the colours it
  // then has.
  IValueDisplay* ValueDisplay(int controlId) override;

  // The worker has been started: its idle state is on the operator displays.
  void IdleStateShown();
  // The decoder has shown the result file at `path` (GBK): `shown` is what
  // it made of it, the record's items with it. A file that was not read
  // showed nothing and is not kept.
  void ResultShown(const std::string& path, const ShownResult& shown);
  // The scan has counted the result shown last: the title shows
  // `titleCount`. It goes to the archive now.
  void ResultCounted(int titleCount);
  // A scan runs: the monitor is alive. A result still waiting for its count
  // goes to the archive without one.
  void Scanning();

 private:
  class NotingDisplay : public IValueDisplay {
   public:
    NotingDisplay(int id, IValueDisplay& display, ArchiveRecorder& owner)
        : m_id(id), m_display(display), m_owner(owner) {}
    void SetColors(COLORREF background, COLORREF text) override;
    void SetText(std::string text) override;
    // Colours the display was given past this board (by the worker).
    void Assume(COLORREF background, COLORREF text) {
      m_background = background;
      m_textColor = text;
    }

   private:
    int m_id;
    IValueDisplay& m_display;
    ArchiveRecorder& m_owner;
    COLORREF m_background = kColorWhite;  // as the window's display starts
    COLORREF m_textColor = kColorWhite;
  };

  NotingDisplay* Noting(int controlId);
  void Submit(int titleCount);

  IDisplayBoard& m_window;
  archive::IResultArchive& m_archive;
  std::mutex& m_spoolLock;
  std::map<int, NotingDisplay> m_displays;
  std::vector<archive::DisplayWrite> m_writes;  // since the last result
  std::optional<archive::ArchivedResult> m_pending;
};

#endif  // BRENNA_MONITOR_ARCHIVERECORDER_H
