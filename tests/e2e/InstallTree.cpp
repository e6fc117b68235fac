#include "InstallTree.h"

#include <filesystem>

#include "FreePort.h"

namespace fs = std::filesystem;

namespace {

// The section name of the port setting, "端口号", as the GBK bytes the
// monitor reads.
const char kPortSectionGbk[] = "\xB6\xCB\xBF\xDA\xBA\xC5";

}  // namespace

InstallTree::InstallTree(const InstallOptions& options) {
  std::error_code ec;
  fs::create_directories(root() + "/bin", ec);
  fs::create_directories(libraryDir(), ec);
  fs::create_directories(base(), ec);
  fs::create_directories(runtime(), ec);
  fs::permissions(runtime(), fs::perms::owner_all, fs::perm_options::replace, ec);
  if (ec) {
    m_error = "cannot create the tree in " + root() + ": " + ec.message();
    return;
  }
  fs::copy_file(options.programPath, program(), ec);
  if (ec) {
    m_error = "cannot copy " + options.programPath + ": " + ec.message();
    return;
  }
  if (!options.libraryPath.empty()) {
    fs::copy_file(options.libraryPath, libraryDir() + "/libPallix.so", ec);
    if (ec) {
      m_error = "cannot copy " + options.libraryPath + ": " + ec.message();
      return;
    }
  }
  WriteFileBytes(libraryDir() + "/Pallix.ini",
                 "[Site]\nBaseDir=" + base() + "\nSpoolDir=" + spool() + "\n");
  m_port = FreePort();
  if (m_port == 0) {
    m_error = "no free TCP port";
    return;
  }
  WriteFileBytes(base() + "/BrennaCenter.ini",
                 std::string("[") + kPortSectionGbk + "]\nPort=" + std::to_string(m_port) + "\n");
}

std::set<std::string> InstallTree::InstalledPaths() const {
  std::set<std::string> out;
  std::error_code ec;
  const fs::path top(root());
  for (auto it = fs::recursive_directory_iterator(top, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), top, ec).generic_string();
    if (rel == "work") {
      it.disable_recursion_pending();
      continue;
    }
    out.insert(rel);
  }
  return out;
}

std::set<std::string> InstallTree::SpoolNames() const {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = fs::directory_iterator(spool(), ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    out.insert(it->path().filename().string());
  }
  return out;
}
