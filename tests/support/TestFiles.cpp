// POSIX implementation of TestFiles.h.
#include "TestFiles.h"

#include <unistd.h>

namespace test_files {

bool RunsAsRoot() { return ::geteuid() == 0; }

bool GiveFileTo(const std::string& path, unsigned owner, unsigned group) {
  return ::chown(path.c_str(), owner, group) == 0;
}

}  // namespace test_files
