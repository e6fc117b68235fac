// WinJournal - the journal's side in the Windows window: while it exists,
// the core's lines (journal/Journal.h) and libPallix's reports are written
// as journal lines to monitor.log in the journal's folder (rotated by size)
// and to standard error: the console the monitor was started from, or
// wherever standard error was sent. Info and above are written. Every 5 s
// folded floods are summarised, every hour the counts are written, and
// after 10 minutes without a line a line says the monitor still runs (the
// window's thread runs the timers). One per process, on the window's thread.
#ifndef BRENNA_WINAPP_WINJOURNAL_H
#define BRENNA_WINAPP_WINJOURNAL_H

#include <windows.h>

#include <string>

class WinJournal {
 public:
  // Starts the journal in `directory` (made if missing) and writes the
  // start lines.
  explicit WinJournal(const std::string& directory);
  // Writes the stop lines (unless WriteStop did), disconnects the library's
  // reports and writes out what is queued.
  ~WinJournal();
  WinJournal(const WinJournal&) = delete;
  WinJournal& operator=(const WinJournal&) = delete;

  // Full path of the journal file; empty when it could not be opened.
  std::string FilePath() const;
  // The end of the run, once: "BrennaCenter stopped[ <how>]" and all of it
  // written out before this returns.
  void WriteStop(const std::string& how);

 private:
  static void CALLBACK OnFlush(HWND, UINT, UINT_PTR, DWORD);
  static void CALLBACK OnSummary(HWND, UINT, UINT_PTR, DWORD);
  static void CALLBACK OnHeartbeat(HWND, UINT, UINT_PTR, DWORD);
  void KillTimers();

  UINT_PTR m_flushTimer = 0;
  UINT_PTR m_summaryTimer = 0;
  UINT_PTR m_heartbeatTimer = 0;
  bool m_stopWritten = false;
};

// Gives the process a standard error when it has none: a program for the
// Windows desktop started from a console writes its journal lines there.
void AttachParentConsole();

#endif  // BRENNA_WINAPP_WINJOURNAL_H
