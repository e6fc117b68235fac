// The binding's POSIX side: where the library lies, what the variant files
// are called, and loading them with dlopen.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

// <exe dir>/../lib/brennacenter: the same shape in the build tree and in the
// installed tree. /proc/self/exe is already free of symbolic links, so
// folding the ".." lexically names the real parent.
std::string DefaultPallixSystemDirectory() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof exe) return std::string();
  const std::filesystem::path exePath(std::string(exe, static_cast<size_t>(n)));
  if (!exePath.has_parent_path()) return std::string();
  return (exePath.parent_path() / ".." / "lib" / "brennacenter").lexically_normal().string();
}

std::string PallixVariantFileName(int variant) {
  switch (variant) {
    case 2:
      return "libPallix2b.so";
    case 4:
      return "libPallix4b.so";
    case 8:
      return "libPallix8b.so";
    case 16:
      return "libPallix16b.so";
    default:
      return "libPallix.so";
  }
}

std::string JoinPallixPath(const std::string& dir, const std::string& file) {
  // The path always holds a '/', so dlopen never searches LD_LIBRARY_PATH.
  return dir.back() == '/' ? dir + file : dir + "/" + file;
}

void* OpenPallixLibrary(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// A name that only a dependency of the library (libc, zlib, ...) exports
// counts as missing: the table holds the library's own functions.
PallixEntryFn PallixOwnExport(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) return nullptr;
  link_map* library = nullptr;
  link_map* owner = nullptr;
  Dl_info info;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &library) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner != library) {
    return nullptr;
  }
  return reinterpret_cast<PallixEntryFn>(symbol);
}

void ClosePallixLibrary(void* handle) { dlclose(handle); }
