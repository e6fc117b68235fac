// TestFiles - what tests do to files beyond the standard library, straight
// on the system's API: whether they run as root, and handing a file to
// another owner (as an installer does).
#ifndef BRENNA_TESTS_TESTFILES_H
#define BRENNA_TESTS_TESTFILES_H

#include <string>

namespace test_files {

// Whether the tests run as root, who may give files away. Never on
// Windows, which has no root and no POSIX owners.
bool RunsAsRoot();
// Gives path to owner and group; false when that cannot be done.
bool GiveFileTo(const std::string& path, unsigned owner, unsigned group);

}  // namespace test_files

#endif  // BRENNA_TESTS_TESTFILES_H
