#include "ElfDynamic.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "PallixByteOrder.h"

namespace {

uint64_t GetU64(const unsigned char* p) {
  return static_cast<uint64_t>(PallixGetU32(p)) | static_cast<uint64_t>(PallixGetU32(p + 4)) << 32;
}

constexpr uint32_t kSectionDynamic = 6;          // SHT_DYNAMIC
constexpr uint32_t kSectionSymbolsDynamic = 11;  // SHT_DYNSYM
constexpr size_t kSectionHeaderSize = 64;
constexpr size_t kSymbolSize = 24;
constexpr size_t kDynamicEntrySize = 16;
constexpr uint64_t kTagEnd = 0;       // DT_NULL
constexpr uint64_t kTagRpath = 15;    // DT_RPATH
constexpr uint64_t kTagRunpath = 29;  // DT_RUNPATH

// An ELF64 LE file in memory, and the first section of a kind with the
// string table it links to, each checked to lie inside the file.
class ElfImage {
 public:
  bool Load(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const unsigned char* b = Bytes();
    if (m_bytes.size() < 64 ||
        std::memcmp(b,
                    "\x7f"
                    "ELF",
                    4) != 0 ||
        b[4] != 2 || b[5] != 1) {
      *error = path + " is not a 64-bit little-endian ELF file";
      return false;
    }
    m_sectionsAt = GetU64(b + 0x28);
    const uint16_t entrySize = PallixGetU16(b + 0x3A);
    m_count = PallixGetU16(b + 0x3C);
    if (entrySize != kSectionHeaderSize || !Fits(m_sectionsAt, uint64_t{m_count} * entrySize)) {
      *error = "section headers of " + path + " do not fit";
      return false;
    }
    return true;
  }

  struct Table {
    uint64_t at = 0, size = 0;        // the section
    uint64_t strAt = 0, strSize = 0;  // its string table
  };
  bool Find(uint32_t type, Table* table) const {
    for (uint16_t i = 0; i < m_count; ++i) {
      const unsigned char* s = Section(i);
      if (PallixGetU32(s + 4) != type) continue;
      table->at = GetU64(s + 0x18);
      table->size = GetU64(s + 0x20);
      const uint32_t link = PallixGetU32(s + 0x28);
      if (link >= m_count || !Fits(table->at, table->size)) return false;
      table->strAt = GetU64(Section(link) + 0x18);
      table->strSize = GetU64(Section(link) + 0x20);
      return Fits(table->strAt, table->strSize);
    }
    return false;
  }

  // The string at `offset` of the table, cut at its end.
  std::string String(const Table& table, uint64_t offset) const {
    if (offset >= table.strSize) return std::string();
    const char* s = reinterpret_cast<const char*>(Bytes() + table.strAt + offset);
    return std::string(s, strnlen(s, table.strSize - offset));
  }

  const unsigned char* Bytes() const {
    return reinterpret_cast<const unsigned char*>(m_bytes.data());
  }

 private:
  bool Fits(uint64_t offset, uint64_t size) const {
    return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
  }
  const unsigned char* Section(uint32_t i) const {
    return Bytes() + m_sectionsAt + uint64_t{i} * kSectionHeaderSize;
  }

  std::string m_bytes;
  uint64_t m_sectionsAt = 0;
  uint16_t m_count = 0;
};

}  // namespace

bool ReadDefinedDynamicSymbols(const std::string& path, std::vector<DynamicSymbol>* out,
                               std::string* error) {
  ElfImage elf;
  if (!elf.Load(path, error)) return false;
  ElfImage::Table table;
  if (!elf.Find(kSectionSymbolsDynamic, &table)) {
    *error = path + " has no readable dynamic symbol table";
    return false;
  }
  const unsigned char* b = elf.Bytes();
  out->clear();
  for (uint64_t at = table.at; at + kSymbolSize <= table.at + table.size; at += kSymbolSize) {
    const uint32_t nameAt = PallixGetU32(b + at);
    const unsigned char info = b[at + 4];
    const uint16_t sectionIndex = PallixGetU16(b + at + 6);
    if (sectionIndex == 0 || nameAt >= table.strSize) continue;  // undefined: an import
    DynamicSymbol symbol;
    symbol.name = elf.String(table, nameAt);
    symbol.type = info & 0xF;
    symbol.binding = info >> 4;
    out->push_back(symbol);
  }
  return true;
}

bool ReadSearchPaths(const std::string& path, std::vector<std::string>* out, std::string* error) {
  ElfImage elf;
  if (!elf.Load(path, error)) return false;
  ElfImage::Table table;
  if (!elf.Find(kSectionDynamic, &table)) {
    *error = path + " has no readable dynamic section";
    return false;
  }
  const unsigned char* b = elf.Bytes();
  out->clear();
  for (uint64_t at = table.at; at + kDynamicEntrySize <= table.at + table.size;
       at += kDynamicEntrySize) {
    const uint64_t tag = GetU64(b + at);
    if (tag == kTagEnd) break;
    if (tag == kTagRpath || tag == kTagRunpath)
      out->push_back(elf.String(table, GetU64(b + at + 8)));
  }
  return true;
}
