#include "acquisition/PublicationHook.h"

#include <utility>

namespace {

ResultPublishedHook& Hook() PALLIX_REQUIRES(theSpoolLock) {
  static ResultPublishedHook hook;
  return hook;
}

}  // namespace

void SetResultPublishedHook(std::mutex& spoolLock, ResultPublishedHook hook) {
  SpoolLockGuard lock(spoolLock);
  Hook() = std::move(hook);
}

void TellResultPublished(const std::string& resultPath) {
  const ResultPublishedHook& hook = Hook();
  if (hook) hook(resultPath);
}
