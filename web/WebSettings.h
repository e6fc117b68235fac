// WebSettings - where brenna-web listens and how much it takes on, from its
// own settings file (docs/web-view.md):
//
//   $XDG_CONFIG_HOME/brennacenter/brenna-web.ini (default ~/.config/...;
//   on Windows brenna-web.ini in the site's base directory)
//   [brenna-web]
//   Listen=127.0.0.1:10088
//   MaxConnections=64
//   MaxLiveClients=50
//
// A missing file, section or key gives the default; a value that is no
// value of its key gives the default too, with a warning naming key and
// value. Listening anywhere but on the loopback interface needs the access
// token (web/AccessToken).
#ifndef BRENNA_WEB_WEBSETTINGS_H
#define BRENNA_WEB_WEBSETTINGS_H

#include <string>
#include <vector>

namespace web {

inline constexpr int kDefaultPort = 10088;
inline constexpr int kDefaultMaxConnections = 64;
inline constexpr int kDefaultMaxLiveClients = 50;
// Connections kept for pages, lists and files while the live panels are
// at their limit: MaxLiveClients is at most MaxConnections less this.
inline constexpr int kConnectionsBesideLive = 4;
inline constexpr int kMaxConnectionsLimit = 1024;

struct ListenAddress {
  std::string host = "127.0.0.1";  // a numeric IPv4 or IPv6 address
  int port = kDefaultPort;
  // Only the loopback interface: no token is asked for.
  bool Loopback() const;
  // "127.0.0.1:10088", "[::1]:10088"
  std::string Text() const;
};

struct WebSettings {
  ListenAddress listen;
  int maxConnections = kDefaultMaxConnections;
  int maxLiveClients = kDefaultMaxLiveClients;
};

// "host:port" with a numeric IPv4 address, "[v6]:port", or "localhost:port"
// (taken as 127.0.0.1); port 1 to 65535. False when it is none.
bool ParseListenAddress(const std::string& text, ListenAddress* out);

// brenna-web.ini in the settings folder (platform/ArchiveFolder.h:
// $XDG_CONFIG_HOME/brennacenter, ~/.config/brennacenter; on Windows the
// site's base directory); empty when no home is known.
std::string DefaultSettingsPath();

// The settings in the file at `path` (missing: all defaults). Every value
// not taken is said in *warnings.
WebSettings ReadWebSettings(const std::string& path, std::vector<std::string>* warnings);

}  // namespace web

#endif  // BRENNA_WEB_WEBSETTINGS_H
