#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "TempDir.h"
#include "TestFiles.h"
#include "platform/FileOps.h"
#include "platform/FileStore.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"
#include "util/PrivateProfile.h"
#include "util/TextNumber.h"

namespace {

const std::string kSection = Gbk("端口号");

class IniFileTest : public ::testing::Test {
 protected:
  // The names in the test's directory.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir;
  std::string ini = dir.file("BrennaCenter.ini");
  CIniFile m_ini;
};

// The file system with one step of a write failing, as a file no one may
// read, a full disk, a yanked drive or a foreign owner makes it fail.
class FailingStore : public FileStore {
 public:
  enum class Step { kRead, kCreateAside, kWrite, kKeepOwnerAndMode, kFlush, kClose, kRename };
  explicit FailingStore(Step step) : m_step(step) {}

  ReadResult Read(const std::string& path, std::string* bytes) override {
    if (m_step == Step::kRead) return ReadResult::kFailed;
    return FileStore::Read(path, bytes);
  }

 protected:
  int CreateAside(const std::string& path, bool keepPrivate, std::string* aside) override {
    if (m_step == Step::kCreateAside) return -1;
    return FileStore::CreateAside(path, keepPrivate, aside);
  }
  bool Write(int fd, const char* data, std::size_t n) override {
    if (m_step != Step::kWrite) return FileStore::Write(fd, data, n);
    FileStore::Write(fd, data, n / 2);  // half of it on disk, then the disk is full
    return false;
  }
  bool KeepOwnerAndMode(int fd, const FileInfo& info) override {
    return m_step != Step::kKeepOwnerAndMode && FileStore::KeepOwnerAndMode(fd, info);
  }
  bool Flush(int fd) override { return m_step != Step::kFlush && FileStore::Flush(fd); }
  bool Close(int fd) override { return FileStore::Close(fd) && m_step != Step::kClose; }
  bool Rename(const std::string& from, const std::string& to) override {
    return m_step != Step::kRename && FileStore::Rename(from, to);
  }

 private:
  Step m_step;
};

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 10004, ini), 10004);
  EXPECT_EQ(m_ini.GetString(kSection, "Port", "none", ini), "none");
  EXPECT_FALSE(std::filesystem::exists(ini)) << "reading must not create the file";

  WriteFileBytes(ini, "[other]\nPort=1\n[" + kSection + "]\nHost=x\nPort=\n");
  EXPECT_EQ(m_ini.GetInt("missing", "Port", 10004, ini), 10004);
  EXPECT_EQ(m_ini.GetInt(kSection, "Missing", 10004, ini), 10004);
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 10004, ini), 10004) << "an empty value reads as default";
  EXPECT_EQ(m_ini.GetString(kSection, "Port", "none", ini), "");
}

TEST_F(IniFileTest, WriteIntCreatesTheFileAndReadsBack) {
  m_ini.WriteInt(kSection, "Port", 10010, ini);
  ASSERT_TRUE(std::filesystem::exists(ini));
  EXPECT_EQ(ReadFileBytes(ini), "[" + kSection + "]\nPort=10010\n");
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 10004, ini), 10010);
  m_ini.WriteInt(kSection, "Port", -5, ini);
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 10004, ini), -5);
}

TEST_F(IniFileTest, LookupIgnoresAsciiCaseAndBlanks) {
  WriteFileBytes(ini, "; written by hand\r\n  [ " + kSection +
                          " ]  trailing\r\n"
                          "  PORT   =   10020  \r\n[SeTtInGs]\r\nName = \"Line 1\"\r\n");
  EXPECT_EQ(m_ini.GetInt(kSection, "port", 1, ini), 10020);
  EXPECT_EQ(m_ini.GetString("settings", "NAME", "", ini), "Line 1");
}

TEST_F(IniFileTest, CommentsAndFirstMatchWin) {
  WriteFileBytes(ini, "[a]\n;Port=1\nPort=2\nPort=3\n[A]\nPort=4\n");
  EXPECT_EQ(m_ini.GetInt("a", "Port", 0, ini), 2);
  m_ini.WriteInt("A", "Port", 9, ini);
  EXPECT_EQ(ReadFileBytes(ini), "[a]\n;Port=1\nPort=9\nPort=3\n[A]\nPort=4\n");
}

