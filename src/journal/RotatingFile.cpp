#include "journal/RotatingFile.h"

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
  bool Truncate(int handle) override { return journal_io::Truncate(handle); }
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
  handle_ = fs_.OpenAppend(Path());
  if (handle_ < 0) {
    Note("cannot open " + Path() + ": lines go to stderr only");
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
    if (handle_ < 0) Note("cannot open " + path + " after rotating it: lines go to stderr only");
    return;
  }
  if (fs_.Truncate(handle_)) {
    size_ = 0;
    if (limits_.oldFiles > 0) Note("cannot rotate " + path + ": it was started afresh");
    return;
  }
  fs_.Close(handle_);
  handle_ = -1;
  Note("cannot rotate nor empty " + path + ": lines go to stderr only");
}

bool RotatingFile::Write(std::string_view line) {
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
  if (size_ > 0 && size_ + line.size() > limits_.fileBytes) {
    Rotate();
    if (handle_ < 0) return false;
  }
  if (line.size() > limits_.fileBytes) line = line.substr(0, limits_.fileBytes);
  if (!fs_.WriteAll(handle_, line.data(), line.size())) {
    if (!writeFailing_) Note("cannot write to " + Path() + " (disk full?)");
    writeFailing_ = true;
    const long long size = fs_.FileSize(handle_);
    size_ = size > 0 ? static_cast<std::uint64_t>(size) : size_;
    return false;
  }
  if (writeFailing_) Note("writing to " + Path() + " again");
  writeFailing_ = false;
  size_ += line.size();
  return true;
}

}  // namespace journal
