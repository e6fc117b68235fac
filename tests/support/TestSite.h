// TestSite - a private installation for one test: a copy of this build's
// libPallix in its own "system directory", with a Pallix.ini that puts the
// base and spool directories into a temporary folder, and a BrennaCenter.ini
// naming the listening port (by default one free right now, so tests never
// fight over a port). The binding loads from it until the site goes.
#ifndef BRENNA_TESTS_TESTSITE_H
#define BRENNA_TESTS_TESTSITE_H

#include <filesystem>
#include <string>

#include "FreePort.h"
#include "TempDir.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

class TestSite {
 public:
  explicit TestSite(int port = FreePort()) : m_port(port) {
    namespace fs = std::filesystem;
    fs::create_directories(system());
    fs::create_directories(base());
    fs::copy_file(std::string(BRENNA_PALLIX_DIR) + "/libPallix.so", system() + "/libPallix.so");
    WriteFileBytes(system() + "/Pallix.ini",
                   "[Site]\nBaseDir=" + base() + "\nSpoolDir=" + spool() + "\n");
    SetPort(port);
    SetPallixSystemDirectory(system());
  }
  ~TestSite() { SetPallixSystemDirectory(std::string()); }
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;

  std::string system() const { return m_dir.file("lib"); }
  std::string base() const { return m_dir.file("base"); }
  std::string spool() const { return m_dir.file("base/spool"); }
  std::string ini() const { return base() + "/BrennaCenter.ini"; }

  // The port the settings file names.
  int Port() const { return m_port; }
  void SetPort(int port) {
    m_port = port;
    WriteFileBytes(ini(), "[" + Gbk("端口号") + "]\nPort=" + std::to_string(port) + "\n");
  }

 private:
  int m_port;
  TempDir m_dir;
};

#endif  // BRENNA_TESTS_TESTSITE_H
