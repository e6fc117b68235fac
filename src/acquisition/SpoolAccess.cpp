#include "acquisition/SpoolAccess.h"

#include <atomic>

namespace {

// Before the pipeline installs its own: nowhere to write, so a chunk is
// refused for want of a spool directory.
const SpoolAccess& NoneInstalled() {
  static std::mutex lock;
  static const SpoolAccess given{&lock, [] { return std::string(); }};
  return given;
}

// Installed on the GUI thread before the worker starts, read by the worker.
std::atomic<const SpoolAccess*> installed{nullptr};

}  // namespace

void InstallSpoolAccess(const SpoolAccess* given) {
  installed.store(given, std::memory_order_release);
}

const SpoolAccess& CurrentSpoolAccess() {
  const SpoolAccess* given = installed.load(std::memory_order_acquire);
  return given != nullptr ? *given : NoneInstalled();
}
