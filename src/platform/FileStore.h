// FileStore - whole-file reads and safe replacement of small settings files
// (BrennaCenter.ini). A replacement never destroys what it cannot read or
// may not write:
//
//   - a file that is read-only (no write permission for this process, or no
//     write permission bit at all; on Windows the read-only attribute) is
//     refused, even for root or an administrator;
//   - the new contents are written aside, beside the file, flushed to disk,
//     given the old file's owner, group and permission bits (on Windows its
//     attributes: hidden, system, archive, not indexed), and only then moved
//     over it in one step: a write that fails half-way leaves the old file as
//     it was, and the aside file is removed;
//   - a path that is a symbolic link is replaced at the end of its chain of
//     links, so the link stays a link. On Windows a path that is a reparse
//     point (a symbolic link, a junction, a placeholder of a cloud drive) is
//     refused: a move over it would replace the link itself, and other kinds
//     of reparse point have meanings a plain file would lose.
//
// Paths are bytes (GBK on a Chinese system): on Windows they reach the "W"
// calls through code page 936, never through std::filesystem.
//
// The algorithm (FileStore.cpp) is the same everywhere; the steps are
// virtual, one system call each (FileStorePosix.cpp, FileStoreWin.cpp; the
// rename, the removal and the folder's flush through FileOps.h), so tests
// can fail any of them.
#ifndef BRENNA_PLATFORM_FILESTORE_H
#define BRENNA_PLATFORM_FILESTORE_H

#include <cstddef>
#include <string>

class FileStore {
 public:
  // kFailed, kNotRegular and kTooLarge: the file exists but is not read.
  enum class ReadResult { kOk, kMissing, kFailed, kNotRegular, kTooLarge };

  // What a replacement keeps of the file it replaces.
  struct FileInfo {
    bool writable = false;
    unsigned mode = 0;  // permission bits
    unsigned owner = 0;
    unsigned group = 0;
    unsigned attributes = 0;  // Windows: FILE_ATTRIBUTE_* bits
  };

  // Nothing larger is a settings file; reading one fails rather than
  // filling memory.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

  FileStore() = default;
  virtual ~FileStore() = default;
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;

  // The file system itself.
  static FileStore& System();

  // The file a write to `path` lands in: `path` itself, or the end of the
  // chain of symbolic links it starts (a relative link is taken from its own
  // folder); that file need not exist. Empty when the chain does not end,
  // and on Windows when `path` is a reparse point.
  virtual std::string Resolve(const std::string& path);
  // Reads the whole file, never waiting (a FIFO or device in its place is
  // not read). kMissing when there is no such file; kNotRegular when it is
  // not a plain file; kTooLarge when it is larger than kMaxFileBytes;
  // kFailed when it cannot be read (permissions, a read error).
  virtual ReadResult Read(const std::string& path, std::string* bytes);
  // Why a read failed, for a journal line: "it is not a regular file (...)".
  static const char* Why(ReadResult result);
  // Replaces the contents of `path` (a resolved path) with `bytes`, or
  // creates it. False, with the old file untouched and nothing left beside
  // it, when it is read-only, cannot be examined, or any step fails.
  bool Replace(const std::string& path, const std::string& bytes);

 protected:
  // kMissing when path does not exist; kFailed when it is not a plain file
  // or cannot be examined.
  virtual ReadResult Inspect(const std::string& path, FileInfo* info);
  // Creates a new file beside `path` that no one else has open, readable by
  // its owner only when `keepPrivate`, else with the usual permissions of a
  // new file (on Windows always those its folder gives new files). Its
  // handle (a C run-time descriptor), or -1.
  virtual int CreateAside(const std::string& path, bool keepPrivate, std::string* aside);
  virtual bool Write(int fd, const char* data, std::size_t n);
  // Owner, group and mode; on Windows the attributes.
  virtual bool KeepOwnerAndMode(int fd, const FileInfo& info);
  virtual bool Flush(int fd);
  virtual bool Close(int fd);
  // Moves `from` over `to` in one step, replacing it.
  virtual bool Rename(const std::string& from, const std::string& to);
  virtual void Remove(const std::string& path);
  // Makes the rename itself last (best effort).
  virtual void FlushFolderOf(const std::string& path);
};

#endif  // BRENNA_PLATFORM_FILESTORE_H
