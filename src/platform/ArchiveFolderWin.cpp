// Windows implementation of ArchiveFolder.h: libPallix itself is asked for
// the site (GetPallix), so a Pallix.ini is read by exactly its rules. A
// program that has not loaded the library (brenna-history) loads the one
// beside it for the question, when there is one.
#include <memory>

#include "Pallix.h"
#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"
#include "platform/JournalIo.h"
#include "platform/PallixBinding.h"

std::string ArchiveFolder() {
  auto site = std::make_unique<SiteConfig>();
  int got = GetPallix(site.get());
  if (got == PALLIX_NOT_LOADED &&
      PathExists(JoinPath(PallixSystemDirectory(), PallixVariantFileName(1)))) {
    if (LoadPallix(1) == 1) got = GetPallix(site.get());
    UnloadPallix();
  }
  const char* base = reinterpret_cast<const char*>(site->bytes + PALLIX_SITE_BASE_DIR_OFFSET);
  // GetPallix answers 0 for a settings file with lines it could not use:
  // the directories it filled in hold all the same.
  if (got >= 0 && base[0] != '\0' && base[PALLIX_SITE_DIR_FIELD_SIZE - 1] == '\0') return base;
  // libPallix's embedded default.
  const std::string local = journal_io::UserStateDirectory();
  return local.empty() ? std::string() : JoinPath(local, "brennacenter");
}

std::string SettingsFolder() { return ArchiveFolder(); }
