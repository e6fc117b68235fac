// FileStore's replacement, the same on every system; the steps it takes
// are the system's own (FileStorePosix.cpp, FileStoreWin.cpp).
#include "platform/FileStore.h"

FileStore& FileStore::System() {
  static FileStore store;
  return store;
}

bool FileStore::Replace(const std::string& path, const std::string& bytes) {
  FileInfo info;
  const ReadResult found = Inspect(path, &info);
  if (found == ReadResult::kFailed) return false;
  const bool exists = found == ReadResult::kOk;
  if (exists && !info.writable) return false;

  std::string aside;
  const int fd = CreateAside(path, exists, &aside);
  if (fd < 0) return false;
  bool ok = Write(fd, bytes.data(), bytes.size());
  if (ok && exists) ok = KeepOwnerAndMode(fd, info);
  if (ok) ok = Flush(fd);
  ok = Close(fd) && ok;
  if (ok) ok = Rename(aside, path);
  if (!ok) {
    Remove(aside);
    return false;
  }
  FlushFolderOf(path);
  return true;
}
