// The journal file's bound: rotation into numbered files, and what happens
// when rotation or the directory fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <string>

#include "SmallFileSystem.h"
#include "TempDir.h"
#include "journal/RotatingFile.h"

namespace fs = std::filesystem;
using journal::JournalFileSystem;
using journal::RotatingFile;
using journal_io::FileResult;

namespace {

// The real file system, with chosen operations failing.
class FailingFileSystem : public JournalFileSystem {
 public:
  bool failRename = false;
  bool failTruncate = false;

  bool CreateDirectory(const std::string& dir) override { return real().CreateDirectory(dir); }
  int OpenAppend(const std::string& path) override { return real().OpenAppend(path); }
  long long FileSize(int handle) override { return real().FileSize(handle); }
  bool WriteAll(int handle, const char* data, std::size_t size) override {
    return real().WriteAll(handle, data, size);
  }
  bool IsFileAt(int handle, const std::string& path) override {
    return real().IsFileAt(handle, path);
  }
  bool Truncate(int handle, std::uint64_t size) override {
    return !failTruncate && real().Truncate(handle, size);
  }
  void Close(int handle) override { real().Close(handle); }
  FileResult Rename(const std::string& from, const std::string& to) override {
    return failRename ? FileResult::kFailed : real().Rename(from, to);
  }
  FileResult Remove(const std::string& path) override { return real().Remove(path); }

 private:
  static JournalFileSystem& real() { return journal::RealJournalFileSystem(); }
};

std::string Line(int n) {
  std::string line = "line " + std::to_string(n) + " ";
  line.resize(99, 'x');
  return line + "\n";
}

std::uintmax_t TotalSize(const fs::path& dir) {
  std::uintmax_t total = 0;
  for (const auto& entry : fs::directory_iterator(dir)) total += entry.file_size();
  return total;
}

constexpr RotatingFile::Limits kLimits{1000, 3};

}  // namespace

TEST(RotatingFile, RotatesIntoNumberedFilesPrivatelyAndDropsTheOldest) {
  TempDir tmp;
  const fs::path dir = tmp.path() / "state" / "brennacenter";
  RotatingFile file(journal::RealJournalFileSystem(), dir.string(), "monitor.log", kLimits);
  ASSERT_TRUE(file.Open());
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(file.Write(Line(i)));

  EXPECT_EQ((fs::status(dir).permissions() & fs::perms::all), fs::perms::owner_all);
  EXPECT_EQ((fs::status(dir / "monitor.log").permissions() & fs::perms::all),
            fs::perms::owner_read | fs::perms::owner_write);
  for (const char* name : {"monitor.log", "monitor.log.1", "monitor.log.2", "monitor.log.3"}) {
    ASSERT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_LE(fs::file_size(dir / name), kLimits.fileBytes) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "monitor.log.4"));
  EXPECT_LE(TotalSize(dir), RotatingFile::Bound(kLimits));
  // Ten lines a file: the newest in monitor.log, the ones before in .1.
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log").string()).substr(0, 100), Line(90));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log.1").string()).substr(0, 100), Line(80));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log.3").string()).substr(0, 100), Line(60));
  EXPECT_EQ(file.TakeTrouble(), "");
}

TEST(RotatingFile, AFileRemovedOrMovedAwayIsMadeAgain) {
  TempDir tmp;
  const fs::path dir = tmp.path() / "brennacenter";
  RotatingFile::Limits checkEveryWrite = kLimits;
  checkEveryWrite.recheck = std::chrono::milliseconds(0);
  RotatingFile file(journal::RealJournalFileSystem(), dir.string(), "monitor.log", checkEveryWrite);
  ASSERT_TRUE(file.Open());
  ASSERT_TRUE(file.Write(Line(0)));
  fs::remove_all(dir);  // someone tidies the state directory
  ASSERT_TRUE(file.Write(Line(1)));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log").string()), Line(1));
  fs::rename(dir / "monitor.log", tmp.path() / "kept.log");  // or takes the file away
  ASSERT_TRUE(file.Write(Line(2)));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log").string()), Line(2));
  EXPECT_EQ(ReadFileBytes((tmp.path() / "kept.log").string()), Line(1));
  EXPECT_NE(file.TakeTrouble().find("was removed or moved away: started it again"),
            std::string::npos);
}

TEST(RotatingFile, WhenRenamingFailsTheFileStartsAfreshAndStaysWithinItsSize) {
  TempDir tmp;
  FailingFileSystem failing;
  failing.failRename = true;
  RotatingFile file(failing, tmp.path().string(), "monitor.log", kLimits);
  ASSERT_TRUE(file.Open());
  for (int i = 0; i < 10000; ++i) file.Write(Line(i));
  EXPECT_LE(fs::file_size(tmp.path() / "monitor.log"), kLimits.fileBytes);
  EXPECT_EQ(ReadFileBytes((tmp.path() / "monitor.log").string()).substr(0, 100), Line(9990));
  EXPECT_NE(file.TakeTrouble().find("cannot rotate"), std::string::npos);

  // Cannot be emptied either: given up, the file does not grow any more.
  failing.failTruncate = true;
  for (int i = 0; i < 20; ++i) file.Write(Line(i));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(file.TakeTrouble().find("lines go to stderr only"), std::string::npos);
  EXPECT_LE(fs::file_size(tmp.path() / "monitor.log"), kLimits.fileBytes);
  EXPECT_LE(TotalSize(tmp.path()), RotatingFile::Bound(kLimits));
}

// A FIFO put in the journal file's place is refused at once, with and
// without a reader at its other end, and says why: the monitor's start
// never waits on it, and no line goes into it.
TEST(RotatingFile, AFifoInTheFilesPlaceIsRefusedWithoutWaiting) {
  TempDir tmp;
  const std::string fifo = tmp.file("monitor.log");
  if (!MakeFifo(fifo)) GTEST_SKIP() << "no FIFOs on this system";
  RotatingFile alone(journal::RealJournalFileSystem(), tmp.path().string(), "monitor.log", kLimits);
  EXPECT_FALSE(alone.Open());
  EXPECT_NE(alone.TakeTrouble().find("monitor.log: it is not a regular file"), std::string::npos);
#if !defined(_WIN32)
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  RotatingFile read(journal::RealJournalFileSystem(), tmp.path().string(), "monitor.log", kLimits);
  EXPECT_FALSE(read.Open());
  EXPECT_FALSE(read.Write(Line(0)));
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);
#endif
}
