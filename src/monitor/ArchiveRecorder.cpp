#include "monitor/ArchiveRecorder.h"

#include <chrono>
#include <mutex>
#include <utility>

#include "acquisition/SpoolLock.h"
#include "acquisition/TransferLedger.h"
#include "monitor/SpoolScan.h"
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"

namespace {

std::int64_t NowUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

void ArchiveRecorder::NotingDisplay::SetColors(COLORREF background, COLORREF text) {
  m_background = background;
  m_textColor = text;
  m_display.SetColors(background, text);
}

void ArchiveRecorder::NotingDisplay::SetText(std::string text) {
  m_owner.m_writes.push_back(archive::DisplayWrite{m_id, text, m_background, m_textColor});
  m_display.SetText(std::move(text));
}

ArchiveRecorder::ArchiveRecorder(IDisplayBoard& window, archive::IResultArchive& archive,
                                 std::mutex& spoolLock)
    : m_window(window), m_archive(archive), m_spoolLock(spoolLock) {}

IValueDisplay* ArchiveRecorder::ValueDisplay(int controlId) { return Noting(controlId); }

ArchiveRecorder::NotingDisplay* ArchiveRecorder::Noting(int controlId) {
  auto it = m_displays.find(controlId);
  if (it == m_displays.end()) {
    IValueDisplay* display = m_window.ValueDisplay(controlId);
    if (display == nullptr) return nullptr;
    it = m_displays.emplace(controlId, NotingDisplay(controlId, *display, *this)).first;
  }
  return &it->second;
}

void ArchiveRecorder::IdleStateShown() {
  std::vector<archive::DisplayWrite> writes;
  for (int id : kOperatorDisplays) {
    writes.push_back(archive::DisplayWrite{id, IdleStateText(), kIdleBackground, kIdleTextColor});
    // What the worker wrote is what these displays hold from now on.
    if (NotingDisplay* display = Noting(id)) display->Assume(kIdleBackground, kIdleTextColor);
  }
  m_archive.RecordOwnWrites(NowUtcMs(), std::move(writes));
}

void ArchiveRecorder::ResultShown(const std::string& path, const ShownResult& shown) {
  if (m_pending) Submit(-1);  // never counted: kept without its count
  std::vector<archive::DisplayWrite> writes = std::exchange(m_writes, {});
  if (!shown.read) return;
  archive::ArchivedResult r;
  r.shownUtcMs = NowUtcMs();
  r.transfer = ResultTransferName(path);
  {
    SpoolLockGuard lock(m_spoolLock);
    r.stations = TransferLedger::Spool().TakePublished(r.transfer);
  }
  r.deviceCode = shown.deviceCode;
  if (const int operatorDisplay = OperatorDisplayForDevice(shown.deviceCode))
    r.deviceGroup = std::string(GroupCaptionOf(operatorDisplay));
  r.operatorText = shown.operatorText;
  r.itemCount = shown.items;
  r.items = shown.recordItems;
  r.writes = std::move(writes);
  m_pending = std::move(r);
}

void ArchiveRecorder::ResultCounted(int titleCount) {
  if (m_pending) Submit(titleCount);
}

void ArchiveRecorder::Scanning() {
  if (m_pending) Submit(-1);
  m_archive.Heartbeat();
}

void ArchiveRecorder::Submit(int titleCount) {
  m_pending->titleCount = titleCount;
  m_archive.Record(std::move(*m_pending));
  m_pending.reset();
}
