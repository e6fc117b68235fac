// RotatingFile - the journal file, bounded by size: monitor.log, and when
// it would grow beyond the file size, monitor.log.2 becomes .3, .1 becomes
// .2, monitor.log becomes .1 and a new monitor.log begins (the oldest is
// dropped). So the files together never exceed (old files + 1) x the file
// size: 4 MiB with the defaults.
//
// The bound holds when rotation fails too: when monitor.log cannot be
// renamed it is cut to nothing and written afresh, and when that fails as
// well the file is given up (standard error still has every line). Every
// trouble is noted once, for the writer to write as a line of its own. A
// file or directory removed or moved away under the running monitor is
// noticed within the recheck time (10 s) and made again. Only a regular
// file is written: a link, FIFO or device under the name is refused, never
// waited on.
//
// The file holds whole lines only: a write the disk takes only in part (it
// filled up) is cut back to its last whole line, and the lines that did
// not reach the file are counted and said once writing works again. Not
// thread-safe: the journal's writer thread owns it.
#ifndef BRENNA_JOURNAL_ROTATINGFILE_H
#define BRENNA_JOURNAL_ROTATINGFILE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileOps.h"
#include "platform/JournalIo.h"

namespace journal {

// The file operations rotation needs; the real ones are journal_io's.
// Tests put failing ones in.
class JournalFileSystem {
 public:
  virtual ~JournalFileSystem() = default;
  virtual bool CreateDirectory(const std::string& dir) = 0;
  virtual int OpenAppend(const std::string& path) = 0;
  virtual long long FileSize(int handle) = 0;
  virtual bool WriteAll(int handle, const char* data, std::size_t size) = 0;
  virtual bool IsFileAt(int handle, const std::string& path) = 0;
  virtual bool Truncate(int handle, std::uint64_t size) = 0;
  virtual void Close(int handle) = 0;
  virtual journal_io::FileResult Rename(const std::string& from, const std::string& to) = 0;
  virtual journal_io::FileResult Remove(const std::string& path) = 0;
  // The end of the file at path, for the previous run's last line.
  virtual std::string ReadTail(const std::string& path, std::size_t max) {
    return journal_io::ReadTail(path, max);
  }
};
JournalFileSystem& RealJournalFileSystem();

class RotatingFile {
 public:
  struct Limits {
    std::uint64_t fileBytes = 1u << 20;  // one file at most
    int oldFiles = 3;                    // monitor.log.1 .. .3
    // How often a write first checks that the file is still where it was.
    std::chrono::milliseconds recheck{10000};
  };
  // The most bytes all files together hold.
  static std::uint64_t Bound(const Limits& limits) {
    return static_cast<std::uint64_t>(limits.oldFiles + 1) * limits.fileBytes;
  }

  RotatingFile(JournalFileSystem& fs, std::string directory, std::string name, Limits limits);
  ~RotatingFile();
  RotatingFile(const RotatingFile&) = delete;
  RotatingFile& operator=(const RotatingFile&) = delete;

  // Creates the directory (0700) and opens the file for appending (0600).
  // The first time, it keeps the end of what the file held before (the
  // previous run's last lines).
  bool Open();
  bool IsOpen() const { return handle_ >= 0; }
  // Appends whole lines (each ending in '\n'); rotates first when they
  // would take the file beyond its size. False when they did not all reach
  // the file. A closed file is tried again every 256 calls.
  bool Write(std::string_view lines);
  // The last lines of the file (its last 8 KiB at most) as Open first found
  // it; empty when there was no file or it was empty.
  const std::string& PreviousTail() const { return previousTail_; }
  // What went wrong since the last call (empty: nothing), as a line's text.
  std::string TakeTrouble();

  std::string Path() const { return JoinPath(directory_, name_); }

 private:
  // The file open, still the one at its path, and with room for `bytes`
  // more (rotated first if need be); false when the lines cannot go in.
  bool ReadyToWrite(std::size_t bytes);
  // After WriteAll failed on `text` (`lines`, a torn line's end before them
  // perhaps) at size `before`: the whole lines that went in stay, the rest
  // is counted lost.
  void AfterFailedWrite(std::string_view lines, std::string_view text, std::uint64_t before);
  void Rotate();
  void Reopen();
  void Note(const std::string& trouble);

  JournalFileSystem& fs_;
  std::string directory_;
  std::string name_;
  Limits limits_;
  int handle_ = -1;
  std::uint64_t size_ = 0;
  unsigned linesSinceFailure_ = 0;
  bool writeFailing_ = false;
  std::chrono::steady_clock::time_point lastCheck_{};
  std::string trouble_;
  std::uint64_t lostLines_ = 0;  // since the file last took a write
  bool torn_ = false;            // a cut line could not be taken back: end it first
  bool tailTaken_ = false;
  std::string previousTail_;
};

}  // namespace journal

#endif  // BRENNA_JOURNAL_ROTATINGFILE_H
