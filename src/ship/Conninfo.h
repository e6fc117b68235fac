// Conninfo - a libpq connection string as brenna-ship takes it: every
// connection is TLS that verifies the server (sslmode=verify-full: the
// certificate chains to a root the client trusts and names the host
// connected to). A string that says nothing of it gets it; one that asks
// for less (disable, allow, prefer, require, verify-ca) is refused, as is
// one that names no host to reach over TCP (a Unix socket carries no TLS).
// Without sslrootcert (or with "system") the system's roots are trusted
// (platform/SystemCertificates.h). The program's own defaults fill what the
// string leaves out: for brenna-ship a connection given up after 10 s, TCP
// keepalives and a 60 s limit on unanswered data (a WAN gone is noticed,
// not waited on); brenna-web's company pages wait less (ConninfoUse); its
// name for the server's views, and UTF-8. brenna-web --company connects by
// the same rules.
#ifndef BRENNA_SHIP_CONNINFO_H
#define BRENNA_SHIP_CONNINFO_H

#include <string>
#include <utility>
#include <vector>

namespace ship {

// Who connects, and how long it waits on a network that stopped answering.
struct ConninfoUse {
  const char* program = "brenna-ship";
  const char* connectTimeoutS = "10";
  const char* keepalivesIdleS = "30";
  const char* keepalivesIntervalS = "10";
  const char* keepalivesCount = "3";
  const char* unansweredMs = "60000";  // tcp_user_timeout
};

class Conninfo {
 public:
  using Settings = std::vector<std::pair<std::string, std::string>>;

  // Reads `text` (key=value pairs or a postgresql:// URI). False with the
  // reason in *error when libpq cannot read it or it is refused (above).
  static bool Parse(const std::string& text, Conninfo* out, std::string* error,
                    const ConninfoUse& use = ConninfoUse());

  // Every keyword with its value, as libpq is handed them.
  const Settings& All() const { return settings_; }
  // One value; empty when not set.
  std::string Get(const std::string& key) const;
  // Whether the string itself named a root certificate (not "system").
  bool OwnRoot() const { return ownRoot_; }
  // For the journal, when the system's roots were made into a file for
  // this string (Windows) or could not be: which file, or why not.
  const std::string& SystemRootsSaid() const { return rootsSaid_; }

 private:
  void Set(const std::string& key, const std::string& value);
  void Default(const std::string& key, const std::string& value);

  Settings settings_;
  bool ownRoot_ = false;
  std::string rootsSaid_;
};

// The connection string another role (a line, a viewer) uses to reach the
// server `admin` reaches: its host and port, `database`, TLS verifying the
// server, the root certificate the administrator's string named (if any),
// `user` and `password`.
std::string ConninfoFor(const Conninfo& admin, const std::string& database, const std::string& user,
                        const std::string& password);

// The connection string kept in the file at `path` (the system's encoding),
// its line end taken off: at most 4 KiB, and its owner's alone, as
// brenna-web's token file (it holds a password). False with what is wrong
// in *error ("is not there", "may be read by others ...: chmod 600, and
// <renew> if the password may have gone astray").
bool ReadConninfoFile(const std::string& path, const std::string& renew, std::string* text,
                      std::string* error);

}  // namespace ship

#endif  // BRENNA_SHIP_CONNINFO_H
