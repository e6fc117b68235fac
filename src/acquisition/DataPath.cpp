#include "acquisition/DataPath.h"

#include <atomic>

namespace {

// Before the window installs its own: nothing to show on and nowhere to
// write, so a chunk is refused for want of a spool directory.
const DataPath& WithoutWindow() {
  static std::mutex lock;
  static IDisplayBoard* const noBoard = nullptr;
  static const DataPath path{&lock, &noBoard, [] { return std::string(); }};
  return path;
}

// Installed on the GUI thread before the worker starts, read by the worker.
std::atomic<const DataPath*> installed{nullptr};

}  // namespace

void InstallDataPath(const DataPath* path) { installed.store(path, std::memory_order_release); }

const DataPath& CurrentDataPath() {
  const DataPath* path = installed.load(std::memory_order_acquire);
  return path != nullptr ? *path : WithoutWindow();
}
