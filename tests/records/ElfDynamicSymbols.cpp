#include "ElfDynamicSymbols.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "PallixByteOrder.h"

namespace {

uint64_t GetU64(const unsigned char* p) {
  return static_cast<uint64_t>(PallixGetU32(p)) | static_cast<uint64_t>(PallixGetU32(p + 4)) << 32;
}

constexpr uint32_t kSymbolTableDynamic = 11;  // SHT_DYNSYM
constexpr size_t kSectionHeaderSize = 64;
constexpr size_t kSymbolSize = 24;

bool Fits(const std::string& bytes, uint64_t offset, uint64_t size) {
  return offset <= bytes.size() && size <= bytes.size() - offset;
}

}  // namespace

bool ReadDefinedDynamicSymbols(const std::string& path, std::vector<DynamicSymbol>* out,
                               std::string* error) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 64 ||
      std::memcmp(b,
                  "\x7f"
                  "ELF",
                  4) != 0 ||
      b[4] != 2 || b[5] != 1) {
    *error = path + " is not a 64-bit little-endian ELF file";
    return false;
  }
  const uint64_t sectionsAt = GetU64(b + 0x28);
  const uint16_t entrySize = PallixGetU16(b + 0x3A);
  const uint16_t count = PallixGetU16(b + 0x3C);
  if (entrySize != kSectionHeaderSize || !Fits(bytes, sectionsAt, uint64_t{count} * entrySize)) {
    *error = "section headers of " + path + " do not fit";
    return false;
  }
  auto section = [&](uint32_t i) { return b + sectionsAt + uint64_t{i} * entrySize; };
  for (uint16_t i = 0; i < count; ++i) {
    const unsigned char* s = section(i);
    if (PallixGetU32(s + 4) != kSymbolTableDynamic) continue;
    const uint64_t symAt = GetU64(s + 0x18), symSize = GetU64(s + 0x20);
    const uint32_t link = PallixGetU32(s + 0x28);
    if (link >= count || !Fits(bytes, symAt, symSize)) break;
    const uint64_t strAt = GetU64(section(link) + 0x18), strSize = GetU64(section(link) + 0x20);
    if (!Fits(bytes, strAt, strSize)) break;
    out->clear();
    for (uint64_t at = symAt; at + kSymbolSize <= symAt + symSize; at += kSymbolSize) {
      const uint32_t nameAt = PallixGetU32(b + at);
      const unsigned char info = b[at + 4];
      const uint16_t sectionIndex = PallixGetU16(b + at + 6);
      if (sectionIndex == 0 || nameAt >= strSize) continue;  // undefined: an import
      const char* name = reinterpret_cast<const char*>(b + strAt + nameAt);
      DynamicSymbol symbol;
      symbol.name.assign(name, strnlen(name, strSize - nameAt));
      symbol.type = info & 0xF;
      symbol.binding = info >> 4;
      out->push_back(symbol);
    }
    return true;
  }
  *error = path + " has no readable dynamic symbol table";
  return false;
}
