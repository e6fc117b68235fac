// JournalWriter - takes finished lines from any thread and writes them on
// a thread of its own to standard error and to the journal file, so that no
// caller ever waits for a disk or a slow reader of standard error: a caller
// only queues its line under a short lock. When the queue is full (4,096
// lines or 1 MiB) further lines are dropped and counted, and a line saying
// how many follows once there is room again.
//
// Standard error never holds the writer either: it gets what it takes at
// once (journal_io::WriteToStderr). When it takes nothing (a terminal held
// with Ctrl+S, a pipe nobody reads) its lines are counted, the file goes on
// getting every line, and two lines of the writer's own say when standard
// error stopped and, once it takes lines again, how many it missed. A line
// it took only in part is finished first, so it never shows half a line
// followed by another.
//
// Standard error read by the system journal gets "<priority>" in place of
// the timestamp (the system journal stamps lines itself); otherwise both
// destinations get the same line.
#ifndef BRENNA_JOURNAL_JOURNALWRITER_H
#define BRENNA_JOURNAL_JOURNALWRITER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "journal/Journal.h"
#include "journal/RotatingFile.h"
#include "platform/Mutex.h"

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
  // Lines standard error could not take since Start.
  std::uint64_t StderrLostLines() const;
  // Full path of the file; empty when there is none.
  std::string FilePath() const;
  // The end of the file before Start wrote to it (the previous run's last
  // lines, at most 8 KiB); empty when there was none.
  std::string PreviousTail() const;
  // When the last line was submitted (Start counts as one).
  std::chrono::steady_clock::time_point LastSubmitted() const;

 private:
  struct Entry {
    Level level;
    std::string line;
    std::size_t stampLength;
  };

  void Run();
  void WriteOut(const std::deque<Entry>& entries);
  void WriteOwnLine(Level level, const std::string& text);
  void SendToStderr(const std::string& text);
  void StderrLost(std::uint64_t lines);

  mutable Mutex lock_;
  CondVar wake_;
  CondVar written_;
  std::deque<Entry> queue_ PALLIX_GUARDED_BY(lock_);
  std::size_t queuedBytes_ PALLIX_GUARDED_BY(lock_) = 0;
  std::uint64_t submitted_ PALLIX_GUARDED_BY(lock_) = 0;  // lines queued since Start
  std::uint64_t done_ PALLIX_GUARDED_BY(lock_) = 0;       // lines written (or dropped) since Start
  std::uint64_t dropped_ PALLIX_GUARDED_BY(lock_) = 0;
  std::uint64_t droppedUnsaid_ PALLIX_GUARDED_BY(lock_) = 0;
  bool running_ PALLIX_GUARDED_BY(lock_) = false;
  bool stopping_ PALLIX_GUARDED_BY(lock_) = false;
  std::string filePath_ PALLIX_GUARDED_BY(lock_);
  std::string previousTail_ PALLIX_GUARDED_BY(lock_);
  std::chrono::steady_clock::time_point lastSubmitted_ PALLIX_GUARDED_BY(lock_) =
      std::chrono::steady_clock::time_point{};
  std::uint64_t stderrLost_ PALLIX_GUARDED_BY(lock_) = 0;  // since Start
  // Set by Start before the writer thread starts, and not changed while it
  // runs: read by Submit under the lock, by the writer thread without.
  Options options_;
  bool stderrIsSystemJournal_ = false;
  // Started and joined by whoever starts and stops the writer.
  std::thread thread_;
  // The writer thread's alone while it runs.
  std::unique_ptr<RotatingFile> file_;
  std::string stderrRest_;              // the part of a line standard error has not taken yet
  bool stderrStuck_ = false;            // it takes nothing now; said once
  std::uint64_t stderrLostUnsaid_ = 0;  // lines it missed while stuck
  // The writer's own lines about it, still to write.
  std::vector<std::pair<Level, std::string>> stderrNotes_;
};

// The process's one writer, never destroyed: the message handler may run
// on any thread until the very end of the process.
JournalWriter& ProcessJournalWriter();

}  // namespace journal

#endif  // BRENNA_JOURNAL_JOURNALWRITER_H
