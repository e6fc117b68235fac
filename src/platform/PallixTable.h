// PallixTable - what the binding's own files share: the table slots by
// name, read access to an entry, and the fatal report.
#ifndef BRENNA_PLATFORM_PALLIXTABLE_H
#define BRENNA_PLATFORM_PALLIXTABLE_H

#include <string>

#include "Pallix.h"

// Position of each export in the resolution order (1-based).
enum class PallixSlot : int {
#define BRENNA_SLOT(pos, ret, name, params, args) name = pos,
  PALLIX_FUNCTIONS(BRENNA_SLOT, BRENNA_SLOT)
#undef BRENNA_SLOT
};

// A table entry: the address of a library function as the one generic
// function-pointer type, cast back to its real type at the call.
using PallixEntryFn = void (*)();

// The entry of a slot; null when it is not resolved.
PallixEntryFn PallixEntry(PallixSlot slot);

// Passes the text to the installed fatal reporter.
void ReportPallixFatal(const std::string& gbkText);

// --- The operating system's side (PallixPlatform.cpp on POSIX,
// PallixPlatformWin.cpp on Windows) ---------------------------------------

// <exe dir>/../lib/brennacenter on POSIX, the executable's own folder on
// Windows (where Windows looks for a program's DLLs first). Empty when
// unknown.
std::string DefaultPallixSystemDirectory();
// dir and file name with the system's separator between them.
std::string JoinPallixPath(const std::string& dir, const std::string& file);
// Loads the library file by its full path; null when it cannot be loaded.
void* OpenPallixLibrary(const std::string& path);
// The address of `name` when the library itself exports it; null when it
// does not (also when only a library it depends on has that name).
PallixEntryFn PallixOwnExport(void* library, const char* name);
void ClosePallixLibrary(void* library);

#endif  // BRENNA_PLATFORM_PALLIXTABLE_H