TEST_F(IniFileTest, GbkNamesNeverFoldTheirTrailBytes) {
  // 0x81 0x41 and 0x81 0x61 are two different GBK characters whose trail
  // bytes happen to be 'A' and 'a'.
  WriteFileBytes(ini, "[\x81\x41]\nk=1\n[\x81\x61]\nk=2\n");
  EXPECT_EQ(m_ini.GetInt("\x81\x61", "k", 0, ini), 2);
  EXPECT_EQ(m_ini.GetInt("\x81\x41", "k", 0, ini), 1);
  // 0x81 0x5D holds a ']' as its trail byte: the header still ends at the real one.
  WriteFileBytes(ini, "[x\x81\x5Dy]\nk=3\n");
  EXPECT_EQ(m_ini.GetInt("x\x81\x5Dy", "k", 0, ini), 3);
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLine) {
  const std::string before = "; site settings\r\n[" + kSection +
                             "]\r\nPort=10004\r\nHost = a\r\n\r\n"
                             "[other]\r\nx=1\r\n";
  WriteFileBytes(ini, before);
  m_ini.WriteInt(kSection, "Port", 10011, ini);
  m_ini.WriteString(kSection, "New", "v", ini);
  m_ini.WriteString("third", "k", Gbk("值"), ini);
  EXPECT_EQ(ReadFileBytes(ini), "; site settings\r\n[" + kSection +
                                    "]\r\nPort=10011\r\nHost = a\r\nNew=v\r\n\r\n"
                                    "[other]\r\nx=1\r\n\r\n[third]\r\nk=" +
                                    Gbk("值") + "\r\n");
}

TEST_F(IniFileTest, LeadingIntegerParse) {
  WriteFileBytes(ini, "[s]\na=-17abc\nb=abc\nc=+12\nd=99999999999\ne=-99999999999\nf=0815\n");
  EXPECT_EQ(m_ini.GetInt("s", "a", 5, ini), -17);
  EXPECT_EQ(m_ini.GetInt("s", "b", 5, ini), 0);
  EXPECT_EQ(m_ini.GetInt("s", "c", 5, ini), 12);
  EXPECT_EQ(m_ini.GetInt("s", "d", 5, ini), INT_MAX);
  EXPECT_EQ(m_ini.GetInt("s", "e", 5, ini), INT_MIN);
  EXPECT_EQ(m_ini.GetInt("s", "f", 5, ini), 815);
  EXPECT_EQ(ParseLeadingInt("\t -7x"), -7);
  EXPECT_EQ(ParseLeadingInt("- 5"), 0);
  EXPECT_EQ(ParseLeadingInt(""), 0);
}

TEST_F(IniFileTest, GetStringIsBoundedWithoutSplittingACharacter) {
  m_ini.WriteString("s", "ascii", std::string(300, 'x'), ini);
  EXPECT_EQ(m_ini.GetString("s", "ascii", "", ini), std::string(259, 'x'));
  std::string chinese;
  for (int i = 0; i < 150; ++i) chinese += Gbk("号");
  m_ini.WriteString("s", "gbk", chinese, ini);
  EXPECT_EQ(m_ini.GetString("s", "gbk", "", ini), chinese.substr(0, 258));
}

// A station PC's folders and files may have Chinese names: the GBK bytes
// reach the system as they are (on Windows through the ANSI calls), so the
// file is created, found and replaced under its own name.
TEST_F(IniFileTest, AFileWithAChineseNameIsWrittenAndReplacedUnderThatName) {
  const std::string name = Gbk("站点设置.ini");
  const std::string chinese = JoinPath(dir.path().string(), name);
  EXPECT_TRUE(m_ini.WriteInt(kSection, "Port", 10005, chinese));
  EXPECT_TRUE(m_ini.WriteString(Gbk("站点"), "Name", Gbk("一号线"), chinese));
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 0, chinese), 10005);
  EXPECT_EQ(m_ini.GetString(Gbk("站点"), "Name", "", chinese), Gbk("一号线"));
  std::vector<std::string> names;
  ASSERT_TRUE(ListFileNames(dir.path().string(), &names, true));
  EXPECT_EQ(names, std::vector<std::string>{name});
}

