// POSIX implementation of ArchiveFolder.h.
#include "platform/ArchiveFolder.h"

#include "platform/FileOps.h"
#include "platform/JournalIo.h"

std::string ArchiveFolder() {
  const std::string state = journal_io::UserStateDirectory();
  return state.empty() ? std::string() : JoinPath(state, "brennacenter");
}
