// Windows implementation of TestFiles.h: no root, files have no POSIX
// owner to hand over, and privacy is the access list.
#include <windows.h>
// After windows.h:
#include <aclapi.h>

#include <vector>

#include "TestFiles.h"

namespace test_files {

namespace {

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

}  // namespace

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

bool RunsAsRoot() { return false; }

bool GiveFileTo(const std::string&, unsigned, unsigned) { return false; }

}  // namespace test_files
