// ArchiveWriter's upkeep of its file, beside the writing itself: the pages
// a trim freed given back a step at a time while nothing waits, the file
// and its WAL followed when they leave their names, a result written again
// when its file left the path while it was written, and the heartbeat kept
// beside the file while another program holds it.
#include <sqlite3.h>

#include "archive/ArchiveWriter.h"
#include "archive/HeartbeatNote.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"

namespace archive {

namespace {

// Pages given back per step at first (4 MiB of 4 KiB pages): one step's
// WAL, and so at most what a waiting result waits for. Halved while the
// disk cannot take even that, down to the least.
constexpr int kGiveBackPages = 1024;
constexpr int kLeastGiveBackPages = 16;

}  // namespace

void ArchiveWriter::PlanGiveBack() {
  pagesToGiveBack_ = store_.IsOpen() && store_.FreePages() > 0;
  giveBackPages_ = kGiveBackPages;
  SetUpkeep(pagesToGiveBack_);
}

void ArchiveWriter::SetUpkeep(bool pending) {
  MutexLock guard(lock_);
  upkeep_ = pending;
  if (!pending) done_.notify_all();
}

void ArchiveWriter::GiveBackStep() {
  const std::int64_t before = store_.IsOpen() ? store_.FreePages() : 0;
  if (before <= 0) {
    pagesToGiveBack_ = false;
    SetUpkeep(false);
    if (pagesGivenBack_ > 0) {
      BRENNA_LOG(kInfo, kDisplay, "archive: %lld free pages given back to the file system",
                 static_cast<long long>(pagesGivenBack_));
    }
    pagesGivenBack_ = 0;
    return;
  }
  const int rc = store_.GiveBackPages(giveBackPages_);
  if (sql::IsBusy(rc)) {
    Busy(store_.Error());
    return;
  }
  if (sql::IsFull(rc) && giveBackPages_ > kLeastGiveBackPages) {
    giveBackPages_ /= 2;  // smaller steps need less room in the WAL
    return;
  }
  const std::int64_t after = store_.FreePages();
  if (rc != SQLITE_OK || after >= before) {
    // No room even for the least step, or a file that cannot give pages
    // back: the next trim tries again.
    BRENNA_LOG(kWarning, kDisplay,
               "archive: %lld free pages cannot be given back to the file system now (%s); "
               "tried again at the next trim",
               static_cast<long long>(before),
               rc != SQLITE_OK ? store_.Error().c_str() : "the file does not give pages back");
    pagesToGiveBack_ = false;
    pagesGivenBack_ = 0;
    SetUpkeep(false);
    return;
  }
  pagesGivenBack_ += before - after;
}

void ArchiveWriter::FollowPath() {
  if (!store_.IsOpen()) return;
  if (store_.StillAtPath()) {
    if (store_.CompanionsGone()) FollowCompanions();
    return;
  }
  const std::string& path = options_.path;
  const bool gone = !PathExists(path);
  store_.CloseGone();
  if (gone) {
    BRENNA_LOG(kWarning, kDisplay,
               "archive %s was deleted or moved away while open: a new archive is begun there",
               path.c_str());
  } else {
    BRENNA_LOG(kWarning, kDisplay,
               "archive %s was replaced by another file while open: results go to that file from "
               "now on",
               path.c_str());
  }
  OpenArchive();
}

void ArchiveWriter::FollowCompanions() {
  const std::string& path = options_.path;
  const bool whole = store_.FoldWal();
  if (whole) {
    BRENNA_LOG(kWarning, kDisplay,
               "archive %s: its -wal or -shm was deleted or replaced while open: what its WAL "
               "held is written into the archive, which is opened again",
               path.c_str());
  } else {
    BRENNA_LOG(kWarning, kDisplay,
               "archive %s: its -wal or -shm was deleted or replaced while open, and its WAL "
               "could not all be written into the archive (%s): results of the last moments may "
               "be missing from it once the monitor restarts; the archive is opened again",
               path.c_str(), store_.Error().c_str());
  }
  const ArchiveStore::Opened again = store_.Reopen();
  if (again.outcome == ArchiveStore::Outcome::kOpened && store_.RunId() != 0) return;
  // Another file by now, or none that opens: as at start.
  store_.Close();
  OpenArchive();
}

int ArchiveWriter::WriteAgainAtPath(const Item& item) {
  FollowPath();
  if (!store_.IsOpen()) return SQLITE_CANTOPEN;
  BRENNA_LOG(kDebug, kDisplay, "result '%s' written again: its archive left its path meanwhile",
             journal::JournalName(item.result.transfer).c_str());
  return Write(item);
}

void ArchiveWriter::NoteHeartbeat(std::int64_t utcMs) {
  if (store_.RunId() == 0) return;  // no run row yet to tell it by
  HeartbeatNote note;
  note.runId = store_.RunId();
  note.startedUtcMs = startUtcMs_;
  note.processId = options_.processId;
  note.heartbeatUtcMs = utcMs;
  std::string error;
  if (WriteHeartbeatNote(options_.path, note, &error)) {
    heartbeatNoted_ = true;
  } else if (!heartbeatNoteFailed_) {
    heartbeatNoteFailed_ = true;
    BRENNA_LOG(kWarning, kDisplay,
               "archive heartbeat cannot be kept beside the archive while it is held (%s): "
               "readers may take the monitor for silent meanwhile",
               error.c_str());
  }
}

void ArchiveWriter::DropHeartbeatNote() {
  if (!heartbeatNoted_) return;
  RemoveHeartbeatNote(options_.path);
  heartbeatNoted_ = false;
}

}  // namespace archive
