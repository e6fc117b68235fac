#include "winapp/WinJournal.h"

#include <chrono>

#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "journal/PallixReports.h"
#include "journal/RunLines.h"

#ifndef BRENNA_VERSION
#define BRENNA_VERSION "unknown"
#endif

namespace {

constexpr UINT kFlushPeriodMs = 5000;
constexpr UINT kSummaryPeriodMs = 3600 * 1000;
// The longest the journal stays silent while the monitor runs; looked at
// ten times a period, so silence never lasts much longer.
constexpr std::chrono::milliseconds kHeartbeatPeriod{600 * 1000};

// Whether the process has a standard error to write to: one started from a
// shortcut, the Start menu or the log-on start has none (no console, no
// redirection), which is no standard error that has stopped taking lines.
bool HasStandardError() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  return error != nullptr && error != INVALID_HANDLE_VALUE &&
         GetFileType(error) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void AttachParentConsole() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE) return;  // sent somewhere already
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;              // started from no console
  HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console != INVALID_HANDLE_VALUE) SetStdHandle(STD_ERROR_HANDLE, console);
}

WinJournal::WinJournal(const std::string& directory) {
  journal::JournalWriter::Options writer;
  writer.directory = directory;
  writer.toStderr = HasStandardError();
  journal::ProcessJournalWriter().Start(writer);
  journal::Reset();
  journal::SetRouter(&journal::RouteToWriter);
  for (int c = 0; c < journal::kCategoryCount; ++c)
    journal::SetThreshold(static_cast<journal::Category>(c), journal::Level::kInfo);
  journal::ConnectPallixReports();
  journal::WriteStartLines(BRENNA_VERSION);
  m_flushTimer = SetTimer(nullptr, 0, kFlushPeriodMs, &WinJournal::OnFlush);
  m_summaryTimer = SetTimer(nullptr, 0, kSummaryPeriodMs, &WinJournal::OnSummary);
  m_heartbeatTimer = SetTimer(nullptr, 0, static_cast<UINT>(kHeartbeatPeriod.count() / 10),
                              &WinJournal::OnHeartbeat);
}

WinJournal::~WinJournal() {
  WriteStop(std::string());
  journal::DisconnectPallixReports();
  journal::SetRouter(nullptr);
  for (int c = 0; c < journal::kCategoryCount; ++c)
    journal::SetThreshold(static_cast<journal::Category>(c), journal::Level::kWarning);
  journal::ProcessJournalWriter().Stop();
}

std::string WinJournal::FilePath() const { return journal::ProcessJournalWriter().FilePath(); }

void WinJournal::KillTimers() {
  for (UINT_PTR* timer : {&m_flushTimer, &m_summaryTimer, &m_heartbeatTimer}) {
    if (*timer != 0) KillTimer(nullptr, *timer);
    *timer = 0;
  }
}

void WinJournal::WriteStop(const std::string& how) {
  if (m_stopWritten) return;
  m_stopWritten = true;
  KillTimers();
  journal::WriteProcessEnding(how.c_str());
}

void CALLBACK WinJournal::OnFlush(HWND, UINT, UINT_PTR, DWORD) { journal::Flush(); }

void CALLBACK WinJournal::OnSummary(HWND, UINT, UINT_PTR, DWORD) { journal::WriteSummary(); }

void CALLBACK WinJournal::OnHeartbeat(HWND, UINT, UINT_PTR, DWORD) {
  journal::WriteHeartbeatWhenSilent(kHeartbeatPeriod);
}
