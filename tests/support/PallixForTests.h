// PallixForTests - loads the libPallix of this build through the binding,
// the same way the monitor does, from the build tree's library folder.
#ifndef BRENNA_TESTS_PALLIXFORTESTS_H
#define BRENNA_TESTS_PALLIXFORTESTS_H

#include <cstring>
#include <string>

#include "monitor/Globals.h"
#include "platform/PallixBinding.h"

inline bool LoadBuiltPallix() {
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  return LoadPallix(1) == 1;
}

// Points g_siteConfig's spool directory (and base directory) at dir.
inline void UseSpoolDirectory(const std::string& spool, const std::string& base = std::string()) {
  std::memset(g_siteConfig.bytes + PALLIX_SITE_SPOOL_DIR_OFFSET, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  std::memcpy(g_siteConfig.bytes + PALLIX_SITE_SPOOL_DIR_OFFSET, spool.c_str(),
              spool.size() < PALLIX_SITE_DIR_FIELD_SIZE ? spool.size() : 0);
  std::memset(g_siteConfig.bytes + PALLIX_SITE_BASE_DIR_OFFSET, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  std::memcpy(g_siteConfig.bytes + PALLIX_SITE_BASE_DIR_OFFSET, base.c_str(),
              base.size() < PALLIX_SITE_DIR_FIELD_SIZE ? base.size() : 0);
}

#endif  // BRENNA_TESTS_PALLIXFORTESTS_H
