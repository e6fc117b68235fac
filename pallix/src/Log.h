// Log - how libPallix reports: printf-style lines into a bounded buffer,
// handed to the sink the program installed (PallixSetLogSink), or by
// default warnings and errors to stderr with a local timestamp.
//
// Any thread may report, also while the program installs or removes its
// sink. A report below the sink's level costs one atomic load: use
// PALLIX_LOG / PALLIX_LOG_EVENT, which test the level before the arguments
// are formatted.
#ifndef PALLIX_LOG_H
#define PALLIX_LOG_H

#include <cstdio>  // defines __MINGW_PRINTF_FORMAT on mingw-w64

#include "Pallix.h"

// mingw-w64's C++ runtime formats with its own C99 printf (%zu works), which
// "printf" alone would check as the older Windows one.
#if defined(__MINGW32__)
#define PALLIX_PRINTF(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define PALLIX_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define PALLIX_PRINTF(fmt, first)
#endif

namespace pallix::log {

// Longest text of one report, terminator included; a longer one is cut and
// ends in "...".
inline constexpr int kMaxText = 512;

// True when a report of this level reaches the sink (or the default).
bool Enabled(int level);

// A plain line in a category (PALLIX_LOG_NET, ...).
void Report(int level, const char* category, const char* format, ...) PALLIX_PRINTF(3, 4);

// An event (PALLIX_EVENT_*) about a peer (its address, or null) refused or
// ended for a reason (a short fixed text, or null): the program counts these
// and folds floods of the same one.
void ReportEvent(int level, const char* category, int event, const char* peer, const char* reason,
                 const char* format, ...) PALLIX_PRINTF(6, 7);

// PallixSetLogSink: see Pallix.h.
int SetSink(PallixLogSink sink, void* context, int minLevel);

}  // namespace pallix::log

#define PALLIX_LOG(level, category, ...)                                                    \
  do {                                                                                      \
    if (::pallix::log::Enabled(level)) ::pallix::log::Report(level, category, __VA_ARGS__); \
  } while (0)

#define PALLIX_LOG_EVENT(level, category, event, peer, reason, ...)                  \
  do {                                                                               \
    if (::pallix::log::Enabled(level))                                               \
      ::pallix::log::ReportEvent(level, category, event, peer, reason, __VA_ARGS__); \
  } while (0)

#endif  // PALLIX_LOG_H
