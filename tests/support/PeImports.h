// PeImports - what a Windows program or DLL (a PE file) tells the loader:
// its machine and header kind (PE32 for 32-bit, PE32+ for 64-bit) and the
// DLLs it imports. The tests' one PE reader, for checking that a program
// needs nothing on a station PC but Windows itself.
#ifndef BRENNA_TESTS_PEIMPORTS_H
#define BRENNA_TESTS_PEIMPORTS_H

#include <cstdint>
#include <string>
#include <vector>

struct PeFacts {
  std::uint16_t machine = 0;              // 0x014C i386, 0x8664 x86-64
  bool pe32Plus = false;                  // the optional header's magic: 0x20B, not 0x10B
  std::vector<std::string> importedDlls;  // as the import table names them
};

// False with `error` when `path` is no PE file or its tables do not fit
// inside it.
bool ReadPeFacts(const std::string& path, PeFacts* out, std::string* error);

// Whether `dll` is one of the DLLs every Windows has (KERNEL32.dll,
// msvcrt.dll, ...), case aside.
bool IsWindowsOwnDll(const std::string& dll);

// Empty when `path` is a program for `machine` (PE32+ when `pe32Plus`)
// that imports DLLs, all of them Windows' own, so that a PC needs nothing
// beside it; else every way in which it is not, one per line.
std::string WhyNotStandalone(const std::string& path, std::uint16_t machine, bool pe32Plus);

#endif  // BRENNA_TESTS_PEIMPORTS_H
