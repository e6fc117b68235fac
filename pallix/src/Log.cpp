#include "Log.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "PallixThreadSafety.h"
#include "platform/System.h"

#ifndef PALLIX_VERSION_TEXT
#define PALLIX_VERSION_TEXT "unknown"
#endif

namespace pallix::log {

namespace {

constexpr int kDefaultLevel = PALLIX_LOG_WARNING;

// The installed sink. Reporters take a ticket in the current epoch's count
// under `lock` and give it back after the call; installing flips the epoch
// and waits until the old one's count is 0, so that when it returns no
// call of the replaced sink runs or will start. Only the two counts are
// touched outside the lock, and the lock is never held during a call.
//
// Constant-initialised with trivial destructors: usable from the library's
// static destructors (unloading stops the network thread, which may still
// report).
struct SinkState {
  PallixMutex lock;
  PallixLogSink sink PALLIX_GUARDED_BY(lock) = nullptr;
  void* context PALLIX_GUARDED_BY(lock) = nullptr;
  int epoch PALLIX_GUARDED_BY(lock) = 0;
  std::atomic<int> calls[2] = {};
  // One installation at a time: taken before `lock`, held over the epoch's
  // flip and the wait for the replaced sink's calls.
  PallixMutex installing;
  std::atomic<int> minLevel{kDefaultLevel};
};
SinkState g_state;

// Depth of sink calls on this thread: a report made while the sink runs
// would go round in a loop, and PallixSetLogSink there would wait for
// itself. Static TLS on ELF: the library is loaded with dlopen, and a
// dynamic TLS block would be allocated by the loader on every thread that
// reports, behind locks a thread checker cannot see.
#if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local int t_inSink = 0;

const char* LevelName(int level) {
  switch (level) {
    case PALLIX_LOG_DEBUG:
      return "DEBUG";
    case PALLIX_LOG_INFO:
      return "INFO";
    case PALLIX_LOG_WARNING:
      return "WARN";
    default:
      return "ERROR";
  }
}

// Formats into text[kMaxText]: cut at a character boundary with "..." when
// too long, and every control byte replaced, so it stays one line.
void Format(char* text, const char* format, va_list args) {
  const int n = std::vsnprintf(text, kMaxText, format != nullptr ? format : "", args);
  if (n < 0) {
    std::snprintf(text, kMaxText, "(unformattable report)");
    return;
  }
  if (n >= kMaxText) {
    std::size_t cut = kMaxText - 4;
    // Never leave half a UTF-8 sequence before the dots.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    std::memcpy(text + cut, "...", 4);
  }
  for (char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F) *p = '?';
  }
}

void WriteDefault(const PallixLogRecord& record) {
  if (record.level < kDefaultLevel) return;
  char stamp[32];
  sys::LocalTimestamp(stamp, sizeof stamp);
  std::fprintf(stderr, "%s libPallix %s %s: %s\n", stamp, LevelName(record.level), record.category,
               record.text);
}

void Deliver(int level, const char* category, int event, const char* peer, const char* reason,
             const char* format, va_list args) {
  if (t_inSink > 0 || level < g_state.minLevel.load(std::memory_order_relaxed)) return;
  char text[kMaxText];
  Format(text, format, args);
  PallixLogRecord record{};
  record.size = sizeof record;
  record.level = level < PALLIX_LOG_DEBUG   ? PALLIX_LOG_DEBUG
                 : level > PALLIX_LOG_ERROR ? PALLIX_LOG_ERROR
                                            : level;
  record.category = category != nullptr ? category : PALLIX_LOG_START;
  record.text = text;
  record.event = event;
  record.peer = peer;
  record.reason = reason;

  PallixLogSink sink;
  void* context;
  int epoch;
  {
    PallixMutexLock guard(g_state.lock);
    sink = g_state.sink;
    context = g_state.context;
    epoch = g_state.epoch;
    g_state.calls[epoch].fetch_add(1, std::memory_order_relaxed);
  }
  if (sink != nullptr) {
    ++t_inSink;
    sink(&record, context);
    --t_inSink;
  } else {
    WriteDefault(record);
  }
  g_state.calls[epoch].fetch_sub(1, std::memory_order_release);
}

}  // namespace

bool Enabled(int level) { return level >= g_state.minLevel.load(std::memory_order_relaxed); }

void Report(int level, const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(level, category, PALLIX_EVENT_NONE, nullptr, nullptr, format, args);
  va_end(args);
}

void ReportEvent(int level, const char* category, int event, const char* peer, const char* reason,
                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(level, category, event, peer, reason, format, args);
  va_end(args);
}

int SetSink(PallixLogSink sink, void* context, int minLevel) {
  if (minLevel < PALLIX_LOG_DEBUG || minLevel > PALLIX_LOG_ERROR) return -1;
  if (t_inSink > 0) return -2;
  {
    PallixMutexLock installing(g_state.installing);
    int old;
    {
      PallixMutexLock guard(g_state.lock);
      g_state.sink = sink;
      g_state.context = context;
      old = g_state.epoch;
      g_state.epoch = old ^ 1;
      g_state.minLevel.store(sink != nullptr ? minLevel : kDefaultLevel, std::memory_order_relaxed);
    }
    // Calls of the replaced sink are short (a sink must not block): wait
    // them out.
    for (int spins = 0; g_state.calls[old].load(std::memory_order_acquire) != 0; ++spins) {
      if (spins < 64) {
        std::this_thread::yield();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  if (sink != nullptr) {
    const std::string file = sys::LibraryFile();
    Report(PALLIX_LOG_INFO, PALLIX_LOG_START, "libPallix %s (%s) reports here", PALLIX_VERSION_TEXT,
           file.empty() ? "file unknown" : file.c_str());
  }
  return 1;
}

}  // namespace pallix::log
