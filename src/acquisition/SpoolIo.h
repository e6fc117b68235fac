// SpoolIo - the file operations of the chunk writer and the spool sweep,
// behind one small interface so tests can put a failing disk under them.
//
// Every file is opened as a regular file only (platform/FileOps.h): a
// link, FIFO, device or directory under a spool name is never followed,
// read, written or waited on.
#ifndef BRENNA_ACQUISITION_SPOOLIO_H
#define BRENNA_ACQUISITION_SPOOLIO_H

#include <chrono>
#include <cstddef>
#include <string>

class SpoolIo {
 public:
  enum class Result {
    kOk,
    kMissing,        // no such file (or no spool directory)
    kNotRegular,     // something other than a regular file under that name
    kTooLarge,       // ReadAll: the file holds more than asked for
    kNoRoom,         // the spool cannot be written now (full, quota, read-only, I/O error)
    kNoDescriptors,  // the process has no file descriptor to spare now
    kHardLinked,     // a regular file with another name too (a hard link): never written
    kNotDirectory,   // MakeDirectory: no directory but something else stands at the path (a
                     // file, a link to nothing): nothing is made over it
    kFailed,         // anything else
  };

  // What Inspect tells about a name, without following a link.
  struct FileInfo {
    bool exists = false;
    bool regular = false;
    long long size = 0;
    // Since the file was last written; negative when its time lies ahead
    // (the clock was set back).
    std::chrono::seconds age{0};
  };

  virtual ~SpoolIo() = default;

  virtual Result Inspect(const std::string& path, FileInfo* info);
  // Writes count bytes at offset into path, keeping what the file already
  // holds (created empty when missing). On success stores the file's length
  // afterwards in *length; on failure the file is as it was before (a file
  // this call created is removed again).
  virtual Result WriteAt(const std::string& path, long offset, const void* data, size_t count,
                         long* length);
  // Reads the whole file into buf when it holds at most max bytes.
  virtual Result ReadAll(const std::string& path, void* buf, size_t max, size_t* n);
  // Creates or empties path, writes n bytes and returns once they are on
  // the storage.
  virtual Result WriteAll(const std::string& path, const void* data, size_t n);
  // Replaces `to` by `from` in one step, lasting through a power loss.
  virtual Result Rename(const std::string& from, const std::string& to);
  // Removes a regular file; false for anything else under that name.
  virtual bool Remove(const std::string& path);
  // Creates the spool directory (and its parents) as the site
  // configuration does at start-up; kNotDirectory when a file or a link to
  // nothing stands in its place.
  virtual Result MakeDirectory(const std::string& dir);
  // Decompresses the chunk file into "rtdata.dat" in dir: libPallix's
  // UnCompressFile result (> 0 on success).
  virtual int UnCompress(const std::string& path, const std::string& dir);
};

#endif  // BRENNA_ACQUISITION_SPOOLIO_H
