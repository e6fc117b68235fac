// Site configuration: the record's layout, the embedded default under the
// (test) user's data directory, and a settings file that points elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "Language.h"
#include "PallixTestSupport.h"
#include "SiteConfig.h"

using namespace pallix::site;
using namespace pallix_test;

namespace {

std::string Field(const SiteConfig& cfg, size_t offset) {
  return std::string(reinterpret_cast<const char*>(cfg.bytes + offset));
}

// Sets an environment variable for one test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(SiteConfig, RecordCarriesBothDirectoriesAtTheirOffsetsAndNothingElse) {
  static_assert(sizeof(SiteConfig) == 188910, "record size");
  Settings s;
  s.baseDir = "/srv/brenna";
  s.spoolDir = "/srv/brenna/spool";
  auto cfg = std::make_unique<SiteConfig>();
  std::memset(cfg->bytes, 0xAB, sizeof cfg->bytes);
  ASSERT_EQ(1, FillRecord(s, cfg.get()));
  EXPECT_EQ(s.baseDir, Field(*cfg, 7806));
  EXPECT_EQ(s.spoolDir, Field(*cfg, 9038));
  size_t nonZero = 0;
  for (unsigned char b : cfg->bytes) nonZero += b != 0;
  EXPECT_EQ(s.baseDir.size() + s.spoolDir.size(), nonZero);

  s.spoolDir = "/" + std::string(259, 's');  // 260 bytes: no room for the terminator
  EXPECT_EQ(-2, FillRecord(s, cfg.get()));
  EXPECT_EQ(s.baseDir, Field(*cfg, 7806));
  EXPECT_EQ("", Field(*cfg, 9038));
}

TEST(SiteConfig, DefaultLiesUnderTheUsersDataDirectory) {
  const std::string xdg = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(std::string::npos, xdg.find("test-home"));  // never the real home
  Settings s = DefaultSettings();
  EXPECT_EQ(xdg + "/brennacenter", s.baseDir);
  EXPECT_EQ(xdg + "/brennacenter/spool", s.spoolDir);
  EXPECT_TRUE(s.translationFile.empty());

  // A relative XDG_DATA_HOME does not count; HOME's .local/share does.
  ScopedEnv relative("XDG_DATA_HOME", "relative/data");
  const std::string home = std::getenv("HOME");
  EXPECT_EQ(home + "/.local/share/brennacenter", DefaultSettings().baseDir);
}

TEST(SiteConfig, GetPallixMakesTheDefaultDirectoriesOfAFreshInstall) {
  const fs::path data = ScratchDir("-data");
  ScopedEnv env("XDG_DATA_HOME", data.c_str());
  auto cfg = std::make_unique<SiteConfig>();
  // No settings file beside this test program: the embedded default.
  ASSERT_FALSE(fs::exists(SettingsFilePath()));
  EXPECT_EQ(1, GetPallix(cfg.get()));
  EXPECT_EQ((data / "brennacenter").string(), Field(*cfg, 7806));
  EXPECT_EQ((data / "brennacenter/spool").string(), Field(*cfg, 9038));
  EXPECT_TRUE(fs::is_directory(data / "brennacenter/spool"));

  auto defaults = std::make_unique<SiteConfig>();
  EXPECT_EQ(1, GetDefaultPallix(defaults.get()));
  EXPECT_EQ(0, std::memcmp(cfg->bytes, defaults->bytes, sizeof cfg->bytes));
  EXPECT_EQ(-1, GetPallix(nullptr));
  EXPECT_EQ(-1, GetDefaultPallix(nullptr));
}

TEST(SiteConfig, SettingsFilePointsElsewhere) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "Pallix.ini",
            "\xEF\xBB\xBF; site of line 2\n"
            "[site]\n"
            "  basedir = " +
                (dir / "base").string() +
                "/\n"
                "SpoolDir=\"incoming/spool\"\n"
                "Translation=lang/en.txt\n"
                "Future=ignored\n"
                "[ParamNames]\n"
                "\xcb\xd9\xb6\xc8=5000\n"
                "brake=5071\n");
  Settings s = ReadSettings((dir / "Pallix.ini").string());
  EXPECT_EQ((dir / "Pallix.ini").string(), s.settingsFile);
  EXPECT_EQ((dir / "base").string(), s.baseDir);
  EXPECT_EQ((dir / "incoming/spool").string(), s.spoolDir);  // relative to the file
  EXPECT_EQ((dir / "lang/en.txt").string(), s.translationFile);
  ASSERT_EQ(2u, s.paramNames.size());
  EXPECT_EQ("\xcb\xd9\xb6\xc8", s.paramNames[0].first);
  EXPECT_EQ("5000", s.paramNames[0].second);
  EXPECT_TRUE(s.problems.empty());

  EXPECT_TRUE(CreateDirectories(s));
  EXPECT_TRUE(fs::is_directory(dir / "base"));
  EXPECT_TRUE(fs::is_directory(dir / "incoming/spool"));
}

