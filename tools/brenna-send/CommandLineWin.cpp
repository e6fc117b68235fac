// Windows side of CommandLine.h: the UTF-16 command line, wildcards matched
// by FindFirstFileW, GBK paths through code page 936 for libPallix.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <algorithm>

#include "CommandLine.h"
#include "platform/Gbk.h"

namespace brenna_send {

namespace {

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(n - 1));
  return text;
}

// The files in the pattern's folder whose names match its last part.
std::vector<std::string> Matches(const std::string& pattern) {
  const std::string::size_type slash = pattern.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(FilePath(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      names.push_back(folder + Utf8(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return args;
}

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& files) {
  std::vector<std::string> expanded;
  for (const std::string& file : files) {
    const std::string::size_type slash = file.find_last_of("\\/:");
    const std::string last = slash == std::string::npos ? file : file.substr(slash + 1);
    std::vector<std::string> names;
    if (last.find_first_of("*?") != std::string::npos) names = Matches(file);
    if (names.empty()) names.push_back(file);
    expanded.insert(expanded.end(), names.begin(), names.end());
  }
  return expanded;
}

bool LibraryPath(const std::filesystem::path& path, std::string* out) {
  return Utf8ToGbkExact(path.u8string(), out);
}

}  // namespace brenna_send
