// PallixSite - the site libPallix names (its base and spool directories),
// asked before the monitor starts anything: the library is loaded for the
// question, quietly (its reports come again when the window loads it), and
// released again. Like GetPallix at the window's start, the question makes
// the two directories when they are missing.
#ifndef BRENNA_PLATFORM_PALLIXSITE_H
#define BRENNA_PLATFORM_PALLIXSITE_H

#include <string>

struct SiteDirectories {
  std::string base;   // holds BrennaCenter.ini (GBK)
  std::string spool;  // GBK
};

// The site the library names; false (nothing filled) when the library
// file is missing, cannot be loaded or cannot tell.
bool ProbeSite(SiteDirectories* site);

#endif  // BRENNA_PLATFORM_PALLIXSITE_H
