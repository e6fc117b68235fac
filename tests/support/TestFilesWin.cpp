// Windows implementation of TestFiles.h: no root, and files have no POSIX
// owner to hand over.
#include "TestFiles.h"

namespace test_files {

bool RunsAsRoot() { return false; }

bool GiveFileTo(const std::string&, unsigned, unsigned) { return false; }

}  // namespace test_files
