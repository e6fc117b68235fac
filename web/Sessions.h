// Sessions - the browsers paired with brenna-web. A paired browser's cookie
// holds a session: 32 random bytes as 64 hex digits, never the token (a
// browser sends a cookie to every port of the address, so another program
// there sees it). A session ends when it has not been used for 30 days,
// when more than 256 browsers are paired (the one unused longest goes), and
// with the token: a new token ends every session.
//
// Sessions outlive a restart of brenna-web (a screen in the waiting room
// need not be paired again every morning): they are kept in a file of their
// own beside the token file (web-sessions, mode 0600, written aside and
// renamed), which can be read only by whoever can read the token file too:
//
//   brenna-web sessions <token mark>
//   <session: 64 hex digits> <paired: Unix ms> <last used: Unix ms>
//   ...
//
// A file kept with another token's mark holds no session. Deleting the
// file (and restarting brenna-web) ends every session but keeps the token.
#ifndef BRENNA_WEB_SESSIONS_H
#define BRENNA_WEB_SESSIONS_H

#include <cstdint>
#include <map>
#include <string>

#include "platform/Mutex.h"

namespace web {

inline constexpr std::int64_t kSessionIdleMs = 30LL * 24 * 3600 * 1000;
inline constexpr std::size_t kMaxSessions = 256;
inline constexpr std::size_t kSessionLength = 64;

// The sessions file beside the token file.
std::string SessionsPathBeside(const std::string& tokenPath);

class Sessions {
 public:
  // `path` empty: kept in memory only (a restart ends them).
  Sessions(std::string path, std::string token);
  Sessions(const Sessions&) = delete;
  Sessions& operator=(const Sessions&) = delete;

  // Reads the file; false with the reason (the file is refused, and no
  // session from it is taken) in *error.
  bool Load(std::int64_t nowUtcMs, std::string* error) PALLIX_EXCLUDES(lock_);

  // A new session for a browser just paired; empty (and *error) when no
  // random bytes or the file cannot be written.
  std::string Begin(std::int64_t nowUtcMs, std::string* error) PALLIX_EXCLUDES(lock_);

  enum class Use {
    kNone,       // no such session (or ended)
    kGood,       // it lets in
    kGoodRenew,  // it lets in, and the browser's cookie should be set anew
  };
  Use Check(const std::string& session, std::int64_t nowUtcMs) PALLIX_EXCLUDES(lock_);

  std::size_t Count() const PALLIX_EXCLUDES(lock_);

 private:
  struct Entry {
    std::int64_t pairedMs = 0;
    std::int64_t usedMs = 0;
    std::int64_t savedUsedMs = 0;  // as the file has it
    std::int64_t cookieSetMs = 0;  // when this run last sent the browser its cookie
  };
  void DropEnded(std::int64_t nowUtcMs) PALLIX_REQUIRES(lock_);
  bool Save(std::string* error) PALLIX_REQUIRES(lock_);

  const std::string path_;
  const std::string token_;
  // Pages are answered on many threads at once.
  mutable Mutex lock_;
  std::map<std::string, Entry> entries_ PALLIX_GUARDED_BY(lock_);
};

}  // namespace web

#endif  // BRENNA_WEB_SESSIONS_H
