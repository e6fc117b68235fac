#include "monitor/ResultPresenter.h"

#include "acquisition/PublicationHook.h"
#include "journal/Journal.h"
#include "monitor/ArchiveRecorder.h"
#include "panel/Templates.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

ResultPresenter::ResultPresenter(ResultWindow& window, const SpoolAccess& spoolAccess)
    : m_window(window),
      m_spoolLock(*spoolAccess.spoolLock),
      m_spoolAccess(spoolAccess),
      m_scan(m_spoolLock) {}

// The writer no longer reaches a presenter (or window) that goes.
ResultPresenter::~ResultPresenter() { RemovePublicationHook(); }

void ResultPresenter::AttachArchive(archive::IResultArchive* archive) {
  m_archiveRecorder = archive != nullptr ? std::make_unique<ArchiveRecorder>(m_window.Board(),
                                                                             *archive, m_spoolLock)
                                         : nullptr;
}

void ResultPresenter::Start() {
  // Results waiting from before the start come first, in their own order;
  // from here on the writer tells of each publication as it happens.
  m_scan.FindResults(m_spoolAccess.spoolDirectory());
  auto published = [this](const std::string& path) PALLIX_REQUIRES(theSpoolLock) {
    // On the network worker, under the spool lock: note the result's place
    // and post a notice, never more than one at a time; never wait.
    m_scan.Published(path);
    if (!m_bNoticePosted.exchange(true)) m_window.PostPublishedNotice();
  };
  SetResultPublishedHook(m_spoolLock, published);
  m_bHookInstalled = true;
  // The first waiting result as soon as the window runs.
  if (!m_bNoticePosted.exchange(true)) m_window.PostPublishedNotice();
}

void ResultPresenter::IdleStateShown() {
  if (m_archiveRecorder) m_archiveRecorder->IdleStateShown();
}

int ResultPresenter::Scan() {
  // The archive's heartbeat: the scan runs, so the window is alive.
  if (m_archiveRecorder) m_archiveRecorder->Scanning();
  const int result = m_scan.FindResults(m_spoolAccess.spoolDirectory());
  ShowNextResult();
  return result;
}

void ResultPresenter::OnPublishedNotice() {
  m_bNoticePosted = false;
  ShowNextResult();
}

void ResultPresenter::OnPauseOver() {
  m_bPausing = false;
  // A timer message already on its way when the window ended shows nothing.
  if (m_bEnding) return;
  // A timer may come a little early; the half second is a promise.
  const auto left = kResultPause - (std::chrono::steady_clock::now() - m_shownAt);
  if (left > std::chrono::steady_clock::duration::zero()) {
    StartPause(std::chrono::ceil<std::chrono::milliseconds>(left));
    return;
  }
  ShowNextResult();
}

void ResultPresenter::ShowNextResult() {
  if (m_bShowing || m_bEnding || m_bPausing) return;
  m_bShowing = true;
  bool shown = false;
  try {
    const PublicationOrder::Entry next = m_scan.NextReady(m_spoolAccess.spoolDirectory());
    if (next.sequence != 0) {
      ShowOneResult(next.path);
      m_scan.Taken(next);
      shown = true;
    }
  } catch (...) {
    // The file stays (or has gone); the next look tries again.
  }
  m_bShowing = false;
  if (!shown) return;
  m_shownAt = std::chrono::steady_clock::now();
  StartPause(kResultPause);
}

void ResultPresenter::StartPause(std::chrono::milliseconds delay) {
  m_bPausing = true;
  m_window.StartPause(delay);
}

void ResultPresenter::ShowOneResult(const std::string& path) {
  // The decoder takes the file out of the spool as it reads it, so a result
  // of the same name published from then on is a new file, shown after.
  const ShownResult shown = TakeAndShow(path);
  ++m_nShownFiles;

  static const std::string caption = Gbk(MainDialogTemplate().caption);
  const char* translated = GetLangueString(caption.c_str());
  const std::string title =
      WindowTitle(translated != nullptr ? translated : caption, m_nShownFiles);
  m_window.ShowTitle(title);
  if (m_archiveRecorder) m_archiveRecorder->ResultCounted(m_nShownFiles);
  BRENNA_EVENT(kInfo, kDisplay, kResultShown, nullptr, nullptr, "result '%s' shown: %s; title %s",
               journal::JournalName(ResultTransferName(path)).c_str(),
               DescribeShownResult(shown).c_str(), journal::JournalName(title).c_str());
}

void ResultPresenter::ShowResultFile(const std::string& path) { TakeAndShow(path); }

ShownResult ResultPresenter::TakeAndShow(const std::string& path) {
  ShownResult shown;
  // With an archive, the writes go through its recorder on their way.
  IDisplayBoard& board =
      m_archiveRecorder ? static_cast<IDisplayBoard&>(*m_archiveRecorder) : m_window.Board();
  TakeAndShowResultFile(path, m_resultBuf.data(), board, m_spoolLock, &shown);
  if (m_archiveRecorder) m_archiveRecorder->ResultShown(path, shown);
  return shown;
}

void ResultPresenter::End() {
  m_bEnding = true;
  m_bPausing = false;
  m_window.StopPause();
}

void ResultPresenter::RemovePublicationHook() {
  if (!m_bHookInstalled) return;
  m_bHookInstalled = false;
  SetResultPublishedHook(m_spoolLock, nullptr);
}
