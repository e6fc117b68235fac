#include "PeImports.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

namespace {

// Every read checks its bounds; values are little-endian whatever the host.
class Bytes {
 public:
  explicit Bytes(std::string data) : m_data(std::move(data)) {}
  bool Has(std::uint64_t at, std::uint64_t n) const {
    return at <= m_data.size() && n <= m_data.size() - at;
  }
  std::uint32_t Le(std::uint64_t at, int n) const {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(m_data[at + i]);
    return v;
  }
  // A NUL-terminated name at `at`; empty when it runs off the end.
  std::string Name(std::uint64_t at) const {
    if (!Has(at, 1)) return std::string();
    const std::size_t end = m_data.find('\0', at);
    return end == std::string::npos ? std::string() : m_data.substr(at, end - at);
  }

 private:
  std::string m_data;
};

struct Section {
  std::uint32_t address, size, rawOffset, rawSize;
};

// The file offset of a relative virtual address; false when no section
// holds it.
bool FileOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint64_t* at) {
  for (const Section& s : sections) {
    const std::uint32_t span = std::max(s.size, s.rawSize);
    if (rva >= s.address && rva - s.address < span && rva - s.address < s.rawSize) {
      *at = std::uint64_t{s.rawOffset} + (rva - s.address);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadPeFacts(const std::string& path, PeFacts* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  const Bytes b{std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
  *out = PeFacts();
  if (!b.Has(0, 64) || b.Le(0, 2) != 0x5A4D) {  // "MZ"
    *error = path + " has no DOS header";
    return false;
  }
  const std::uint64_t pe = b.Le(0x3C, 4);
  if (!b.Has(pe, 24) || b.Le(pe, 4) != 0x00004550) {  // "PE\0\0"
    *error = path + " has no PE header";
    return false;
  }
  out->machine = static_cast<std::uint16_t>(b.Le(pe + 4, 2));
  const std::uint32_t sectionCount = b.Le(pe + 6, 2);
  const std::uint32_t optionalSize = b.Le(pe + 20, 2);
  const std::uint64_t optional = pe + 24;
  if (!b.Has(optional, optionalSize) || optionalSize < 2) {
    *error = path + ": the optional header does not fit";
    return false;
  }
  const std::uint32_t magic = b.Le(optional, 2);
  if (magic != 0x10B && magic != 0x20B) {
    *error = path + ": unknown optional header magic";
    return false;
  }
  out->pe32Plus = magic == 0x20B;
  // The data directories follow the fields of the header's kind; the
  // import table is the second.
  const std::uint64_t countAt = optional + (out->pe32Plus ? 108 : 92);
  const std::uint64_t directories = countAt + 4;
  if (countAt + 4 > optional + optionalSize || b.Le(countAt, 4) < 2 ||
      directories + 16 > optional + optionalSize) {
    *error = path + ": no import directory";
    return false;
  }
  const std::uint32_t importRva = b.Le(directories + 8, 4);

  std::vector<Section> sections;
  const std::uint64_t table = optional + optionalSize;
  if (!b.Has(table, std::uint64_t{sectionCount} * 40)) {
    *error = path + ": the section table does not fit";
    return false;
  }
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t s = table + std::uint64_t{i} * 40;
    sections.push_back({b.Le(s + 12, 4), b.Le(s + 8, 4), b.Le(s + 20, 4), b.Le(s + 16, 4)});
  }
  if (importRva == 0) return true;  // imports nothing
  std::uint64_t at = 0;
  if (!FileOffset(sections, importRva, &at)) {
    *error = path + ": the import table lies in no section";
    return false;
  }
  // One 20-byte descriptor per DLL, up to one of zeros.
  for (;; at += 20) {
    if (!b.Has(at, 20)) {
      *error = path + ": the import table runs off the end";
      return false;
    }
    const std::uint32_t nameRva = b.Le(at + 12, 4);
    if (nameRva == 0 && b.Le(at + 16, 4) == 0) return true;
    std::uint64_t nameAt = 0;
    const std::string name = FileOffset(sections, nameRva, &nameAt) ? b.Name(nameAt) : "";
    if (name.empty()) {
      *error = path + ": an imported DLL without a readable name";
      return false;
    }
    out->importedDlls.push_back(name);
  }
}

bool IsWindowsOwnDll(const std::string& dll) {
  static const std::set<std::string> own = {
      "advapi32.dll", "bcrypt.dll",   "comctl32.dll", "comdlg32.dll", "crypt32.dll",
      "gdi32.dll",    "iphlpapi.dll", "kernel32.dll", "msvcrt.dll",   "ntdll.dll",
      "ole32.dll",    "oleaut32.dll", "secur32.dll",  "shell32.dll",  "shlwapi.dll",
      "user32.dll",   "version.dll",  "winmm.dll",    "ws2_32.dll"};
  std::string lower = dll;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return own.count(lower) == 1;
}

std::string WhyNotStandalone(const std::string& path, std::uint16_t machine, bool pe32Plus) {
  PeFacts facts;
  std::string why;
  if (!ReadPeFacts(path, &facts, &why)) return why + "\n";
  char line[96];
  if (facts.machine != machine) {
    std::snprintf(line, sizeof line, "machine 0x%04X, not 0x%04X\n", facts.machine, machine);
    why += line;
  }
  if (facts.pe32Plus != pe32Plus) why += pe32Plus ? "PE32, not PE32+\n" : "PE32+, not PE32\n";
  if (facts.importedDlls.empty()) why += "no imported DLLs read\n";
  for (const std::string& dll : facts.importedDlls)
    if (!IsWindowsOwnDll(dll)) why += dll + " would have to be shipped beside the program\n";
  return why;
}