TEST(SiteConfig, ABaseDirectoryAloneBringsItsSpoolFolder) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "Pallix.ini", "[Site]\nBaseDir=/opt/line2\n");
  Settings s = ReadSettings((dir / "Pallix.ini").string());
  EXPECT_EQ("/opt/line2", s.baseDir);
  EXPECT_EQ("/opt/line2/spool", s.spoolDir);
}

TEST(SiteConfig, UnusableLinesAreSkippedAndReported) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "Pallix.ini",
            "[Site]\n"
            "BaseDir=/" +
                std::string(300, 'b') +
                "\n"
                "SpoolDir=\n"
                "this line has no equals sign\n"
                "[ParamNames]\n"
                "brake=fifty\n");
  Settings s = ReadSettings((dir / "Pallix.ini").string());
  Settings d = DefaultSettings();
  EXPECT_EQ(d.baseDir, s.baseDir);
  EXPECT_EQ(d.spoolDir, s.spoolDir);
  EXPECT_TRUE(s.paramNames.empty());
  EXPECT_EQ(4u, s.problems.size());

  Settings missing = ReadSettings((dir / "absent.ini").string());
  EXPECT_TRUE(missing.settingsFile.empty());
  EXPECT_EQ(d.baseDir, missing.baseDir);
}

TEST(SiteConfig, ADirectoryThatCannotBeMadeIsReported) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "blocker", "a file, not a folder");
  Settings s;
  s.baseDir = (dir / "ok").string();
  s.spoolDir = (dir / "blocker/spool").string();
  EXPECT_FALSE(CreateDirectories(s));
  EXPECT_TRUE(fs::is_directory(dir / "ok"));
}

// A settings or translation file that is no file (a FIFO nobody writes, a
// device's endless stream) is refused at once, never waited on or read to
// the end; so is one beyond the size bound. A link to a real file is read.
TEST(SiteConfig, SettingsAndTranslationFilesThatAreNoFilesAreRefusedAtOnce) {
  const fs::path dir = ScratchDir();
  const Settings d = DefaultSettings();
  ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
  fs::create_symlink("/dev/zero", dir / "zero");
  WriteFile(dir / "big.ini", "[Site]\n; " + std::string(kMaxSettingsFileBytes, 'x') + "\n");
  for (const char* name : {"fifo", "zero", "big.ini"}) {
    SCOPED_TRACE(name);
    const Settings s = ReadSettings((dir / name).string());
    EXPECT_EQ(d.baseDir, s.baseDir);
    EXPECT_TRUE(s.settingsFile.empty());
    ASSERT_EQ(1u, s.problems.size());
    EXPECT_EQ(0u, s.problems[0].rfind("not read: it ", 0)) << s.problems[0];
    EXPECT_FALSE(pallix::language::Load((dir / name).string()));
  }
  WriteFile(dir / "real.ini", "[Site]\nBaseDir=/opt/line3\n");
  fs::create_symlink(dir / "real.ini", dir / "Pallix.ini");
  EXPECT_EQ("/opt/line3", ReadSettings((dir / "Pallix.ini").string()).baseDir);
}

TEST(Language, TranslationsReplaceTextsAndStayValid) {
  const fs::path dir = ScratchDir();
  const std::string monitor = "\xca\xfd\xbe\xdd\xbc\xe0\xbf\xd8";  // 数据监控
  WriteFile(dir / "en.txt", "# English\n" + monitor + " = Data monitor\nnot a line\n");
  WriteFile(dir / "de.txt", monitor + "=Datenmonitor\n");

  ASSERT_TRUE(pallix::language::Load((dir / "en.txt").string()));
  const char* en = pallix::language::Translate(monitor.c_str());
  EXPECT_STREQ("Data monitor", en);
  const char* other = "other";
  EXPECT_EQ(other, pallix::language::Translate(other));  // the text itself
  EXPECT_STREQ("", pallix::language::Translate(nullptr));

  ASSERT_TRUE(pallix::language::Load((dir / "de.txt").string()));
  EXPECT_STREQ("Datenmonitor", pallix::language::Translate(monitor.c_str()));
  EXPECT_STREQ("Data monitor", en);  // an earlier answer never dangles

  EXPECT_FALSE(pallix::language::Load((dir / "missing.txt").string()));
  EXPECT_EQ(monitor.c_str(), pallix::language::Translate(monitor.c_str()));
  ASSERT_TRUE(pallix::language::Load(""));
}
