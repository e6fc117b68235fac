// ElfDynamicSymbols - the symbols a 64-bit little-endian ELF file defines in
// its dynamic symbol table: what a module loaded into the program can bind
// to.
#ifndef BRENNA_TESTS_ELFDYNAMICSYMBOLS_H
#define BRENNA_TESTS_ELFDYNAMICSYMBOLS_H

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

#endif  // BRENNA_TESTS_ELFDYNAMICSYMBOLS_H
