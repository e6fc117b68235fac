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

#ifdef _WIN32
// Empty when nobody but the running user (and the system itself, as root
// on POSIX) may open path: every entry of its access list allows one of
// those two; else what is wrong. (POSIX tests read the permission bits.)
std::string WhyNotPrivate(const std::string& path);
#endif

}  // namespace test_files

#endif  // BRENNA_TESTS_TESTFILES_H
