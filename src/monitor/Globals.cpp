#include "monitor/Globals.h"

#include <cstring>

TaskManager g_taskMgr BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_TASKMGR);
CRect g_rcMainWnd;
std::mutex g_spoolLock BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_SPOOLLOCK);

IDisplayBoard* g_pMainDlg = nullptr;
int g_nNetPort = 0;
SiteConfig g_siteConfig;

namespace {

// A directory field of the site record, read within its own bounds.
std::string SiteDirectoryField(int offset) {
  const char* field = reinterpret_cast<const char*>(g_siteConfig.bytes + offset);
  const void* nul = std::memchr(field, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  if (nul == nullptr) return std::string();
  return std::string(field, static_cast<const char*>(nul) - field);
}

}  // namespace

std::string SiteBaseDirectory() { return SiteDirectoryField(PALLIX_SITE_BASE_DIR_OFFSET); }
std::string SiteSpoolDirectory() { return SiteDirectoryField(PALLIX_SITE_SPOOL_DIR_OFFSET); }

const SpoolAccess& MonitorSpoolAccess() {
  static const SpoolAccess access{&g_spoolLock, SiteSpoolDirectory};
  return access;
}
