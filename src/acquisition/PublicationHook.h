// PublicationHook - who hears of a result the moment the chunk writer has
// put it in place ("<name>.DOING" renamed into the spool directory): the
// window, which then shows it at once instead of at its next one-second
// scan. The application installs it; without one nobody is told, and the
// scan still finds the file.
#ifndef BRENNA_ACQUISITION_PUBLICATIONHOOK_H
#define BRENNA_ACQUISITION_PUBLICATIONHOOK_H

#include <functional>
#include <mutex>
#include <string>

#include "acquisition/SpoolLock.h"

// Runs on the network worker with the spool lock held, so it must be quick
// and never wait for anything (the window above all): note, post, return.
using ResultPublishedHook = std::function<void(const std::string& resultPath)>;

// Installs the hook, or with an empty one removes it. Takes `spoolLock`,
// the lock the chunk writer runs under (never call it holding the lock), so
// the writer never runs a hook that is being replaced or whose owner has
// gone.
void SetResultPublishedHook(std::mutex& spoolLock, ResultPublishedHook hook)
    PALLIX_EXCLUDES(theSpoolLock);

// The chunk writer, under the spool lock, once a result is in place.
void TellResultPublished(const std::string& resultPath) PALLIX_REQUIRES(theSpoolLock);

#endif  // BRENNA_ACQUISITION_PUBLICATIONHOOK_H
