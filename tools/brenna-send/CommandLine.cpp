// POSIX side of CommandLine.h: bytes pass as they are.
#include "CommandLine.h"

namespace brenna_send {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& files) { return files; }

bool LibraryPath(const std::filesystem::path& path, std::string* out) {
  *out = path.string();
  return true;
}

}  // namespace brenna_send
