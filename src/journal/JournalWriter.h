// JournalWriter - takes finished lines from any thread and writes them on
// a thread of its own to standard error and to the journal file, so that no
// caller ever waits for a disk or a slow reader of standard error: a caller
// only queues its line under a short lock. When the queue is full (4,096
// lines or 1 MiB) further lines are dropped and counted, and a line saying
// how many follows once there is room again.
//
// Standard error read by the system journal gets "<priority>" in place of
// the timestamp (the system journal stamps lines itself); otherwise both
// destinations get the same line.
#ifndef BRENNA_JOURNAL_JOURNALWRITER_H
#define BRENNA_JOURNAL_JOURNALWRITER_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "journal/Journal.h"
#include "journal/RotatingFile.h"

namespace journal {

class JournalWriter {
 public:
  struct Options {
    std::string directory;  // of the file; empty: standard error only
    std::string fileName = "monitor.log";
    RotatingFile::Limits limits;
    bool toStderr = true;
    std::size_t maxQueuedLines = 4096;
    std::size_t maxQueuedBytes = 1u << 20;
    JournalFileSystem* fileSystem = nullptr;  // null: the real one
  };

  JournalWriter() = default;
  ~JournalWriter();  // Stop()
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Opens the file and starts the writer thread. False when the file could
  // not be opened (the writer then runs for standard error; the reason is
  // its first line). A writer that runs is stopped first.
  bool Start(const Options& options);
  // Writes what is queued, then ends the thread and closes the file. From
  // then on Submit writes to standard error at once.
  void Stop();

  // Queues one line (no line break). stampLength: how long its timestamp
  // is, which the system journal's copy leaves out.
  void Submit(Level level, std::string line, std::size_t stampLength);
  // Returns once every line submitted before has been written (for a fatal
  // message, before the process ends; tests).
  void Drain();

  // Lines lost to a full queue since Start.
  std::uint64_t DroppedLines() const;
  // Full path of the file; empty when there is none.
  std::string FilePath() const;

 private:
  struct Entry {
    Level level;
    std::string line;
    std::size_t stampLength;
  };

  void Run();
  void WriteOut(const std::deque<Entry>& entries);
  void WriteOwnLine(Level level, const std::string& text);

  mutable std::mutex lock_;  // everything below up to thread_
  std::condition_variable wake_;
  std::condition_variable written_;
  std::deque<Entry> queue_;
  std::size_t queuedBytes_ = 0;
  std::uint64_t submitted_ = 0;  // lines queued since Start
  std::uint64_t done_ = 0;       // lines written (or dropped) since Start
  std::uint64_t dropped_ = 0;
  std::uint64_t droppedUnsaid_ = 0;
  bool running_ = false;
  bool stopping_ = false;
  Options options_;
  bool stderrIsSystemJournal_ = false;
  std::string filePath_;
  std::thread thread_;
  // The writer thread's alone while it runs.
  std::unique_ptr<RotatingFile> file_;
};

// The process's one writer, never destroyed: the message handler may run
// on any thread until the very end of the process.
JournalWriter& ProcessJournalWriter();

}  // namespace journal

#endif  // BRENNA_JOURNAL_JOURNALWRITER_H
