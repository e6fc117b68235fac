// The binding's Windows side: the library lies beside the executable (the
// folder Windows searches first for a program's DLLs), the variants are
// libPallix*.dll, and loading is LoadLibrary / GetProcAddress. Paths are
// GBK text, converted through code page 936 for the "W" calls
// (WidePath.h).
#include <windows.h>

#include "platform/Gbk.h"
#include "platform/GbkWide.h"
#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"
#include "platform/WidePath.h"

std::string DefaultPallixSystemDirectory() {
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::string path;
  // A folder whose name GBK cannot hold: the library cannot be named there.
  if (n == 0 || n >= MAX_PATH || !WideToGbkExact(std::wstring_view(exe, n), &path))
    return std::string();
  // The last separator of its own: a GBK character's second byte may be
  // 0x5C.
  std::string::size_type slash = std::string::npos;
  for (std::string::size_type i = 0; i < path.size(); i += GbkCharLength(path, i))
    if (path[i] == '\\' || path[i] == '/') slash = i;
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
    if (GbkCharLength(dir, i) == 2) {
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
  HMODULE module = LoadLibraryExW(WidePath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  SetErrorMode(oldMode);
  return reinterpret_cast<void*>(module);
}

// GetProcAddress answers only from the module's own export table, so a name
// that only a dependency exports is missing here as on POSIX.
PallixEntryFn PallixOwnExport(void* library, const char* name) {
  return reinterpret_cast<PallixEntryFn>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void ClosePallixLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
