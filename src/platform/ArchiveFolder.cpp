// POSIX implementation of ArchiveFolder.h.
#include "platform/ArchiveFolder.h"

#include <cstdlib>

#include "platform/FileOps.h"
#include "platform/JournalIo.h"

std::string ArchiveFolder() {
  const std::string state = journal_io::UserStateDirectory();
  return state.empty() ? std::string() : JoinPath(state, "brennacenter");
}

std::string SettingsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return JoinPath(config, "brennacenter");
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return JoinPath(JoinPath(home, ".config"), "brennacenter");
}
