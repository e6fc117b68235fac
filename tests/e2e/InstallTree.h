// InstallTree - a private installation of the monitor in a temporary
// directory, laid out as a real one:
//
//   bin/BrennaCenter                  copy of this build's program
//   lib/brennacenter/libPallix.so     copy of this build's library
//   lib/brennacenter/Pallix.ini       base and spool directories below
//   base/BrennaCenter.ini             the listening port (a free one)
//   base/spool/                       created by the library at start
//
// The program finds its library relative to its own location, so a copy
// runs against this tree and nothing else. The tree also holds a scratch
// folder (work/) for the test's own files, which are not part of the
// installation.
#ifndef BRENNA_E2E_INSTALLTREE_H
#define BRENNA_E2E_INSTALLTREE_H

#include <set>
#include <string>

#include "TempDir.h"

struct InstallOptions {
  std::string programPath;  // the BrennaCenter to copy
  std::string libraryPath;  // the file installed as libPallix.so; empty: none
};

class InstallTree {
 public:
  // Builds the tree; ok() tells whether it worked, error() why not.
  explicit InstallTree(const InstallOptions& options);

  bool ok() const { return m_error.empty(); }
  const std::string& error() const { return m_error; }

  std::string root() const { return m_dir.path().string(); }
  std::string program() const { return root() + "/bin/BrennaCenter"; }
  std::string libraryDir() const { return root() + "/lib/brennacenter"; }
  std::string base() const { return root() + "/base"; }
  std::string spool() const { return base() + "/spool"; }
  std::string work() const { return root() + "/work"; }
  // A private 0700 runtime directory for the programs the test starts.
  std::string runtime() const { return root() + "/work/runtime"; }
  int port() const { return m_port; }

  // Every path below the root (files and directories, relative, with '/'),
  // leaving out the scratch folder.
  std::set<std::string> InstalledPaths() const;
  // Names in the spool directory.
  std::set<std::string> SpoolNames() const;

 private:
  TempDir m_dir;
  int m_port = 0;
  std::string m_error;
};

#endif  // BRENNA_E2E_INSTALLTREE_H
