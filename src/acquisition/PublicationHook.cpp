#include "acquisition/PublicationHook.h"

#include <utility>

namespace {

// Guarded by the spool lock.
ResultPublishedHook& Hook() {
  static ResultPublishedHook hook;
  return hook;
}

}  // namespace

void SetResultPublishedHook(std::mutex& spoolLock, ResultPublishedHook hook) {
  std::lock_guard<std::mutex> lock(spoolLock);
  Hook() = std::move(hook);
}

void TellResultPublished(const std::string& resultPath) {
  const ResultPublishedHook& hook = Hook();
  if (hook) hook(resultPath);
}
