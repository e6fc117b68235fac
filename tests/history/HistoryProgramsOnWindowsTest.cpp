// brenna-history.exe as a monitor PC gets it, 64-bit and 32-bit: each holds
// its SQLite and needs nothing beside it but Windows itself, and the 64-bit
// one lists an archive written on Windows, taking a Chinese argument from
// the command line. (Both programs against archives of both systems: the
// Linux build's cross-platform case, tests/history/HistoryAcrossSystemsTest.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "ArchiveSample.h"
#include "ChildProcess.h"
#include "PeImports.h"
#include "TempDir.h"
#include "platform/Gbk.h"

TEST(HistoryProgramsOnWindows, BothArchitecturesHoldTheirSqliteAndImportOnlyWindowsOwnDlls) {
  struct Program {
    const char* path;
    std::uint16_t machine;
    bool pe32Plus;
  };
  const Program programs[] = {{BRENNA_HISTORY_X64, 0x8664, true},
                              {BRENNA_HISTORY_X86, 0x014C, false}};
  for (const Program& p : programs) {
    SCOPED_TRACE(p.path);
    EXPECT_EQ("", WhyNotStandalone(p.path, p.machine, p.pe32Plus));
    // SQLite is linked in: the header text it writes into every database.
    EXPECT_NE(std::string::npos, ReadFileBytes(p.path).find("SQLite format 3"));
  }
}

TEST(HistoryProgramsOnWindows, ListsAnArchiveWrittenOnWindows) {
  TempDir dir;
  const std::string archive = (dir.path() / "archive.sqlite").string();
  ASSERT_EQ(3u, WriteArchiveSample(archive));
  const auto history = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {BRENNA_HISTORY_X64, "--archive", archive});
    return RunProgram(args, ChildProcess::Options(), std::chrono::seconds(60));
  };

  const ProgramRun day = history({"--day", kArchiveSampleDay});
  ASSERT_EQ(0, day.status) << day.Report();
  EXPECT_NE(std::string::npos, day.output.find("lane2-speed-0815")) << day.output;
  EXPECT_NE(std::string::npos, day.output.find("工号7")) << day.output;
  EXPECT_NE(std::string::npos, day.output.find("3 results (")) << day.output;
  // The command line in the system's code page, as a console passes it:
  // the group by its Chinese caption.
  const ProgramRun brake = history({"--group", Gbk("制动设备")});
  ASSERT_EQ(0, brake.status) << brake.Report();
  EXPECT_NE(std::string::npos, brake.output.find("lane2-brake-0816")) << brake.output;
  EXPECT_EQ(std::string::npos, brake.output.find("lane2-speed-0815")) << brake.output;
  EXPECT_EQ(3, history({"--show", "99"}).status);
  EXPECT_EQ(2, history({"--limit", "0"}).status);
  const ProgramRun none = RunProgram({BRENNA_HISTORY_X64, "--archive", dir.file("none.sqlite")},
                                     ChildProcess::Options(), std::chrono::seconds(60));
  EXPECT_EQ(1, none.status) << none.Report();
}
