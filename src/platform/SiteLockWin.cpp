// Windows side of SiteLock.h.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/GbkWide.h"
#include "platform/SiteLock.h"

namespace {

// The system-wide name a directory is held under: the same for every
// spelling of the same path (letter case, "." and "..", "/" or "\").
std::wstring ClaimName(const std::string& gbkDirectory) {
  std::wstring path;
  if (!GbkToWideExact(gbkDirectory, &path)) path = GbkToWide(gbkDirectory);
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size > 0) {
    std::vector<wchar_t> full(size);
    const DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (n > 0 && n < size) path.assign(full.data(), n);
  }
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
  // FNV-1a over the UTF-16 units: a name of fixed length without '\'.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const wchar_t c : path) {
    hash ^= static_cast<std::uint16_t>(c);
    hash *= 1099511628211ULL;
  }
  wchar_t name[64];
  std::swprintf(name, sizeof name / sizeof name[0], L"Global\\BrennaCenter.site.%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

// Held by the first process that creates it, until that process ends.
HANDLE HoldName(const std::wstring& name, bool* heldElsewhere) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    // A name another user's monitor made, closed to this one.
    *heldElsewhere = error == ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    *heldElsewhere = true;
    return nullptr;
  }
  return mutex;
}

std::string Narrow(const std::wstring& name) { return std::string(name.begin(), name.end()); }

}  // namespace

SiteLock::~SiteLock() {
  for (const std::intptr_t handle : held_) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool SiteLock::Hold(const std::vector<std::string>& directories) {
  for (const std::string& dir : directories) {
    if (dir.empty()) continue;
    const std::wstring name = ClaimName(dir);
    const std::string key = Narrow(name);
    bool seen = false;
    for (const std::string& k : keys_) seen = seen || k == key;
    if (seen) continue;
    bool heldElsewhere = false;
    HANDLE mutex = HoldName(name, &heldElsewhere);
    if (heldElsewhere) return false;
    if (mutex == nullptr) continue;
    held_.push_back(reinterpret_cast<std::intptr_t>(mutex));
    keys_.push_back(key);
  }
  return true;
}
