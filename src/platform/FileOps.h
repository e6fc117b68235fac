// FileOps - the few file-system calls of the monitor's core that differ
// between systems. Paths are GBK bytes end to end: on Windows they go
// through the ANSI ("A") calls, never through std::filesystem's wide
// conversion, which does not give GBK bytes back.
#ifndef BRENNA_PLATFORM_FILEOPS_H
#define BRENNA_PLATFORM_FILEOPS_H

#include <string>
#include <vector>

// dir, the system's separator ('/' or '\'), name.
std::string JoinPath(const std::string& dir, const std::string& name);
// Renames from to `to` in one step, replacing a file of that name.
bool MoveFileOver(const std::string& from, const std::string& to);
// Whether anything exists at path.
bool PathExists(const std::string& path);
// The names of the entries of dir that are not directories (with
// directoriesToo, of all entries but "." and ".."), as GBK bytes; false when
// dir cannot be listed.
bool ListFileNames(const std::string& dir, std::vector<std::string>* names,
                   bool directoriesToo = false);

#endif  // BRENNA_PLATFORM_FILEOPS_H
