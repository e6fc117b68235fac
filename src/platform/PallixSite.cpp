#include "platform/PallixSite.h"

#include <cstring>
#include <memory>

#include "Pallix.h"
#include "platform/FileOps.h"
#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

namespace {

void PALLIX_CALL QuietSink(const PallixLogRecord*, void*) {}

std::string TerminatedField(const SiteConfig& site, int offset) {
  const char* field = reinterpret_cast<const char*>(site.bytes + offset);
  const void* end = std::memchr(field, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  return end != nullptr ? std::string(field, static_cast<const char*>(end) - field) : std::string();
}

}  // namespace

bool ProbeSite(SiteDirectories* site) {
  const std::string file = JoinPallixPath(PallixSystemDirectory(), PallixVariantFileName(1));
  if (!PathExists(file)) return false;
  // A file that cannot be loaded would end the program here, before its
  // journal runs: the window's own load says so, in the journal.
  void* loadable = OpenPallixLibrary(file);
  if (loadable == nullptr) return false;
  ClosePallixLibrary(loadable);
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
