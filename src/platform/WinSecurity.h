// WinSecurity - what the Windows halves of the platform share about files
// that are the user's alone: the protected access list that lets in only
// the user (what POSIX says with 0700 and 0600), the check that a file's
// list lets no one else in, and the system's words for an error. Windows
// only; included by the *Win.cpp files.
#ifndef BRENNA_PLATFORM_WINSECURITY_H
#define BRENNA_PLATFORM_WINSECURITY_H

#include <windows.h>

#include <string>

namespace win_security {

// Security attributes whose one entry gives the running user full access,
// inherited by everything made inside a folder, and nothing inherited from
// above (protected). Known() is false when the user cannot be told.
class PrivateAttributes {
 public:
  PrivateAttributes();
  ~PrivateAttributes();
  PrivateAttributes(const PrivateAttributes&) = delete;
  PrivateAttributes& operator=(const PrivateAttributes&) = delete;
  bool Known() const { return m_descriptor != nullptr; }
  SECURITY_ATTRIBUTES* get() { return &m_attributes; }

 private:
  PSECURITY_DESCRIPTOR m_descriptor;
  SECURITY_ATTRIBUTES m_attributes{};
};

// Empty when the access list of the open file (opened with READ_CONTROL)
// lets nobody but the user, SYSTEM and the Administrators read or change
// it; else why not ("its access list lets Everyone in").
std::string WhyNotPrivate(HANDLE file);

// The system's words for an error code, without the line break it ends
// them with.
std::string ErrorText(DWORD error);

}  // namespace win_security

#endif  // BRENNA_PLATFORM_WINSECURITY_H
