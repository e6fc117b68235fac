// Windows implementation of FileOps.h through the ANSI calls, so that GBK
// names arrive and leave as the same bytes (the system code page of a
// Chinese station PC is 936).
#include <windows.h>

#include "platform/FileOps.h"

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

// std::rename refuses an existing target here.
bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ListFileNames(const std::string& dir, std::vector<std::string>* names, bool directoriesToo) {
  names->clear();
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (!directoriesToo && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    names->push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return true;
}
