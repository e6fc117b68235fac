// SiteSettings - the lines a site's overview follows (`brenna-web --site`,
// docs/web-view.md), from the section [site] of brenna-web.ini:
//
//   [site]
//   Listen=127.0.0.1:10089
//   Line1=192.168.1.21:10088
//   Token1=<that line's access token: its web-token file>
//   Name1=一号线
//   Line2=...
//
// LineN is the address of line N's brenna-web (a numeric address or a host
// name, the port 10088 when none is given, "http://" before it allowed);
// TokenN its access token, needed unless it listens on this computer only;
// NameN what the overview calls it (else the name the line gives itself).
// Lines 1 to 16, in that order; a line whose address or token cannot be
// taken is left out with a warning.
#ifndef BRENNA_WEB_SITESETTINGS_H
#define BRENNA_WEB_SITESETTINGS_H

#include <string>
#include <vector>

#include "web/WebSettings.h"

namespace web {

inline constexpr int kDefaultSitePort = 10089;
inline constexpr int kMaxSiteLines = 16;

struct SiteLine {
  int number = 0;    // N of LineN
  std::string host;  // a numeric address (IPv6 without brackets) or a host name
  int port = kDefaultPort;
  std::string token;  // the line's access token; empty: none sent
  std::string name;   // UTF-8; empty: the line's own

  // "192.168.1.21:10088", "[fd00::21]:10088"
  std::string Address() const;
  // Where a browser finds the line's own panel: "http://192.168.1.21:10088/"
  std::string Url() const;
};

struct SiteSettings {
  ListenAddress listen{"127.0.0.1", kDefaultSitePort};
  std::vector<SiteLine> lines;
};

// A line's address as LineN gives it; false when it is none.
bool ParseLineAddress(const std::string& text, SiteLine* line);

// The section [site] of the file at `path`; every value not taken is said
// in *warnings.
SiteSettings ReadSiteSettings(const std::string& path, std::vector<std::string>* warnings);

// Why the file at `path`, which holds the lines' tokens, must not be used:
// others than its owner may read it, or it is no regular file. Empty when
// it may.
std::string TokensExposed(const std::string& path);

}  // namespace web

#endif  // BRENNA_WEB_SITESETTINGS_H