TEST_F(IniFileTest, UnwritableFileIsNotCreatedAndNothingElseChanges) {
  const std::string nowhere = dir.file("no-such-dir/BrennaCenter.ini");
  m_ini.WriteInt(kSection, "Port", 1, nowhere);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
  EXPECT_FALSE(WritePrivateProfileString(kSection, "Port", "1", nowhere));
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 10004, nowhere), 10004);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            0);
}

TEST_F(IniFileTest, AFileThatCannotBeReadOrIsReadOnlyIsNeverReplaced) {
  const std::string before = "[" + kSection + "]\nPort=10004\n[other]\nx=1\n";
  WriteFileBytes(ini, before);
  // Unreadable (mode 000 to anyone but root): the other sections are unknown.
  FailingStore unreadable(FailingStore::Step::kRead);
  EXPECT_FALSE(WritePrivateProfileString(kSection, "Port", "10005", ini, unreadable));
  EXPECT_EQ(ReadFileBytes(ini), before);

  // Read-only: refused even for root, and mode and contents stay.
  ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
  EXPECT_FALSE(m_ini.WriteInt(kSection, "Port", 10005, ini));
  EXPECT_FALSE(m_ini.WriteString("third", "k", "v", ini));
  EXPECT_EQ(ReadFileBytes(ini), before);
  EXPECT_EQ(ModeOf(ini), 0444u);
  EXPECT_EQ(Names(), std::vector<std::string>{"BrennaCenter.ini"});
}

TEST_F(IniFileTest, AWriteThatFailsOnTheWayLeavesTheOldFileAndNothingBesideIt) {
  const std::string before = "[" + kSection + "]\nPort=10004\n[other]\nx=1\n";
  using Step = FailingStore::Step;
  for (Step step : {Step::kCreateAside, Step::kWrite, Step::kKeepOwnerAndMode, Step::kFlush,
                    Step::kClose, Step::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    WriteFileBytes(ini, before);
    FailingStore store(step);
    EXPECT_FALSE(WritePrivateProfileString(kSection, "Port", "10005", ini, store));
    EXPECT_EQ(ReadFileBytes(ini), before);
    EXPECT_EQ(Names(), std::vector<std::string>{"BrennaCenter.ini"});
  }
}

TEST_F(IniFileTest, ARewrittenFileKeepsItsOwnerAndMode) {
  WriteFileBytes(ini, "[other]\nx=1\n");
  ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
  // Root hands the file to someone else, as an installer would.
  if (test_files::RunsAsRoot()) {
    ASSERT_TRUE(test_files::GiveFileTo(ini, 1234, 5678));
  }
  struct stat before {};
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  EXPECT_TRUE(m_ini.WriteInt(kSection, "Port", 10005, ini));
  struct stat after {};
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "replaced in one step";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(m_ini.GetInt(kSection, "Port", 0, ini), 10005);
}

TEST_F(IniFileTest, ALinkedFileIsWrittenThroughToItsTargetAndStaysALink) {
  namespace fs = std::filesystem;
  fs::create_directories(dir.path() / "site");
  const std::string target = dir.file("site/real.ini");
  WriteFileBytes(target, "[other]\nx=1\n");
  // A relative link to a relative link to the file.
  fs::create_symlink("real.ini", dir.path() / "site" / "link.ini");
  fs::create_symlink("site/link.ini", ini);
  EXPECT_TRUE(m_ini.WriteInt(kSection, "Port", 10005, ini));
  EXPECT_TRUE(fs::is_symlink(ini));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "site" / "link.ini"));
  EXPECT_EQ(ReadFileBytes(target), "[other]\nx=1\n\n[" + kSection + "]\nPort=10005\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"BrennaCenter.ini", "site"}));

  // A link that leads back to itself names no file: refused, links kept.
  const std::string loop = dir.file("loop.ini");
  fs::create_symlink("loop.ini", loop);
  EXPECT_FALSE(m_ini.WriteInt(kSection, "Port", 10006, loop));
  EXPECT_TRUE(fs::is_symlink(loop));
}

