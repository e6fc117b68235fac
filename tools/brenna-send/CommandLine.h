// CommandLine - what brenna-send takes from the system: its arguments as
// UTF-8, file operands with wildcards, and the paths it hands libPallix.
//
// On POSIX the shell has expanded the wildcards and the arguments are the
// bytes typed (UTF-8), which are also the file names (CommandLine.cpp). On
// Windows the command line is read as UTF-16, so names of any language pass
// whatever the PC's code page; cmd passes "*.txt" as it is, so the tool
// expands it itself; and libPallix takes GBK paths (CommandLineWin.cpp).
#ifndef BRENNA_SEND_COMMANDLINE_H
#define BRENNA_SEND_COMMANDLINE_H

#include <filesystem>
#include <string>
#include <vector>

namespace brenna_send {

// The program's arguments after its name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Each file operand holding '*' or '?' in its last part becomes the files
// it matches there (folders left out), in name order; one matching nothing
// stays as it is (and is then a file that cannot be read). POSIX: as given.
std::vector<std::string> ExpandWildcards(const std::vector<std::string>& files);

// A file named by a UTF-8 operand.
inline std::filesystem::path FilePath(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

// A path as libPallix's file calls take it; false when it cannot be named
// so (a character GBK lacks, on Windows).
bool LibraryPath(const std::filesystem::path& path, std::string* out);

}  // namespace brenna_send

#endif  // BRENNA_SEND_COMMANDLINE_H
