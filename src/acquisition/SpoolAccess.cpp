#include "acquisition/SpoolAndBoard.h"

#include <atomic>

namespace {

// Before the window installs its own: nothing to show on and nowhere to
// write, so a chunk is refused for want of a spool directory.
const SpoolAndBoard& WithoutWindow() {
  static std::mutex lock;
  static IDisplayBoard* const noBoard = nullptr;
  static const SpoolAndBoard given{&lock, &noBoard, [] { return std::string(); }};
  return given;
}

// Installed on the GUI thread before the worker starts, read by the worker.
std::atomic<const SpoolAndBoard*> installed{nullptr};

}  // namespace

void InstallSpoolAndBoard(const SpoolAndBoard* given) {
  installed.store(given, std::memory_order_release);
}

const SpoolAndBoard& CurrentSpoolAndBoard() {
  const SpoolAndBoard* given = installed.load(std::memory_order_acquire);
  return given != nullptr ? *given : WithoutWindow();
}