TEST_F(IniFileTest, EachLineKeepsItsOwnLineEnd) {
  // Mixed line ends, and a value whose last byte is a carriage return.
  WriteFileBytes(ini, "[s]\r\nk=1\nraw=a\r\r\nx=2\r\n");
  EXPECT_EQ(m_ini.GetString("s", "raw", "", ini), "a\r");
  m_ini.WriteInt("s", "k", 3, ini);
  m_ini.WriteInt("s", "y", 4, ini);
  EXPECT_EQ(ReadFileBytes(ini), "[s]\r\nk=3\nraw=a\r\r\nx=2\r\ny=4\r\n");
  EXPECT_EQ(m_ini.GetString("s", "raw", "", ini), "a\r");

  // A last line without '\n' keeps what it read as: its final '\r' a line end.
  WriteFileBytes(ini, "[s]\nlast=b\r\r");
  EXPECT_EQ(m_ini.GetString("s", "last", "", ini), "b\r");
  m_ini.WriteInt("t", "k", 1, ini);
  EXPECT_EQ(m_ini.GetString("s", "last", "", ini), "b\r");
  EXPECT_EQ(ReadFileBytes(ini), "[s]\nlast=b\r\r\n\n[t]\nk=1\n");
}

TEST_F(IniFileTest, EntriesThatWouldNotReadBackAreRefusedAndTheFileKept) {
  const std::string before = "[" + kSection + "]\nPort=10004\n";
  WriteFileBytes(ini, before);
  // Each would put lines or entries of its own into the file.
  EXPECT_FALSE(WritePrivateProfileString("s]\n[x", "k", "1", ini));
  EXPECT_FALSE(WritePrivateProfileString("a]b", "k", "1", ini));
  EXPECT_FALSE(WritePrivateProfileString(kSection, "Port\nHost", "1", ini));
  EXPECT_FALSE(WritePrivateProfileString(kSection, "Host=x", "1", ini));
  EXPECT_FALSE(WritePrivateProfileString(kSection, "Port", "1\r\nPort=2", ini));
  m_ini.WriteString(kSection, "Port", "7\n[other]", ini);
  EXPECT_EQ(ReadFileBytes(ini), before);
  // A ']' that is the trail byte of a GBK character is part of a name.
  EXPECT_TRUE(WritePrivateProfileString("x\x81\x5Dy", "k", "3", ini));
  EXPECT_EQ(m_ini.GetInt("x\x81\x5Dy", "k", 0, ini), 3);
}

TEST_F(IniFileTest, AnIndependentReaderSeesWhatWeWrote) {
  m_ini.WriteInt(kSection, "Port", 10012, ini);
  m_ini.WriteString(Gbk("站点"), "Name", Gbk("一号线"), ini);
  const std::string out = dir.file("read.txt");
  const std::string cmd =
      "python3 -c \"import configparser,sys; c=configparser.ConfigParser(); "
      "c.optionxform=str; c.read(sys.argv[1], encoding='gbk'); "
      "open(sys.argv[2],'w',encoding='utf-8').write(c['端口号']['Port']+'|'+c['站点']['Name'])\" "
      "'" +
      ini + "' '" + out + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(out), "10012|一号线");
}

TEST(CommaField, FieldIsReturnedOnlyWhenACommaFollows) {
  CIniFile ini;
  EXPECT_EQ(ini.GetCommaField("x,y,z", 2), "y");
  EXPECT_EQ(ini.GetCommaField("x,y,z", 3), "");
  EXPECT_EQ(ini.GetCommaField("x,y,z,", 3), "z");
  EXPECT_EQ(ini.GetCommaField("xyz", 1), "");
  EXPECT_EQ(ini.GetCommaField(",w,", 1), "");
  EXPECT_EQ(ini.GetCommaField(",w,", 2), "w");
  EXPECT_EQ(ini.GetCommaField("x,y,z", 0), "x");
  EXPECT_EQ(ini.GetCommaField("x,y,z", -3), "x");
  // Past the last comma the text stays the same, however large n is.
  EXPECT_EQ(ini.GetCommaField("a,b", 7), "");
  EXPECT_EQ(ini.GetCommaField("a,b,", INT_MAX), "");
}

}  // namespace
