// The journal file's Windows side: rotation of the open file, privacy by
// the access list instead of permission bits, and a file moved away under
// the running monitor (Windows never lets the directory of an open file be
// removed).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "TempDir.h"
#include "TestFiles.h"
#include "journal/RotatingFile.h"

namespace fs = std::filesystem;
using journal::RotatingFile;

namespace {

std::string Line(int n) {
  std::string line = "line " + std::to_string(n) + " ";
  line.resize(99, 'x');
  return line + "\n";
}

constexpr RotatingFile::Limits kLimits{1000, 3};

}  // namespace

TEST(RotatingFileOnWindows, RotatesTheOpenFileIntoNumberedFilesOnlyTheUserMayOpen) {
  TempDir tmp;
  const fs::path dir = tmp.path() / "state" / "brennacenter";
  RotatingFile file(journal::RealJournalFileSystem(), dir.string(), "monitor.log", kLimits);
  ASSERT_TRUE(file.Open());
  EXPECT_EQ(file.Path(), dir.string() + "\\monitor.log");
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(file.Write(Line(i)));

  EXPECT_EQ(test_files::WhyNotPrivate(dir.string()), "");
  EXPECT_EQ(test_files::WhyNotPrivate((dir.parent_path()).string()),
            "");  // made by the journal too
  for (const char* name : {"monitor.log", "monitor.log.1", "monitor.log.2", "monitor.log.3"}) {
    ASSERT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_LE(fs::file_size(dir / name), kLimits.fileBytes) << name;
    EXPECT_EQ(test_files::WhyNotPrivate((dir / name).string()), "") << name;
  }
  EXPECT_FALSE(fs::exists(dir / "monitor.log.4"));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log").string()).substr(0, 100), Line(90));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log.3").string()).substr(0, 100), Line(60));
  EXPECT_EQ(file.TakeTrouble(), "");
}

TEST(RotatingFileOnWindows, AFileMovedAwayWhileOpenIsMadeAgain) {
  TempDir tmp;
  const fs::path dir = tmp.path() / "brennacenter";
  RotatingFile::Limits checkEveryWrite = kLimits;
  checkEveryWrite.recheck = std::chrono::milliseconds(0);
  RotatingFile file(journal::RealJournalFileSystem(), dir.string(), "monitor.log", checkEveryWrite);
  ASSERT_TRUE(file.Open());
  ASSERT_TRUE(file.Write(Line(0)));
  // Someone takes the file away (the monitor's handle lets it be moved).
  ASSERT_TRUE(MoveFileA((dir / "monitor.log").string().c_str(),
                        (tmp.path() / "kept.log").string().c_str()));
  ASSERT_TRUE(file.Write(Line(1)));
  EXPECT_EQ(ReadFileBytes((dir / "monitor.log").string()), Line(1));
  EXPECT_EQ(ReadFileBytes((tmp.path() / "kept.log").string()), Line(0));
  EXPECT_NE(file.TakeTrouble().find("was removed or moved away: started it again"),
            std::string::npos);
}
