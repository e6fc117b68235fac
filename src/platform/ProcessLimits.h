// ProcessLimits - the process's limit of open files (descriptors): read,
// and raised at start as far as the system lets a process raise it itself,
// so that station connections, spool files, the journal and the archive
// do not run short of descriptors under a default limit meant for
// interactive programs. Windows has no such per-process limit.
#ifndef BRENNA_PLATFORM_PROCESSLIMITS_H
#define BRENNA_PLATFORM_PROCESSLIMITS_H

namespace process_limits {

// The limit of open files: the soft one, which applies, and the hard one,
// up to which the process may raise it. -1 for "none" (unlimited, or no
// such limit on this system).
struct OpenFiles {
  long soft = -1;
  long hard = -1;
};

// The limit now.
OpenFiles OpenFileLimit();

// Raises the soft limit to the hard one. *before gets the limit as it
// was; returns the limit afterwards (as before when it could not be
// raised).
OpenFiles RaiseOpenFileLimit(OpenFiles* before);

}  // namespace process_limits

#endif  // BRENNA_PLATFORM_PROCESSLIMITS_H
