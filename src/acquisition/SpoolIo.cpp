#include "acquisition/SpoolIo.h"

#include "platform/FileOps.h"
#include "platform/PallixBinding.h"

namespace {

SpoolIo::Result ResultOf(FileFault fault) {
  switch (fault) {
    case FileFault::kNone:
      return SpoolIo::Result::kOk;
    case FileFault::kMissing:
      return SpoolIo::Result::kMissing;
    case FileFault::kNotRegular:
      return SpoolIo::Result::kNotRegular;
    case FileFault::kNoRoom:
      return SpoolIo::Result::kNoRoom;
    case FileFault::kNoDescriptors:
      return SpoolIo::Result::kNoDescriptors;
    case FileFault::kHardLinked:
      return SpoolIo::Result::kHardLinked;
    case FileFault::kOther:
      break;
  }
  return SpoolIo::Result::kFailed;
}

}  // namespace

SpoolIo::Result SpoolIo::Inspect(const std::string& path, FileInfo* info) {
  *info = FileInfo();
  RegularFileInfo file;
  const FileFault fault = InspectFile(path, &file);
  if (fault == FileFault::kNone || fault == FileFault::kNotRegular) info->exists = true;
  if (fault != FileFault::kNone) return ResultOf(fault);
  info->regular = true;
  info->size = file.size;
  info->age = file.age;
  return Result::kOk;
}

SpoolIo::Result SpoolIo::WriteAt(const std::string& path, long offset, const void* data,
                                 size_t count, long* length) {
  RegularFile f;
  bool created = false;
  FileFault fault = f.Open(path, RegularFile::Mode::kUpdate, &created);
  if (fault != FileFault::kNone) return ResultOf(fault);
  std::int64_t before = 0, after = 0;
  fault = f.Size(&before);
  if (fault == FileFault::kNone && count > 0) fault = f.WriteAt(offset, data, count);
  if (fault == FileFault::kNone) fault = f.Size(&after);
  if (fault == FileFault::kNone) fault = f.Close();
  if (fault == FileFault::kNone) {
    *length = static_cast<long>(after);
    return Result::kOk;
  }
  // No partial slot stays behind: a file made here goes again, an older one
  // is cut back to its length before (a late error from Close included).
  if (created) {
    f.Close();
    RemoveRegularFile(path);
  } else {
    if (!f.IsOpen()) f.Open(path, RegularFile::Mode::kUpdate);
    if (f.IsOpen()) f.Truncate(before);
  }
  return ResultOf(fault);
}

SpoolIo::Result SpoolIo::ReadAll(const std::string& path, void* buf, size_t max, size_t* n) {
  RegularFile f;
  FileFault fault = f.Open(path, RegularFile::Mode::kRead);
  if (fault != FileFault::kNone) return ResultOf(fault);
  std::int64_t size = 0;
  fault = f.Size(&size);
  if (fault != FileFault::kNone) return ResultOf(fault);
  if (static_cast<unsigned long long>(size) > max) return Result::kTooLarge;
  size_t got = 0;
  fault = f.ReadAt(0, buf, static_cast<size_t>(size), &got);
  if (fault != FileFault::kNone) return ResultOf(fault);
  if (got != static_cast<size_t>(size)) return Result::kFailed;
  *n = got;
  return Result::kOk;
}

SpoolIo::Result SpoolIo::WriteAll(const std::string& path, const void* data, size_t n) {
  RegularFile f;
  FileFault fault = f.Open(path, RegularFile::Mode::kReplace);
  if (fault == FileFault::kNone && n > 0) fault = f.WriteAt(0, data, n);
  // On the storage before it is renamed into place: after a power loss the
  // published name holds the whole result, or the older one.
  if (fault == FileFault::kNone) fault = f.Sync();
  if (fault == FileFault::kNone) fault = f.Close();
  return ResultOf(fault);
}

SpoolIo::Result SpoolIo::Rename(const std::string& from, const std::string& to) {
  const FileFault fault = MoveFileOver(from, to);
  if (fault != FileFault::kNone) return ResultOf(fault);
  // The result is in place either way; a directory that cannot be synced
  // only makes the rename less sure to outlive a power loss.
  SyncDirectory(ParentDirectory(to));
  return Result::kOk;
}

bool SpoolIo::Remove(const std::string& path) { return RemoveRegularFile(path); }

SpoolIo::Result SpoolIo::MakeDirectory(const std::string& dir) {
  const FileFault fault = MakeDirectories(dir);
  if (fault == FileFault::kOther) {
    const DirectoryKind kind = InspectDirectory(dir);
    if (kind == DirectoryKind::kNotDirectory || kind == DirectoryKind::kBrokenLink)
      return Result::kNotDirectory;
  }
  return ResultOf(fault);
}

int SpoolIo::UnCompress(const std::string& path, const std::string& dir) {
  return UnCompressFile(path.c_str(), dir.c_str());
}
