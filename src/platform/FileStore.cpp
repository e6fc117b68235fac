// FileStore's replacement, the same on every system; the steps it takes
// are the system's own (FileStorePosix.cpp, FileStoreWin.cpp), but for the
// generic ones, which are FileOps.h's.
#include "platform/FileStore.h"

#include "journal/Journal.h"
#include "platform/FileOps.h"

namespace {

// Why a settings file was not replaced, for the journal.
void SayRefused(const std::string& path, const char* why) {
  BRENNA_LOG(kWarning, kSettings, "cannot write %s: %s; the file is unchanged",
             journal::JournalName(path).c_str(), why);
}

}  // namespace

FileStore& FileStore::System() {
  static FileStore store;
  return store;
}

const char* FileStore::Why(ReadResult result) {
  switch (result) {
    case ReadResult::kOk:
      return "it was read";
    case ReadResult::kMissing:
      return "there is no such file";
    case ReadResult::kNotRegular:
      return "it is not a regular file (a FIFO, device, socket or folder)";
    case ReadResult::kTooLarge:
      return "it is larger than 1 MiB, more than any settings file";
    case ReadResult::kFailed:
      break;
  }
  return "it cannot be read (no read permission, or a read error)";
}

bool FileStore::Replace(const std::string& path, const std::string& bytes) {
  FileInfo info;
  const ReadResult found = Inspect(path, &info);
  if (found == ReadResult::kFailed) {
    SayRefused(path, "it is not a plain file, or cannot be examined");
    return false;
  }
  const bool exists = found == ReadResult::kOk;
  if (exists && !info.writable) {
    SayRefused(path, "it is read-only (no write permission, or no write permission bit at all)");
    return false;
  }

  std::string aside;
  const int fd = CreateAside(path, exists, &aside);
  if (fd < 0) {
    SayRefused(path, "no new file can be made in its folder (missing, not writable, or full)");
    return false;
  }
  const char* why = nullptr;
  if (!Write(fd, bytes.data(), bytes.size())) why = "writing the new text failed (disk full?)";
  if (why == nullptr && exists && !KeepOwnerAndMode(fd, info))
    why = "its owner, group or permissions cannot be given to the new text";
  if (why == nullptr && !Flush(fd)) why = "the new text could not be flushed to the disk";
  if (!Close(fd) && why == nullptr) why = "writing the new text failed (disk full?)";
  if (why == nullptr && !Rename(aside, path)) why = "the new text could not be moved over it";
  if (why != nullptr) {
    Remove(aside);
    SayRefused(path, why);
    return false;
  }
  FlushFolderOf(path);
  return true;
}

// Written through on Windows: the rename is on the disk when it returns.
bool FileStore::Rename(const std::string& from, const std::string& to) {
  return MoveFileOver(from, to, MoveWait::kOnDisk) == FileFault::kNone;
}

void FileStore::Remove(const std::string& path) {
  if (!path.empty()) RemoveFile(path);
}

// POSIX syncs the folder; Windows has nothing left to do, the rename having
// waited for the disk.
void FileStore::FlushFolderOf(const std::string& path) { SyncDirectory(ParentDirectory(path)); }
