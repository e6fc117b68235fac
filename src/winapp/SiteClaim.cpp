#include "winapp/SiteClaim.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Pallix.h"
#include "platform/FileOps.h"
#include "platform/GbkWide.h"
#include "platform/PallixBinding.h"

namespace {

void PALLIX_CALL QuietSink(const PallixLogRecord*, void*) {}

std::string TerminatedField(const SiteConfig& site, int offset) {
  const char* field = reinterpret_cast<const char*>(site.bytes + offset);
  const void* end = std::memchr(field, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  return end != nullptr ? std::string(field, static_cast<const char*>(end) - field) : std::string();
}

// Held by the first process that creates it, until that process ends.
HANDLE Hold(const std::wstring& name, bool* heldElsewhere) {
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

}  // namespace

bool ProbeSite(SiteDirectories* site) {
  if (!PathExists(JoinPath(PallixSystemDirectory(), PallixVariantFileName(1)))) return false;
  SetPallixLogSink(&QuietSink, nullptr, PALLIX_LOG_ERROR);
  auto config = std::make_unique<SiteConfig>();
  bool known = false;
  if (LoadPallix(1) == 1) {
    // 0 is a settings file with a line it could not use: the directories
    // it names hold all the same.
    known = GetPallix(config.get()) >= 0;
  }
  UnloadPallix();
  SetPallixLogSink(nullptr, nullptr, PALLIX_LOG_WARNING);
  if (!known) return false;
  site->base = TerminatedField(*config, PALLIX_SITE_BASE_DIR_OFFSET);
  site->spool = TerminatedField(*config, PALLIX_SITE_SPOOL_DIR_OFFSET);
  return !site->base.empty() || !site->spool.empty();
}

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

SiteClaim::~SiteClaim() {
  if (m_base != nullptr) CloseHandle(m_base);
  if (m_spool != nullptr) CloseHandle(m_spool);
}

bool SiteClaim::Claim(const SiteDirectories& site) {
  bool held = false;
  if (!site.base.empty() && m_base == nullptr) m_base = Hold(ClaimName(site.base), &held);
  // A spool directory that is the base directory is one claim.
  if (!held && !site.spool.empty() && m_spool == nullptr &&
      ClaimName(site.spool) != ClaimName(site.base))
    m_spool = Hold(ClaimName(site.spool), &held);
  return !held;
}
