// RegularFile - a file of the spool directory, opened only when it is a
// regular file: never through a link, and never waiting on a FIFO or a
// device planted under a spool name. Failures are told apart by what the
// caller can do about them (see FileFault).
//
// The interface is the same on every system; RegularFilePosix.cpp is the
// POSIX implementation (open with O_NOFOLLOW | O_NONBLOCK, fstat, fsync).
#ifndef BRENNA_PLATFORM_REGULARFILE_H
#define BRENNA_PLATFORM_REGULARFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

enum class FileFault {
  kNone,
  kMissing,     // no such file, or its directory is gone
  kNotRegular,  // a directory, link, FIFO, device or socket under that name
  kNoRoom,      // the storage cannot take data now: full, over quota, read-only or failing
  kOther,       // anything else (permissions, a name too long, ...)
};

class RegularFile {
 public:
  enum class Mode {
    kRead,     // an existing file, for reading
    kUpdate,   // reading and writing; created empty when missing, never emptied
    kReplace,  // writing; created, or emptied when it exists
  };

  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens path; on kNotRegular nothing was opened and nothing was created.
  // created (optional) tells whether this call made the file.
  FileFault Open(const std::string& path, Mode mode, bool* created = nullptr);
  bool IsOpen() const { return m_handle >= 0; }

  FileFault Size(std::int64_t* size) const;
  // Reads up to n bytes at offset; *got is what was read (short at the end).
  FileFault ReadAt(std::int64_t offset, void* buf, std::size_t n, std::size_t* got);
  // Writes all n bytes at offset, or reports why not.
  FileFault WriteAt(std::int64_t offset, const void* data, std::size_t n);
  FileFault Truncate(std::int64_t size);
  // Returns once what was written is on the storage.
  FileFault Sync();
  // Closes; a write error the system reports only now is reported here.
  FileFault Close();

 private:
  std::intptr_t m_handle = -1;
};

// Makes the entries of dir (a rename into it, a removal) last through a
// power loss.
FileFault SyncDirectory(const std::string& dir);

// The same classification for a failed std::filesystem call.
FileFault FaultOf(const std::error_code& ec);

#endif  // BRENNA_PLATFORM_REGULARFILE_H
