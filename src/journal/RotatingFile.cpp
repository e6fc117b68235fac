#include "journal/RotatingFile.h"

#include <algorithm>
#include <utility>

namespace journal {

namespace {

class RealFileSystem final : public JournalFileSystem {
 public:
  bool CreateDirectory(const std::string& dir) override {
    return journal_io::CreatePrivateDirectory(dir);
  }
  int OpenAppend(const std::string& path) override { return journal_io::OpenAppend(path); }
  long long FileSize(int handle) override { return journal_io::FileSize(handle); }
  bool WriteAll(int handle, const char* data, std::size_t size) override {
    return journal_io::WriteAll(handle, data, size);
  }
  bool IsFileAt(int handle, const std::string& path) override {
    return journal_io::IsFileAt(handle, path);
  }
  bool Truncate(int handle, std::uint64_t size) override {
    return journal_io::Truncate(handle, size);
  }
  void Close(int handle) override { journal_io::Close(handle); }
  journal_io::FileResult Rename(const std::string& from, const std::string& to) override {
    return journal_io::Rename(from, to);
  }
  journal_io::FileResult Remove(const std::string& path) override {
    return journal_io::Remove(path);
  }
};

// Lines tried against a closed file before it is opened again.
constexpr unsigned kRetryEvery = 256;

// Enough of the file's end for its last line (a line is at most 8 KiB) and
// usually a few before it.
constexpr std::size_t kTailBytes = 8 * 1024 + 2;

std::uint64_t CountLines(std::string_view text) {
  std::uint64_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace

JournalFileSystem& RealJournalFileSystem() {
  static RealFileSystem* fs = new RealFileSystem();  // used until the very end
  return *fs;
}

RotatingFile::RotatingFile(JournalFileSystem& fs, std::string directory, std::string name,
                           Limits limits)
    : fs_(fs), directory_(std::move(directory)), name_(std::move(name)), limits_(limits) {
  if (limits_.oldFiles < 0) limits_.oldFiles = 0;
}

RotatingFile::~RotatingFile() {
  if (handle_ >= 0) fs_.Close(handle_);
}

void RotatingFile::Note(const std::string& trouble) {
  if (!trouble_.empty()) trouble_ += "; ";
  trouble_ += trouble;
}

std::string RotatingFile::TakeTrouble() { return std::exchange(trouble_, std::string()); }

bool RotatingFile::Open() {
  if (handle_ >= 0) return true;
  if (!fs_.CreateDirectory(directory_)) {
    Note("cannot create the journal directory " + directory_ + ": lines go to stderr only");
    return false;
  }
  if (!tailTaken_) {
    tailTaken_ = true;
    previousTail_ = fs_.ReadTail(Path(), kTailBytes);
  }
  handle_ = fs_.OpenAppend(Path());
  if (handle_ < 0) {
    Note("cannot open " + Path() +
         (handle_ == journal_io::kNotRegularFile
              ? ": it is not a regular file (a link, FIFO, device or folder put there?)"
              : std::string()) +
         ": lines go to stderr only");
    handle_ = -1;
    return false;
  }
  const long long size = fs_.FileSize(handle_);
  size_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  return true;
}

void RotatingFile::Reopen() {
  fs_.Close(handle_);
  handle_ = -1;
  if (Open()) Note("journal file " + Path() + " was removed or moved away: started it again");
}

void RotatingFile::Rotate() {
  const std::string path = Path();
  // The directory may have been removed meanwhile: rotation makes it again.
  fs_.CreateDirectory(directory_);
  if (limits_.oldFiles > 0) {
    // Whatever fails here, the names stay the same few: the bound holds.
    fs_.Remove(path + "." + std::to_string(limits_.oldFiles));
    for (int i = limits_.oldFiles - 1; i >= 1; --i) {
      fs_.Rename(path + "." + std::to_string(i), path + "." + std::to_string(i + 1));
    }
  }
  const journal_io::FileResult moved =
      limits_.oldFiles > 0 ? fs_.Rename(path, path + ".1") : journal_io::FileResult::kFailed;
  if (moved != journal_io::FileResult::kFailed) {
    // Renamed, or gone: either way a new file begins.
    fs_.Close(handle_);
    handle_ = fs_.OpenAppend(path);
    size_ = 0;
    if (handle_ < 0) {
      handle_ = -1;
      Note("cannot open " + path + " after rotating it: lines go to stderr only");
    }
    return;
  }
  if (fs_.Truncate(handle_, 0)) {
    size_ = 0;
    if (limits_.oldFiles > 0) Note("cannot rotate " + path + ": it was started afresh");
    return;
  }
  fs_.Close(handle_);
  handle_ = -1;
  Note("cannot rotate nor empty " + path + ": lines go to stderr only");
}

bool RotatingFile::ReadyToWrite(std::size_t bytes) {
  if (handle_ < 0) {
    if (++linesSinceFailure_ < kRetryEvery) return false;
    linesSinceFailure_ = 0;
    const std::string before = trouble_;
    if (!Open()) {
      trouble_ = before;  // said once already
      return false;
    }
    Note("journal file " + Path() + " open again");
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastCheck_ >= limits_.recheck) {
    lastCheck_ = now;
    if (!fs_.IsFileAt(handle_, Path())) {
      Reopen();
      if (handle_ < 0) return false;
    }
  }
  // Another writer (a second monitor of the same user) may have added to it.
  const long long actual = fs_.FileSize(handle_);
  if (actual >= 0) size_ = static_cast<std::uint64_t>(actual);
  if (size_ > 0 && size_ + bytes > limits_.fileBytes) {
    Rotate();
    if (handle_ < 0) return false;
  }
  return true;
}

void RotatingFile::AfterFailedWrite(std::string_view lines, std::string_view text,
                                    std::uint64_t before) {
  // Part of it may have gone in before the disk filled up: the file keeps
  // what ends in a line break, and the half line after it is taken back.
  const long long after = fs_.FileSize(handle_);
  std::size_t kept = 0;
  if (after > 0 && static_cast<std::uint64_t>(after) > before) {
    const std::size_t wrote = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(after) - before, text.size()));
    const std::string_view::size_type nl = text.rfind('\n', wrote - 1);
    kept = nl == std::string_view::npos ? 0 : nl + 1;
    if (kept < wrote && !fs_.Truncate(handle_, before + kept)) kept = wrote;
    if (kept > 0) torn_ = text[kept - 1] != '\n';
  }
  // The lines that reached the file whole (the leading break that ends a
  // torn line is none of them).
  std::uint64_t whole = CountLines(text.substr(0, kept));
  if (whole > 0 && text[0] == '\n' && text.size() > lines.size()) --whole;
  lostLines_ += CountLines(lines) - whole;
  if (!writeFailing_) Note("cannot write to " + Path() + " (disk full?)");
  writeFailing_ = true;
  const long long size = fs_.FileSize(handle_);
  size_ = size > 0 ? static_cast<std::uint64_t>(size) : size_;
}

bool RotatingFile::Write(std::string_view lines) {
  if (!ReadyToWrite(lines.size())) {
    lostLines_ += CountLines(lines);
    return false;
  }
  if (lines.size() > limits_.fileBytes) lines = lines.substr(0, limits_.fileBytes);
  // A line cut earlier, which could not be taken back, is ended first so
  // that the next line starts a line of its own.
  std::string ended;
  std::string_view text = lines;
  if (torn_) {
    ended = "\n" + std::string(lines);
    text = ended;
  }
  const std::uint64_t before = size_;
  if (!fs_.WriteAll(handle_, text.data(), text.size())) {
    AfterFailedWrite(lines, text, before);
    return false;
  }
  torn_ = false;
  if (writeFailing_ || lostLines_ > 0) {
    std::string again = "writing to " + Path() + " again";
    if (lostLines_ > 0) {
      again += ": " + std::to_string(lostLines_) + " line" + (lostLines_ == 1 ? "" : "s") +
               " could not be written to it meanwhile";
    }
    Note(again);
  }
  writeFailing_ = false;
  lostLines_ = 0;
  size_ += text.size();
  return true;
}

}  // namespace journal
