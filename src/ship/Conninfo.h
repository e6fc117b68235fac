// Conninfo - a libpq connection string as brenna-ship takes it: every
// connection is TLS that verifies the server (sslmode=verify-full: the
// certificate chains to a root the client trusts and names the host
// connected to). A string that says nothing of it gets it; one that asks
// for less (disable, allow, prefer, require, verify-ca) is refused, as is
// one that names no host to reach over TCP (a Unix socket carries no TLS).
// Without sslrootcert (or with "system") the system's roots are trusted
// (platform/SystemCertificates.h). brenna-ship's own defaults fill what the
// string leaves out: a connection given up after 10 s, TCP keepalives and
// a 60 s limit on unanswered data (a WAN gone is noticed, not waited on),
// its name for the server's views, and UTF-8.
#ifndef BRENNA_SHIP_CONNINFO_H
#define BRENNA_SHIP_CONNINFO_H

#include <string>
#include <utility>
#include <vector>

namespace ship {

class Conninfo {
 public:
  using Settings = std::vector<std::pair<std::string, std::string>>;

  // Reads `text` (key=value pairs or a postgresql:// URI). False with the
  // reason in *error when libpq cannot read it or it is refused (above).
  static bool Parse(const std::string& text, Conninfo* out, std::string* error);

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

}  // namespace ship

#endif  // BRENNA_SHIP_CONNINFO_H
