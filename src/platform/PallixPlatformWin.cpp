// The binding's Windows side: the library lies beside the executable (the
// folder Windows searches first for a program's DLLs), the variants are
// libPallix*.dll, and loading is LoadLibrary / GetProcAddress. Paths are
// GBK text, so only the ANSI ("A") calls are used.
#include <windows.h>

#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

std::string DefaultPallixSystemDirectory() {
  char exe[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return std::string();
  const std::string path(exe, n);
  const std::string::size_type slash = path.find_last_of("\\/");
  if (slash == std::string::npos || slash == 0) return std::string();
  return path.substr(0, slash);
}

std::string PallixVariantFileName(int variant) {
  switch (variant) {
    case 2:
      return "libPallix2b.dll";
    case 4:
      return "libPallix4b.dll";
    case 8:
      return "libPallix8b.dll";
    case 16:
      return "libPallix16b.dll";
    default:
      return "libPallix.dll";
  }
}

// The last byte of dir may be the second byte of a GBK character (0x5C is
// one): only a separator of its own counts.
std::string JoinPallixPath(const std::string& dir, const std::string& file) {
  bool endsInSeparator = false;
  for (std::string::size_type i = 0; i < dir.size(); ++i) {
    endsInSeparator = false;
    if (IsDBCSLeadByte(static_cast<BYTE>(dir[i])) && i + 1 < dir.size()) {
      ++i;
    } else {
      endsInSeparator = dir[i] == '\\' || dir[i] == '/';
    }
  }
  return endsInSeparator ? dir + file : dir + "\\" + file;
}

void* OpenPallixLibrary(const std::string& path) {
  // No "cannot find the DLL" dialog: a missing library is reported by the
  // binding itself. Dependencies are looked for beside the library first.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  SetErrorMode(oldMode);
  return reinterpret_cast<void*>(module);
}

// GetProcAddress answers only from the module's own export table, so a name
// that only a dependency exports is missing here as on POSIX.
PallixEntryFn PallixOwnExport(void* library, const char* name) {
  return reinterpret_cast<PallixEntryFn>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void ClosePallixLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
