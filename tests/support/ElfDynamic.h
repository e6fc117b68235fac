// ElfDynamic - what a 64-bit little-endian ELF file tells the dynamic
// linker: the symbols it defines in its dynamic symbol table (what a module
// loaded into the program, or a program loading the library, can bind to)
// and the search paths its dynamic section names. The tests' one ELF
// reader.
#ifndef BRENNA_TESTS_ELFDYNAMIC_H
#define BRENNA_TESTS_ELFDYNAMIC_H

#include <string>
#include <vector>

struct DynamicSymbol {
  std::string name;
  int type = 0;     // STT_*: 1 object, 2 function
  int binding = 0;  // STB_*: 1 global, 2 weak
};

// Defined symbols of `path`'s .dynsym; false with `error` when the file is
// not an ELF64 LE file or its tables do not fit inside it.
bool ReadDefinedDynamicSymbols(const std::string& path, std::vector<DynamicSymbol>* out,
                               std::string* error);

// The library search paths (DT_RPATH and DT_RUNPATH, each as written) of
// `path`'s dynamic section, in order; false with `error` as above.
bool ReadSearchPaths(const std::string& path, std::vector<std::string>* out, std::string* error);

#endif  // BRENNA_TESTS_ELFDYNAMIC_H
