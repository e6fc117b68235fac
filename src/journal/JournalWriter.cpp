#include "journal/JournalWriter.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <system_error>
#include <utility>

#include "journal/JournalLine.h"
#include "platform/JournalIo.h"

namespace journal {

namespace {

// A longer line is cut: no single message may take a noticeable part of
// the file.
constexpr std::size_t kMaxLine = 8192;
// The most bytes written with one system call.
constexpr std::size_t kMaxChunk = 64 * 1024;

// syslog priorities, as the system journal reads them from "<N>".
int PriorityOf(Level level) {
  switch (level) {
    case Level::kDebug:
      return 7;
    case Level::kInfo:
      return 6;
    case Level::kWarning:
      return 4;
    default:
      return 3;
  }
}

}  // namespace

JournalWriter::~JournalWriter() { Stop(); }

bool JournalWriter::Start(const Options& options) {
  Stop();
  std::unique_ptr<RotatingFile> file;
  bool opened = true;
  if (!options.directory.empty()) {
    JournalFileSystem& fs =
        options.fileSystem != nullptr ? *options.fileSystem : RealJournalFileSystem();
    file = std::make_unique<RotatingFile>(fs, options.directory, options.fileName, options.limits);
    opened = file->Open();
  }
  MutexLock guard(lock_);
  options_ = options;
  previousTail_ = file ? file->PreviousTail() : std::string();
  lastSubmitted_ = std::chrono::steady_clock::now();
  stderrLost_ = 0;
  stderrRest_.clear();
  stderrStuck_ = false;
  stderrLostUnsaid_ = 0;
  stderrNotes_.clear();
  stderrIsSystemJournal_ = options.toStderr && journal_io::StderrIsSystemJournal();
  filePath_ = file ? file->Path() : std::string();
  file_ = std::move(file);
  queue_.clear();
  queuedBytes_ = 0;
  submitted_ = done_ = dropped_ = droppedUnsaid_ = 0;
  stopping_ = false;
  running_ = true;
  try {
    thread_ = std::thread(&JournalWriter::Run, this);
  } catch (const std::system_error&) {
    // No thread: lines go straight to standard error, as after Stop.
    running_ = false;
    file_.reset();
    filePath_.clear();
    return false;
  }
  return opened;
}

void JournalWriter::Stop() {
  {
    MutexLock guard(lock_);
    if (!thread_.joinable()) return;
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void JournalWriter::Submit(Level level, std::string line, std::size_t stampLength) {
  if (line.size() > kMaxLine) {
    std::size_t cut = kMaxLine - 3;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
    line += "...";
  }
  RelockableLock guard(lock_);
  if (!running_) {
    guard.Unlock();
    line += '\n';
    journal_io::WriteToStderr(line.data(), line.size());
    return;
  }
  ++submitted_;
  lastSubmitted_ = std::chrono::steady_clock::now();
  if (queue_.size() >= options_.maxQueuedLines ||
      queuedBytes_ + line.size() > options_.maxQueuedBytes) {
    ++dropped_;
    ++droppedUnsaid_;
    ++done_;
    return;
  }
  // The writer wakes for the first line of a batch; it takes the whole
  // queue at once, so later ones need no wake-up of their own.
  const bool wasEmpty = queue_.empty();
  queuedBytes_ += line.size();
  queue_.push_back(Entry{level, std::move(line), stampLength});
  guard.Unlock();
  if (wasEmpty) wake_.notify_one();
}

void JournalWriter::Drain() {
  MutexLock guard(lock_);
  const std::uint64_t target = submitted_;
  while (running_ && done_ < target) written_.wait(lock_);
}

std::uint64_t JournalWriter::DroppedLines() const {
  MutexLock guard(lock_);
  return dropped_;
}

std::uint64_t JournalWriter::StderrLostLines() const {
  MutexLock guard(lock_);
  return stderrLost_;
}

std::string JournalWriter::FilePath() const {
  MutexLock guard(lock_);
  return filePath_;
}

std::string JournalWriter::PreviousTail() const {
  MutexLock guard(lock_);
  return previousTail_;
}

std::chrono::steady_clock::time_point JournalWriter::LastSubmitted() const {
  MutexLock guard(lock_);
  return lastSubmitted_;
}

namespace {

std::uint64_t CountLines(std::string_view text) {
  return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

void JournalWriter::StderrLost(std::uint64_t lines) {
  if (lines == 0) return;
  {
    MutexLock guard(lock_);
    stderrLost_ += lines;
  }
  stderrLostUnsaid_ += lines;
  if (!stderrStuck_) {
    stderrStuck_ = true;
    stderrNotes_.emplace_back(
        Level::kWarning,
        std::string("standard error takes no more lines (a terminal on hold, or a pipe nobody "
                    "reads): its lines are counted and left out") +
            (file_ ? ", the journal file still gets every one" : ""));
  }
}

void JournalWriter::SendToStderr(const std::string& text) {
  // The rest of a line it took only in part goes first; until it has gone,
  // nothing else can follow without making one line of two.
  if (!stderrRest_.empty()) {
    const std::size_t n = journal_io::WriteToStderr(stderrRest_.data(), stderrRest_.size());
    stderrRest_.erase(0, n);
    if (!stderrRest_.empty()) {
      StderrLost(CountLines(text));
      return;
    }
  }
  const std::size_t n = journal_io::WriteToStderr(text.data(), text.size());
  std::size_t from = n;
  if (n < text.size() && n > 0 && text[n - 1] != '\n') {
    const std::string::size_type end = text.find('\n', n);
    from = end == std::string::npos ? text.size() : end + 1;
    stderrRest_.assign(text, n, from - n);
  }
  if (from < text.size()) {
    StderrLost(CountLines(std::string_view(text).substr(from)));
  } else if (stderrStuck_ && stderrRest_.empty()) {
    stderrStuck_ = false;
    stderrNotes_.emplace_back(Level::kInfo, "standard error takes lines again: " +
                                                FormatCount(std::exchange(stderrLostUnsaid_, 0)) +
                                                " journal lines were left out of it meanwhile");
  }
}

void JournalWriter::WriteOut(const std::deque<Entry>& entries) {
  // Lines go out in chunks, one system call each; a chunk is small against
  // a file's size, so rotation still keeps every file within it.
  const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(
      kMaxChunk, std::max<std::uint64_t>(options_.limits.fileBytes / 8, 1)));
  std::string toStderr;
  std::string toFile;
  const auto flushStderr = [&] {
    SendToStderr(toStderr);
    toStderr.clear();
  };
  const auto flushFile = [&] {
    file_->Write(toFile);
    toFile.clear();
  };
  for (const Entry& entry : entries) {
    if (options_.toStderr) {
      if (toStderr.size() + entry.line.size() >= kMaxChunk) flushStderr();
      if (stderrIsSystemJournal_ && entry.stampLength < entry.line.size()) {
        toStderr += "<" + std::to_string(PriorityOf(entry.level)) + ">";
        toStderr.append(entry.line, entry.stampLength + 1, std::string::npos);
      } else {
        toStderr += entry.line;
      }
      toStderr += '\n';
    }
    if (file_) {
      if (!toFile.empty() && toFile.size() + entry.line.size() + 1 > chunk) flushFile();
      toFile += entry.line;
      toFile += '\n';
    }
  }
  if (!toStderr.empty()) flushStderr();
  if (!toFile.empty()) flushFile();
}

void JournalWriter::WriteOwnLine(Level level, const std::string& text) {
  std::deque<Entry> own;
  own.push_back(Entry{
      level,
      FormatLine(std::chrono::system_clock::now(), level, CategoryName(Category::kJournal), text),
      kStampLength});
  WriteOut(own);
}

void JournalWriter::Run() {
  RelockableLock guard(lock_);
  for (;;) {
    guard.Unlock();
    if (file_) {
      const std::string trouble = file_->TakeTrouble();
      if (!trouble.empty()) WriteOwnLine(Level::kWarning, trouble);
    }
    guard.Lock();
    while (!stopping_ && queue_.empty()) wake_.wait(lock_);
    if (queue_.empty()) break;  // stopping, and everything written
    std::deque<Entry> batch;
    batch.swap(queue_);
    queuedBytes_ = 0;
    const std::uint64_t dropped = std::exchange(droppedUnsaid_, 0);
    guard.Unlock();
    WriteOut(batch);
    if (dropped > 0) {
      WriteOwnLine(Level::kWarning, FormatCount(dropped) +
                                        " journal lines dropped: more came than could be written");
    }
    // Said after the lines they are about; a note may itself lead to
    // another (standard error stuck again), said with the next batch.
    std::vector<std::pair<Level, std::string>> notes;
    notes.swap(stderrNotes_);
    for (const auto& [level, note] : notes) WriteOwnLine(level, note);
    guard.Lock();
    done_ += batch.size();
    written_.notify_all();
  }
  // Lines submitted from now on go straight to standard error.
  file_.reset();
  running_ = false;
  filePath_.clear();
  written_.notify_all();
  // Joined by Stop.
}

JournalWriter& ProcessJournalWriter() {
  static JournalWriter* writer = new JournalWriter();
  return *writer;
}

}  // namespace journal
