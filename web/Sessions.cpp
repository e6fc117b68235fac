#include "web/Sessions.h"

#include <cstdio>
#include <sstream>
#include <utility>

#include "platform/FileOps.h"
#include "web/AccessToken.h"
#include "web/PrivateFile.h"

namespace web {

namespace {

constexpr char kHead[] = "brenna-web sessions ";
// A browser's cookie is sent anew at most once a day, and a session's use
// written down at most once an hour: enough for the 30 days to count from
// about the last use, also across a restart.
constexpr std::int64_t kCookieRenewMs = 24LL * 3600 * 1000;
constexpr std::int64_t kSaveUseMs = 3600LL * 1000;
constexpr std::size_t kMaxFileBytes = 64 * 1024;

}  // namespace

std::string SessionsPathBeside(const std::string& tokenPath) {
  return JoinPath(ParentDirectory(tokenPath), "web-sessions");
}

Sessions::Sessions(std::string path, std::string token)
    : path_(std::move(path)), token_(std::move(token)) {}

bool Sessions::Load(std::int64_t nowUtcMs, std::string* error) {
  MutexLock hold(lock_);
  entries_.clear();
  if (path_.empty()) return true;
  std::string text, why;
  const PrivateRead read = ReadPrivateFile(path_, kMaxFileBytes, &text, &why);
  if (read == PrivateRead::kMissing) return true;
  if (read != PrivateRead::kOk) {
    *error = "the sessions file " + path_ + " " + why +
             ": no browser stays paired (delete the file; every screen is paired again)";
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  // Another token's sessions: void.
  if (!std::getline(lines, line) || line != kHead + TokenMark(token_)) return true;
  while (std::getline(lines, line) && entries_.size() < kMaxSessions) {
    char id[kSessionLength + 2] = {};
    long long paired = 0, used = 0;
    if (std::sscanf(line.c_str(), "%65s %lld %lld", id, &paired, &used) != 3) continue;
    if (!IsHex(id, kSessionLength)) continue;
    Entry& e = entries_[id];
    e.pairedMs = paired;
    e.usedMs = e.savedUsedMs = used;
  }
  DropEnded(nowUtcMs);
  return true;
}

std::string Sessions::Begin(std::int64_t nowUtcMs, std::string* error) {
  const std::string id = RandomHex(kSessionLength / 2);
  if (id.empty()) {
    *error = "no random bytes for a session";
    return id;
  }
  MutexLock hold(lock_);
  DropEnded(nowUtcMs);
  while (entries_.size() >= kMaxSessions) {
    auto oldest = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (it->second.usedMs < oldest->second.usedMs) oldest = it;
    entries_.erase(oldest);
  }
  Entry& e = entries_[id];
  e.pairedMs = e.usedMs = e.savedUsedMs = e.cookieSetMs = nowUtcMs;
  if (!Save(error)) {
    entries_.erase(id);
    return std::string();
  }
  return id;
}

Sessions::Use Sessions::Check(const std::string& session, std::int64_t nowUtcMs) {
  if (!IsHex(session, kSessionLength)) return Use::kNone;
  MutexLock hold(lock_);
  // Looked up by comparing every session in full, in time independent of
  // where a wrong one differs.
  Entry* found = nullptr;
  for (auto& [id, entry] : entries_)
    if (SameToken(id, session)) found = &entry;
  if (found == nullptr || nowUtcMs - found->usedMs > kSessionIdleMs) return Use::kNone;
  found->usedMs = nowUtcMs;
  if (nowUtcMs - found->savedUsedMs > kSaveUseMs) {
    std::string error;
    Save(&error);  // a use not written down only shortens the session after a restart
  }
  if (nowUtcMs - found->cookieSetMs <= kCookieRenewMs) return Use::kGood;
  found->cookieSetMs = nowUtcMs;
  return Use::kGoodRenew;
}

std::size_t Sessions::Count() const {
  MutexLock hold(lock_);
  return entries_.size();
}

void Sessions::DropEnded(std::int64_t nowUtcMs) {
  for (auto it = entries_.begin(); it != entries_.end();)
    it = nowUtcMs - it->second.usedMs > kSessionIdleMs ? entries_.erase(it) : std::next(it);
}

bool Sessions::Save(std::string* error) {
  if (path_.empty()) return true;
  std::string text = kHead + TokenMark(token_) + "\n";
  for (const auto& [id, e] : entries_)
    text += id + " " + std::to_string(e.pairedMs) + " " + std::to_string(e.usedMs) + "\n";
  if (!WritePrivateFile(path_, text, error)) return false;
  for (auto& [id, e] : entries_) e.savedUsedMs = e.usedMs;
  return true;
}

}  // namespace web
