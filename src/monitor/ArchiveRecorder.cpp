#include "monitor/ArchiveRecorder.h"

#include <chrono>
#include <mutex>
#include <utility>

#include "acquisition/SpoolLock.h"
#include "acquisition/SpoolNames.h"
#include "acquisition/TransferLedger.h"
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "platform/FileOps.h"
#include "platform/PallixBinding.h"

namespace {

std::int64_t NowUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// "<spool>/<name>.DOING" -> "<name>". The folder is cut off as the system
// reads paths: on Windows at its last '\', never at the second byte of a
// GBK character.
std::string TransferName(const std::string& path) {
  const std::string dir = ParentDirectory(path);
  std::string name = path;
  if (dir != "." && path.size() > dir.size()) {
    // A root ("/", "\", "C:\") keeps its separator; any other folder is
    // followed by one.
    const bool root = dir.size() == 1 || (dir.size() == 3 && dir[1] == ':');
    name = path.substr(root ? dir.size() : dir.size() + 1);
  }
  const std::size_t suffix = sizeof kResultFileSuffix - 1;
  if (name.size() >= suffix) name.resize(name.size() - suffix);
  return name;
}

// Every item of the record, in its order, as the decoder walked them.
std::vector<archive::RecordItem> ReadItems(const unsigned char* record, int count) {
  std::vector<archive::RecordItem> items;
  items.reserve(static_cast<std::size_t>(count));
  char value[PALLIX_VALUE_SIZE] = {};
  for (int i = 0; i < count; ++i) {
    int code = 0, judge = 0;
    if (ParseStdHead_ResultAll_Idx(record, i, &code, value, &judge) <= 0) continue;
    value[PALLIX_VALUE_SIZE - 1] = '\0';
    items.push_back(archive::RecordItem{i, code, judge, std::string(value)});
  }
  return items;
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

void ArchiveRecorder::ResultShown(const std::string& path, const ShownResult& shown,
                                  const unsigned char* record) {
  if (m_pending) Submit(-1);  // never counted: kept without its count
  std::vector<archive::DisplayWrite> writes = std::exchange(m_writes, {});
  if (!shown.read) return;
  archive::ArchivedResult r;
  r.shownUtcMs = NowUtcMs();
  r.transfer = TransferName(path);
  {
    SpoolLockGuard lock(m_spoolLock);
    r.stations = TransferLedger::Spool().TakePublished(r.transfer);
  }
  r.deviceCode = shown.deviceCode;
  if (const int operatorDisplay = OperatorDisplayForDevice(shown.deviceCode))
    r.deviceGroup = std::string(GroupCaptionOf(operatorDisplay));
  r.operatorText = shown.operatorText;
  r.itemCount = shown.items;
  r.items = ReadItems(record, shown.items);
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
