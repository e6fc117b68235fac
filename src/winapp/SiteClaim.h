// SiteClaim - one monitor per site. Two monitors on one site would fight
// over its spool directory and its settings (and the second would find the
// port taken): the first to start holds a system-wide name made from the
// site's directories, and a second start finds it held, says so and ends.
//
// The site is known before the window runs: the library is loaded for the
// question (quietly: its reports come again when the window loads it) and
// released again.
#ifndef BRENNA_WINAPP_SITECLAIM_H
#define BRENNA_WINAPP_SITECLAIM_H

#include <windows.h>

#include <string>

struct SiteDirectories {
  std::string base;   // holds BrennaCenter.ini (GBK)
  std::string spool;  // GBK
};

// The site the library names; false (nothing filled) when the library
// file is missing or cannot tell.
bool ProbeSite(SiteDirectories* site);

class SiteClaim {
 public:
  SiteClaim() = default;
  ~SiteClaim();  // lets go of the site
  SiteClaim(const SiteClaim&) = delete;
  SiteClaim& operator=(const SiteClaim&) = delete;

  // Holds the site for this process; false when another process holds
  // its base or its spool directory.
  bool Claim(const SiteDirectories& site);

 private:
  HANDLE m_base = nullptr;
  HANDLE m_spool = nullptr;
};

// The system-wide name a directory is held under: the same for every
// spelling of the same path (letter case, "." and "..", "/" or "\").
std::wstring ClaimName(const std::string& gbkDirectory);

#endif  // BRENNA_WINAPP_SITECLAIM_H
