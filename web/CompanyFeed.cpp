#include "web/CompanyFeed.h"

#include <utility>

#include "archive/ArchiveTime.h"
#include "web/CompanyPages.h"

namespace web {

CompanyFeed::CompanyFeed(Options options) : options_(std::move(options)) {
  if (!options_.clock) options_.clock = archive::NowUtcMs;
  state_.json = std::make_shared<const std::string>(CompanyOverviewJson(state_, Now()));
  state_.lines = std::make_shared<const std::vector<CompanyLine>>();
}

CompanyFeed::~CompanyFeed() { Stop(); }

void CompanyFeed::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void CompanyFeed::Run() {
  while (!Stopped()) {
    LookOnce();
    MutexLock hold(lock_);
    const auto until = std::chrono::steady_clock::now() + options_.poll;
    while (!stopped_ && wake_.wait_until(lock_, until) != std::cv_status::timeout) {
    }
  }
}

void CompanyFeed::Stop() {
  {
    MutexLock hold(lock_);
    stopped_ = true;
  }
  wake_.notify_all();
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool CompanyFeed::Stopped() const {
  MutexLock hold(lock_);
  return stopped_;
}

void CompanyFeed::LookOnce() {
  std::vector<CompanyLine> lines;
  std::string why;
  const bool read = options_.source->Lines(&lines, &why);
  const std::int64_t now = Now();
  CompanyState next = Current();
  if (read) {
    next.lines = std::make_shared<const std::vector<CompanyLine>>(std::move(lines));
    next.read = next.reachable = true;
    next.why.clear();
    next.sinceUtcMs = 0;
  } else {
    // What was read last stays, said to be so.
    if (next.reachable || next.sinceUtcMs == 0) next.sinceUtcMs = now;
    next.reachable = false;
    next.why = why;
  }
  auto json = std::make_shared<const std::string>(CompanyOverviewJson(next, now));
  {
    MutexLock hold(lock_);
    const bool same = *json == *state_.json;
    next.json = std::move(json);
    next.version = state_.version + (same ? 0 : 1);
    state_ = std::move(next);
    if (same) return;
  }
  changed_.notify_all();
}

CompanyState CompanyFeed::Current() const {
  MutexLock hold(lock_);
  return state_;
}

bool CompanyFeed::WaitForChange(std::uint64_t seen, std::chrono::milliseconds limit,
                                CompanyState* out) const {
  MutexLock hold(lock_);
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!stopped_ && state_.version == seen &&
         changed_.wait_until(lock_, until) != std::cv_status::timeout) {
  }
  if (state_.version == seen) return false;
  *out = state_;
  return true;
}

}  // namespace web
