// SpoolIo - the file operations of the chunk writer, behind one small
// interface so tests can put a failing disk under the writer.
#ifndef BRENNA_ACQUISITION_SPOOLIO_H
#define BRENNA_ACQUISITION_SPOOLIO_H

#include <cstddef>
#include <string>

class SpoolIo {
 public:
  enum class ReadResult { kOk, kMissing, kTooLarge, kFailed };

  virtual ~SpoolIo() = default;

  // Writes count bytes at offset into path, keeping what the file already
  // holds (created empty when missing). On success stores the file's length
  // afterwards in *length.
  virtual bool WriteAt(const std::string& path, long offset, const void* data, size_t count,
                       long* length);
  // Reads the whole file into buf when it holds at most max bytes.
  virtual ReadResult ReadAll(const std::string& path, void* buf, size_t max, size_t* n);
  // Creates or truncates path and writes n bytes.
  virtual bool WriteAll(const std::string& path, const void* data, size_t n);
  // Replaces `to` by `from` in one step.
  virtual bool Rename(const std::string& from, const std::string& to);
  virtual bool Remove(const std::string& path);
  // Decompresses the chunk file into "rtdata.dat" in dir (> 0 on success).
  virtual int UnCompress(const std::string& path, const std::string& dir);
};

#endif  // BRENNA_ACQUISITION_SPOOLIO_H
