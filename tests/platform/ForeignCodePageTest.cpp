// A Windows PC whose own code page is not 936 (this program runs with code
// page 1252, as a Western European Windows has it): GBK names still name
// the files whose Unicode names are their characters, a trail byte 0x5C
// ("錦" is E5 5C) included, in the monitor's file calls (brenna-web's
// secrets too) and in libPallix's.
// Under code page 1252 the ANSI calls would take that byte for a '\' and
// the rest for Latin letters.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Gzip.h"
#include "Pallix.h"
#include "TempDir.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/GbkWide.h"
#include "platform/PallixBinding.h"
#include "platform/PrivateFileIo.h"

namespace {

// The names in `dir` as the system lists them (UTF-16, from a UTF-8 path
// of ASCII and the given Chinese text).
std::set<std::wstring> SystemNames(const std::wstring& dir) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.insert(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

bool WriteFile(const std::string& gbkPath, const std::string& bytes) {
  RegularFile file;
  return file.Open(gbkPath, RegularFile::Mode::kReplace) == FileFault::kNone &&
         file.WriteAt(0, bytes.data(), bytes.size()) == FileFault::kNone &&
         file.Close() == FileFault::kNone;
}

std::string ReadFile(const std::string& gbkPath) {
  RegularFile file;
  std::int64_t size = 0;
  if (file.Open(gbkPath, RegularFile::Mode::kRead) != FileFault::kNone ||
      file.Size(&size) != FileFault::kNone)
    return std::string();
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::size_t got = 0;
  file.ReadAt(0, &bytes[0], bytes.size(), &got);
  bytes.resize(got);
  return bytes;
}

class ForeignCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    // What this program is here for: a system code page that is not GBK.
    ASSERT_NE(GetACP(), 936u) << "run this test with a locale whose code page is not 936";
    m_root = m_tmp.path().string();
    m_wideRoot = m_tmp.path().wstring();
  }

  TempDir m_tmp;
  std::string m_root;
  std::wstring m_wideRoot;
};

}  // namespace

TEST_F(ForeignCodePage, AGbkSpoolNameIsOneFileNamedInItsCharacters) {
  const std::string spool = JoinPath(m_root, Gbk("数据錦"));
  ASSERT_EQ(MakeDirectories(spool), FileFault::kNone);
  EXPECT_EQ(SystemNames(m_wideRoot), std::set<std::wstring>{Utf8ToWide("数据錦")});

  const std::string name = Gbk("錦-0815") + ".DOING";
  ASSERT_TRUE(WriteFile(JoinPath(spool, name), "result"));
  EXPECT_EQ(SystemNames(m_wideRoot + L"\\" + Utf8ToWide("数据錦")),
            std::set<std::wstring>{Utf8ToWide("錦-0815.DOING")});
  std::vector<std::string> names;
  ASSERT_TRUE(ListFileNames(spool, &names));
  EXPECT_EQ(names, std::vector<std::string>{name});
  EXPECT_EQ(ReadFile(JoinPath(spool, name)), "result");
  EXPECT_EQ(MoveFileOver(JoinPath(spool, name), JoinPath(spool, Gbk("錦") + ".shown")),
            FileFault::kNone);
  EXPECT_TRUE(RemoveRegularFile(JoinPath(spool, Gbk("錦") + ".shown")));
  EXPECT_TRUE(SystemNames(m_wideRoot + L"\\" + Utf8ToWide("数据錦")).empty());
}

// The library beside the program in a Chinese folder, its Pallix.ini naming
// a Chinese base directory: the library loads, reads its settings and
// makes the site there; a transfer's chunk file under a Chinese name is
// decompressed into that spool directory.
TEST_F(ForeignCodePage, TheLibraryLoadsReadsItsSiteAndDecompressesUnderChineseNames) {
  const std::string install = JoinPath(m_root, Gbk("检测软件錦"));
  ASSERT_EQ(MakeDirectories(install), FileFault::kNone);
  ASSERT_TRUE(WriteFile(JoinPath(install, "libPallix.dll"),
                        ReadFileBytes(std::string(BRENNA_PALLIX_DIR) + "\\libPallix.dll")));
  const std::string base = JoinPath(m_root, Gbk("数据錦"));
  ASSERT_TRUE(WriteFile(JoinPath(install, "Pallix.ini"), "[Site]\r\nBaseDir=" + base + "\r\n"));

  SetPallixSystemDirectory(install);
  ASSERT_EQ(LoadPallix(1), 1);
  auto cfg = std::make_unique<SiteConfig>();
  EXPECT_EQ(GetPallix(cfg.get()), 1);
  const std::string spool = base + "\\spool";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cfg->bytes + PALLIX_SITE_BASE_DIR_OFFSET)),
            base);
  EXPECT_EQ(SystemNames(m_wideRoot + L"\\" + Utf8ToWide("数据錦")),
            std::set<std::wstring>{L"spool"});

  const std::string record = "a result record";
  const std::string chunks = JoinPath(spool, Gbk("錦-0815") + ".compress");
  ASSERT_TRUE(WriteFile(chunks, Gzip(record)));
  EXPECT_GT(UnCompressFile(chunks.c_str(), spool.c_str()), 0);
  EXPECT_EQ(ReadFile(JoinPath(spool, PALLIX_UNCOMPRESS_OUTPUT)), record);
  UnloadPallix();
  SetPallixSystemDirectory("");
}

// brenna-web's secret in a Chinese folder (a user's profile): written aside,
// moved into place and read back under its characters' name, never made
// again over itself.
TEST_F(ForeignCodePage, ASecretIsKeptAndReadUnderChineseNames) {
  using namespace private_file_io;
  const std::wstring folder = m_wideRoot + L"\\" + Utf8ToWide("数据錦");
  const std::string token = JoinPath(JoinPath(m_root, Gbk("数据錦")), Gbk("錦") + ".token");
  std::string error;
  ASSERT_TRUE(ReplacePrivate(token, "secret", &error)) << error;
  EXPECT_EQ(SystemNames(folder), std::set<std::wstring>{Utf8ToWide("錦.token")});
  std::string text;
  std::string why;
  EXPECT_EQ(ReadPrivate(token, 64, &text, &why), Read::kOk) << why;
  EXPECT_EQ(text, "secret");
  EXPECT_EQ(LookAt(token, &why), Presence::kThere);
  EXPECT_EQ(MakePrivate(token, "another", &why), Made::kExists);
  ASSERT_TRUE(ReplacePrivate(token, "renewed", &error)) << error;
  EXPECT_EQ(ReadPrivate(token, 64, &text, &why), Read::kOk) << why;
  EXPECT_EQ(text, "renewed");
  EXPECT_EQ(SystemNames(folder), std::set<std::wstring>{Utf8ToWide("錦.token")});
}

// What the operator types (a port entry) as GBK: a character GBK cannot
// hold, a surrogate pair or one alone, is one '?', the rest stays.
TEST_F(ForeignCodePage, TypedTextKeepsWhatGbkHoldsAndMarksTheRest) {
  EXPECT_EQ(WideToGbk(Utf8ToWide("端口😀8001")), Gbk("端口") + "?8001");
  std::wstring lone = L"a";
  lone += static_cast<wchar_t>(0xD800);
  lone += L"b";
  EXPECT_EQ(WideToGbk(lone), "a?b");
  EXPECT_EQ(WideToGbk(Utf8ToWide("錦")), Gbk("錦"));
}
