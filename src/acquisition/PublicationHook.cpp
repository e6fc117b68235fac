#include "acquisition/PublicationHook.h"

#include <mutex>
#include <utility>

#include "app/Globals.h"

namespace {

// Guarded by g_spoolLock.
ResultPublishedHook& Hook() {
  static ResultPublishedHook hook;
  return hook;
}

}  // namespace

void SetResultPublishedHook(ResultPublishedHook hook) {
  std::lock_guard<std::mutex> lock(g_spoolLock);
  Hook() = std::move(hook);
}

void TellResultPublished(const std::string& resultPath) {
  const ResultPublishedHook& hook = Hook();
  if (hook) hook(resultPath);
}
