// Windows implementation of WinSecurity.h.
#include "platform/WinSecurity.h"

// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace win_security {

namespace {

// The running user's SID, copied out of its token; empty when unknown.
std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size > 0 ? size : 1);
  const bool known = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  if (!known) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return std::vector<unsigned char>(static_cast<unsigned char*>(sid),
                                    static_cast<unsigned char*>(sid) + GetLengthSid(sid));
}

PSECURITY_DESCRIPTOR PrivateDescriptor() {
  std::vector<unsigned char> user = CurrentUser();
  if (user.empty()) return nullptr;
  char* sid = nullptr;
  if (!ConvertSidToStringSidA(user.data(), &sid)) return nullptr;
  const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return nullptr;
  return descriptor;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  unsigned char known[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof known;
  return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

// "DOMAIN\name", or the SID as text when it has no name here.
std::string NameOf(PSID sid) {
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
    return domain[0] != '\0' ? std::string(domain) + "\\" + name : std::string(name);
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "someone else";
  std::string s = text;
  LocalFree(text);
  return s;
}

}  // namespace

PrivateAttributes::PrivateAttributes() : m_descriptor(PrivateDescriptor()) {
  m_attributes.nLength = sizeof m_attributes;
  m_attributes.lpSecurityDescriptor = m_descriptor;
  m_attributes.bInheritHandle = FALSE;
}

PrivateAttributes::~PrivateAttributes() {
  if (m_descriptor != nullptr) LocalFree(m_descriptor);
}

std::string WhyNotPrivate(HANDLE file) {
  std::vector<unsigned char> user = CurrentUser();
  if (user.empty()) return "its access list cannot be checked (the running user is unknown)";
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD got = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor);
  if (got != ERROR_SUCCESS) return "its access list cannot be read (" + ErrorText(got) + ")";
  // What lets someone read the secret, or put another in its place.
  constexpr ACCESS_MASK kReachesIt = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                     WRITE_DAC | WRITE_OWNER | DELETE | GENERIC_READ |
                                     GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
  std::string why;
  if (dacl == nullptr) why = "it has no access list: everybody may open it";
  for (WORD i = 0; why.empty() && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      why = "its access list cannot be read";
      break;
    }
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is made inside only
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      why = "its access list has entries of a kind not checked here";
      break;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = &allowed->SidStart;
    if ((allowed->Mask & kReachesIt) == 0 || EqualSid(sid, user.data()) ||
        IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid))
      continue;
    why = "its access list lets " + NameOf(sid) + " in";
  }
  LocalFree(descriptor);
  return why;
}

std::string ErrorText(DWORD error) {
  char text[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
  if (n == 0) return "Windows error " + std::to_string(error);
  return std::string(text, n);
}

}  // namespace win_security
