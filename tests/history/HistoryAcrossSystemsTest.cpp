// One archive format on both systems: the sample archive written by the
// Linux build and by the Windows build (ArchiveFill.exe under wine) is
// read by brenna-history and by brenna-history.exe, and every command
// prints the same bytes and ends with the same status on either archive
// with either program. brenna-history.exe finds the site's archive through
// a Pallix.ini beside it, as libPallix finds the site.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchiveSample.h"
#include "ChildProcess.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(90);

ProgramRun Execute(const std::vector<std::string>& argv) {
  ChildProcess::Options options;
  return RunProgram(argv, options, kPatience);
}

ProgramRun Linux(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {BRENNA_HISTORY_LINUX};
  argv.insert(argv.end(), args.begin(), args.end());
  return Execute(argv);
}

ProgramRun Windows(const std::vector<std::string>& args,
                   const std::string& program = BRENNA_HISTORY_WINDOWS) {
  std::vector<std::string> argv = {BRENNA_RUN_WINDOWS, program};
  argv.insert(argv.end(), args.begin(), args.end());
  return Execute(argv);
}

// The usage text after a refused argument names each system's own default
// archive: what comes before it is compared, and that it comes.
std::string BeforeUsage(const std::string& output) {
  return output.substr(0, output.find("Usage: brenna-history"));
}
bool HasUsage(const std::string& output) {
  return output.find("Usage: brenna-history") != std::string::npos;
}

// Z:\ is the whole Linux file system in a wine prefix.
std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

}  // namespace

TEST(HistoryAcrossSystems, BothProgramsReadArchivesOfBothSystemsAlike) {
  TempDir dir;
  const std::string fromLinux = dir.file("linux.sqlite");
  const std::string fromWindows = dir.file("windows.sqlite");
  ASSERT_EQ(3u, WriteArchiveSample(fromLinux));
  const ProgramRun fill = Execute({BRENNA_RUN_WINDOWS, BRENNA_WINDOWS_ARCHIVE_FILL, fromWindows});
  ASSERT_EQ(0, fill.status) << fill.Report();

  const std::vector<std::vector<std::string>> commands = {
      {"--day", kArchiveSampleDay},
      {"--day", kArchiveSampleDay, "--csv"},
      {"--group", "制动设备", "--operator", "工号7"},
      {"--show", "2"},
      {"--show", "3", "--csv"},
      {"--panel", std::string(kArchiveSampleDay) + " 10:42:20"},
      {"--runs", "--day", kArchiveSampleDay},
      {"--show", "99"},        // nothing to show: 3
      {"--group", "kitchen"},  // an argument it cannot take: 2
  };
  for (const std::vector<std::string>& command : commands) {
    std::string named;
    for (const std::string& a : command) named += a + " ";
    SCOPED_TRACE(named);
    const ProgramRun reference = Linux([&] {
      std::vector<std::string> a = {"--archive", fromLinux};
      a.insert(a.end(), command.begin(), command.end());
      return a;
    }());
    EXPECT_NE(-1, reference.status) << reference.Report();
    for (const std::string& archive : {fromLinux, fromWindows}) {
      std::vector<std::string> args = {"--archive", archive};
      args.insert(args.end(), command.begin(), command.end());
      for (const ProgramRun& run : {Linux(args), Windows(args)}) {
        EXPECT_EQ(reference.status, run.status) << run.Report();
        EXPECT_EQ(BeforeUsage(reference.output), BeforeUsage(run.output));
        EXPECT_EQ(HasUsage(reference.output), HasUsage(run.output));
      }
    }
  }
  // What the listing holds, so that equal outputs are no two empty ones.
  const ProgramRun list = Windows({"--archive", fromWindows, "--day", kArchiveSampleDay});
  ASSERT_EQ(0, list.status) << list.Report();
  EXPECT_NE(std::string::npos, list.output.find("lane2-brake-0815"));
  EXPECT_NE(std::string::npos, list.output.find("制动设备"));
  EXPECT_NE(std::string::npos, list.output.find("工号7"));
  // An archive that is not there: status 1 on both.
  EXPECT_EQ(1, Windows({"--archive", dir.file("none.sqlite")}).status);
}

TEST(HistoryAcrossSystems, TheWindowsProgramFindsTheSiteOfThePallixIniBesideIt) {
  // An installed monitor: brenna-history.exe beside libPallix.dll and a
  // Pallix.ini naming the site's base directory, where the archive lies.
  TempDir dir;
  const fs::path program = dir.path() / "program";
  const fs::path site = dir.path() / "site";
  fs::create_directories(program);
  fs::create_directories(site);
  fs::copy_file(BRENNA_HISTORY_WINDOWS, program / "brenna-history.exe");
  fs::copy_file(BRENNA_WINDOWS_PALLIX, program / "libPallix.dll");
  WriteFileBytes((program / "Pallix.ini").string(),
                 "[Site]\r\nBaseDir=" + WindowsPath(site) + "\r\n");
  ASSERT_EQ(3u, WriteArchiveSample((site / "archive.sqlite").string()));

  const ProgramRun run =
      Windows({"--day", kArchiveSampleDay}, (program / "brenna-history.exe").string());
  ASSERT_EQ(0, run.status) << run.Report();
  EXPECT_NE(std::string::npos, run.output.find("lane2-speed-0815")) << run.output;
}
