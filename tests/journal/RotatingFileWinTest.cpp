// The journal file's Windows side: rotation of the open file, privacy by
// the access list instead of permission bits, and a file moved away under
// the running monitor (Windows never lets the directory of an open file be
// removed).
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
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

std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  const bool ok = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  if (!ok) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return std::vector<unsigned char>(static_cast<unsigned char*>(sid),
                                    static_cast<unsigned char*>(sid) + GetLengthSid(sid));
}

// Empty when nobody but the running user (and the system itself, as root
// on POSIX) may open path: every entry of its access list allows one of
// those two; else what is wrong.
std::string WhyNotPrivate(const std::string& path) {
  const std::vector<unsigned char> user = CurrentUser();
  if (user.empty()) return "the running user is unknown";
  unsigned char system[SECURITY_MAX_SID_SIZE];
  DWORD systemSize = sizeof system;
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize))
    return "the system's SID is unknown";
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return "no access list";
  std::string why;
  bool userMayOpen = false;
  if (dacl == nullptr) why = "no access list: everybody may open it";
  for (WORD i = 0; why.empty() && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      why = "an unreadable entry";
    } else if (static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      PSID sid = &allowed->SidStart;
      if (EqualSid(sid, const_cast<unsigned char*>(user.data()))) {
        userMayOpen = (allowed->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
      } else if (!EqualSid(sid, system)) {
        why = "an entry lets someone else in";
      }
    }
  }
  if (why.empty() && !userMayOpen) why = "the user lacks full access";
  LocalFree(descriptor);
  return why;
}

}  // namespace

TEST(RotatingFileOnWindows, RotatesTheOpenFileIntoNumberedFilesOnlyTheUserMayOpen) {
  TempDir tmp;
  const fs::path dir = tmp.path() / "state" / "brennacenter";
  RotatingFile file(journal::RealJournalFileSystem(), dir.string(), "monitor.log", kLimits);
  ASSERT_TRUE(file.Open());
  EXPECT_EQ(file.Path(), dir.string() + "\\monitor.log");
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(file.Write(Line(i)));

  EXPECT_EQ(WhyNotPrivate(dir.string()), "");
  EXPECT_EQ(WhyNotPrivate((dir.parent_path()).string()), "");  // made by the journal too
  for (const char* name : {"monitor.log", "monitor.log.1", "monitor.log.2", "monitor.log.3"}) {
    ASSERT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_LE(fs::file_size(dir / name), kLimits.fileBytes) << name;
    EXPECT_EQ(WhyNotPrivate((dir / name).string()), "") << name;
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
