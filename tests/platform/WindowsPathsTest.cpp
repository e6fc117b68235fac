// The Windows side of the platform layer: the binding loads libPallix.dll
// with LoadLibrary from the program's own folder, and the library keeps its
// site under %LOCALAPPDATA% with Windows paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Pallix.h"
#include "TempDir.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

namespace {

std::string Field(const SiteConfig& cfg, size_t offset) {
  return std::string(reinterpret_cast<const char*>(cfg.bytes + offset));
}

void Collect(const PallixLogRecord* record, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(std::string(record->category) + ": " +
                                                             record->text);
}

}  // namespace

TEST(WindowsPaths, TheLibraryIsLoadedFromBesideTheProgramUnderItsDllNames) {
  SetPallixSystemDirectory("");
  const std::string dir = PallixSystemDirectory();
  ASSERT_GE(dir.size(), 3u);
  EXPECT_EQ(dir.substr(1, 2), ":\\") << dir;  // a drive, then Windows separators
  EXPECT_EQ(dir.find('/'), std::string::npos) << dir;
  EXPECT_EQ(PallixVariantFileName(1), "libPallix.dll");
  EXPECT_EQ(PallixVariantFileName(16), "libPallix16b.dll");

  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  ASSERT_EQ(LoadPallix(1), 1);
  // Forwarding operations reach the DLL's own functions.
  EXPECT_EQ(IsIPV4("127.0.0.1"), PALLIX_NOT_PROVIDED);
  char text[] = "  x";
  EXPECT_EQ(TrimLeft(text, ' '), 1);
  EXPECT_STREQ(text, "x");
  UnloadPallix();
  EXPECT_EQ(OpenNet(0, 0, 0, 0), PALLIX_NOT_LOADED);
  SetPallixSystemDirectory("");
}

TEST(WindowsPaths, TheDefaultSiteLiesUnderLocalAppDataWithWindowsSeparators) {
  const char* local = std::getenv("LOCALAPPDATA");
  ASSERT_NE(local, nullptr);
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  ASSERT_EQ(LoadPallix(1), 1);
  auto cfg = std::make_unique<SiteConfig>();
  ASSERT_EQ(GetDefaultPallix(cfg.get()), 1);
  const std::string base = Field(*cfg, PALLIX_SITE_BASE_DIR_OFFSET);
  const std::string spool = Field(*cfg, PALLIX_SITE_SPOOL_DIR_OFFSET);
  EXPECT_EQ(base, std::string(local) + "\\BrennaCenter");
  EXPECT_EQ(spool, base + "\\spool");

  // GetPallix makes the folders of a fresh install (no Pallix.ini beside the
  // DLL in the build tree).
  ASSERT_EQ(GetPallix(cfg.get()), 1);
  EXPECT_EQ(Field(*cfg, PALLIX_SITE_SPOOL_DIR_OFFSET), spool);
  EXPECT_TRUE(PathExists(spool));
  UnloadPallix();
  SetPallixSystemDirectory("");
}

// PallixSetLogSink is found in the DLL's own exports too: the library's
// reports reach the program from loading until just before release.
TEST(WindowsPaths, TheLibrarysReportsReachTheProgramFromLoadingToRelease) {
  std::vector<std::string> reports;
  SetPallixLogSink(&Collect, &reports, PALLIX_LOG_INFO);
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  ASSERT_EQ(LoadPallix(1), 1);
  EXPECT_TRUE(PallixLogSinkInstalled());
  ASSERT_EQ(reports.size(), 1u);
  // The library names its own file, a Windows path.
  EXPECT_EQ(reports[0].rfind("start: libPallix ", 0), 0u) << reports[0];
  EXPECT_NE(reports[0].find("\\libPallix.dll) reports here"), std::string::npos) << reports[0];
  UnloadPallix();
  EXPECT_FALSE(PallixLogSinkInstalled());
  SetPallixLogSink(nullptr, nullptr, PALLIX_LOG_INFO);
  SetPallixSystemDirectory("");
}

// An install under a Chinese folder and a Pallix.ini naming a Chinese base
// directory, both ending in a character with the second byte 0x5C: the
// binding loads the library from there, the library finds its settings, and
// the site's directories are named and made with exactly those bytes.
TEST(WindowsPaths, AChineseInstallAndSiteAreUsedByteForByte) {
  TempDir tmp;
  const std::string install = JoinPath(tmp.path().string(), Gbk("检测软件") + "\x81\x5C");
  ASSERT_EQ(MakeDirectories(install), FileFault::kNone);
  WriteFileBytes(JoinPath(install, "libPallix.dll"),
                 ReadFileBytes(std::string(BRENNA_PALLIX_DIR) + "\\libPallix.dll"));
  const std::string base = JoinPath(JoinPath(tmp.path().string(), Gbk("数据")), "\x81\x5C");
  WriteFileBytes(JoinPath(install, "Pallix.ini"), "[Site]\r\nBaseDir=" + base + "\r\n");

  SetPallixSystemDirectory(install);
  ASSERT_EQ(LoadPallix(1), 1);
  auto cfg = std::make_unique<SiteConfig>();
  EXPECT_EQ(GetPallix(cfg.get()), 1);
  EXPECT_EQ(Field(*cfg, PALLIX_SITE_BASE_DIR_OFFSET), base);
  EXPECT_EQ(Field(*cfg, PALLIX_SITE_SPOOL_DIR_OFFSET), base + "\\spool");
  EXPECT_TRUE(PathExists(base + "\\spool"));
  UnloadPallix();
  SetPallixSystemDirectory("");
}

// A base directory rooted without a drive ("\\data", or "/srv/data" as a
// Linux path reads under wine) lies on the drive of the library's folder,
// not below that folder.
TEST(WindowsPaths, ABaseDirectoryRootedWithoutADriveLiesOnTheLibrarysDrive) {
  TempDir tmp;
  const std::string install = tmp.path().string();
  ASSERT_GE(install.size(), 3u);
  ASSERT_EQ(install[1], ':') << install;
  WriteFileBytes(JoinPath(install, "libPallix.dll"),
                 ReadFileBytes(std::string(BRENNA_PALLIX_DIR) + "\\libPallix.dll"));
  // The folder's path without its drive, with Linux separators.
  std::string rooted = JoinPath(install, "site").substr(2);
  for (char& c : rooted)
    if (c == '\\') c = '/';
  WriteFileBytes(JoinPath(install, "Pallix.ini"), "[Site]\r\nBaseDir=" + rooted + "\r\n");

  SetPallixSystemDirectory(install);
  ASSERT_EQ(LoadPallix(1), 1);
  auto cfg = std::make_unique<SiteConfig>();
  EXPECT_EQ(GetPallix(cfg.get()), 1);
  EXPECT_EQ(Field(*cfg, PALLIX_SITE_BASE_DIR_OFFSET), JoinPath(install, "site"));
  EXPECT_TRUE(PathExists(JoinPath(JoinPath(install, "site"), "spool")));
  UnloadPallix();
  SetPallixSystemDirectory("");
}
