// MonitorJournal - the journal's window side. While it exists:
//   - Qt's logging categories brenna.start, brenna.net, brenna.spool,
//     brenna.display, brenna.settings and brenna.journal carry the
//     journal's lines, so QT_LOGGING_RULES turns detail on and off
//     (default: info and above);
//   - a message handler writes every message, these and Qt's own, as one
//     journal line to standard error and to the file
//     <state dir>/brennacenter/monitor.log (rotated by size);
//   - the core's journal (journal/Journal.h) is routed into the categories;
//   - libPallix's reports reach the journal whenever the library is loaded;
//   - every 5 s folded floods are summarised, and every hour the counts
//     are written;
//   - after 10 minutes without a line, a line says the monitor still runs.
// The start and stop lines, that line, and the line saying the previous
// run ended without its stop line are written whatever the logging rules
// say: they are what tells a crew when the monitor was up.
// One per process, on the GUI thread, while Qt's application object
// exists: the application creates it in Run().
#ifndef BRENNA_APP_MONITORJOURNAL_H
#define BRENNA_APP_MONITORJOURNAL_H

#include <QLoggingCategory>
#include <QTimer>
#include <QtGlobal>
#include <chrono>
#include <string>

#include "journal/RotatingFile.h"

Q_DECLARE_LOGGING_CATEGORY(lcStart)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcSpool)
Q_DECLARE_LOGGING_CATEGORY(lcDisplay)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcJournal)

class MonitorJournal {
 public:
  struct Options {
    std::string directory;  // of monitor.log; empty: DefaultJournalDirectory()
    journal::RotatingFile::Limits limits;
    bool toStderr = true;
    std::chrono::milliseconds flushPeriod{5000};
    std::chrono::milliseconds summaryPeriod{3600 * 1000};
    // The longest the journal stays silent while the monitor runs.
    std::chrono::milliseconds heartbeatPeriod{600 * 1000};
  };

  MonitorJournal();
  explicit MonitorJournal(const Options& options);
  // Writes the counts since the last summary and a stop line, disconnects
  // the library's reports, restores the previous message handler and
  // writes out what is queued.
  ~MonitorJournal();
  MonitorJournal(const MonitorJournal&) = delete;
  MonitorJournal& operator=(const MonitorJournal&) = delete;

  // Full path of the journal file; empty when it could not be opened.
  std::string FilePath() const;
  // The end of the run, once: every folded flood summarised, the counts
  // since the last hourly line, "BrennaCenter stopped[ <how>]", and all of
  // it written out before this returns, so the process may end right after
  // (a stop by signal: "by SIGTERM"). The destructor calls it with no how.
  void WriteStop(const std::string& how);
  // Takes the categories' current settings (QT_LOGGING_RULES,
  // QLoggingCategory::setFilterRules) into the core's thresholds and the
  // library's level. The flush timer does it too.
  void RefreshThresholds();

 private:
  QTimer m_flushTimer;
  QTimer m_summaryTimer;
  QTimer m_heartbeatTimer;
  QtMessageHandler m_previousHandler = nullptr;
  bool m_libraryConnected = false;
  bool m_stopWritten = false;
};

// $XDG_STATE_HOME/brennacenter (default ~/.local/state/brennacenter);
// empty when no home directory is known.
std::string DefaultJournalDirectory();

// What the desktop buses did at start: whether a session bus was known and
// answered, and whether a silent accessibility bus was left out.
void JournalDesktopBuses(bool sessionKnown, bool sessionAnswered, bool accessibilityDropped);
// The process ends now without the window's own end (the library file
// cannot be loaded): the stop lines of WriteStop, written out.
void JournalProcessEnding(const char* how);

#endif  // BRENNA_APP_MONITORJOURNAL_H
