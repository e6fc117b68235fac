// The real libPallix, opened with dlopen the way the monitor opens it.
#ifndef BRENNA_TESTS_PALLIX_LOADEDLIBRARY_H
#define BRENNA_TESTS_PALLIX_LOADEDLIBRARY_H

#include <dlfcn.h>

#include <string>

#include "Pallix.h"

namespace pallix_test {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path = PALLIX_LIBRARY_PATH)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedLibrary() { Unload(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  void* Handle() const { return handle_; }
  int Unload() {
    int rc = handle_ != nullptr ? dlclose(handle_) : 0;
    handle_ = nullptr;
    return rc;
  }
  template <class Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

// A typed entry of the loaded library: PALLIX_FN(lib, OpenNet)(11, 0, ...).
#define PALLIX_ENTRY_TYPE(pos, ret, name, params, args) using name##_fn = ret(*) params;
PALLIX_FUNCTIONS(PALLIX_ENTRY_TYPE, PALLIX_ENTRY_TYPE)
#undef PALLIX_ENTRY_TYPE
#define PALLIX_FN(lib, name) ((lib).Get<pallix_test::name##_fn>(#name))

}  // namespace pallix_test

#endif  // BRENNA_TESTS_PALLIX_LOADEDLIBRARY_H
