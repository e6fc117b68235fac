// Any bytes as BrennaCenter.ini, then the reads of the settings module and
// one write. Optionally the input starts with "section\0key\0"; otherwise
// the port setting is looked up. Beyond "no crash": reads are bounded; the
// write is either refused with the file untouched or changes only the entry
// it names (every other line stays as it was) and reads back; and no file is
// left beside the INI.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzScratch.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"
#include "util/PrivateProfile.h"

namespace fs = std::filesystem;

namespace {

// Lines as a reader sees them: split at '\n', one '\r' before it dropped,
// no line after a final '\n'.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl;
    size_t contentEnd = end > start && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text.substr(start, contentEnd - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

// Names the write can always find again: visible ASCII other than the INI
// syntax characters, and whole GBK double-byte characters.
bool IsPlainName(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); i += GbkCharLength(s, i)) {
    if (GbkCharLength(s, i) == 2) continue;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c <= 0x20 || c >= 0x7F || std::strchr("[]=;\"'", c) != nullptr) return false;
  }
  return true;
}

// The write replaced one line by the entry, inserted the entry, appended
// the section header and the entry (after one blank line at most), or found
// the entry already as it is.
void CheckOnlyTheEntryChanged(const std::vector<std::string>& before,
                              const std::vector<std::string>& after, const std::string& header,
                              const std::string& entry) {
  size_t front = 0;
  while (front < before.size() && front < after.size() && before[front] == after[front]) ++front;
  size_t back = 0;
  while (back < before.size() - front && back < after.size() - front &&
         before[before.size() - 1 - back] == after[after.size() - 1 - back])
    ++back;
  const size_t removed = before.size() - front - back;
  const size_t added = after.size() - front - back;
  if (removed > 1) FuzzScratch::Fail("the write changed lines other than its entry");
  if (removed == 0 && added == 0) {
    // Rewriting the value a key already has changes nothing.
    for (const std::string& line : before)
      if (line == entry) return;
    FuzzScratch::Fail("the write left no entry behind");
  }
  if (added < 1 || added > 3) FuzzScratch::Fail("the write added an unexpected number of lines");
  if (removed == 1 && added != 1) FuzzScratch::Fail("a replaced entry changed the line count");
  for (size_t i = front; i < front + added; ++i) {
    const std::string& line = after[i];
    if (line != entry && line != header && !line.empty())
      FuzzScratch::Fail("the write added a line other than its header and entry");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzScratch scratch;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string section = Gbk("端口号"), key = "Port", file = bytes;
  const size_t nul1 = bytes.find('\0');
  const size_t nul2 = nul1 == std::string::npos ? nul1 : bytes.find('\0', nul1 + 1);
  if (nul2 != std::string::npos && nul2 <= 200) {
    section = bytes.substr(0, nul1);
    key = bytes.substr(nul1 + 1, nul2 - nul1 - 1);
    file = bytes.substr(nul2 + 1);
  }
  const fs::path ini = scratch.root() / "BrennaCenter.ini";
  FuzzScratch::WriteBytes(ini, reinterpret_cast<const uint8_t*>(file.data()), file.size());

  // A value never holds a line break, so "\n" marks the default.
  CIniFile m_ini;
  const std::string raw = GetPrivateProfileString(section, key, "\n", ini.string());
  const bool present = raw != "\n";
  if (present && raw.find('\n') != std::string::npos) FuzzScratch::Fail("a value spans lines");
  const int number = m_ini.GetInt(section, key, -7, ini.string());
  if ((!present || raw.empty()) && number != -7)
    FuzzScratch::Fail("a missing key read as a number");
  const std::string shown = m_ini.GetString(section, key, "\n", ini.string());
  if (shown.size() > 259) FuzzScratch::Fail("GetString beyond 259 bytes");
  if (raw.compare(0, shown.size(), shown) != 0)
    FuzzScratch::Fail("GetString is not a prefix of the value");
  if (shown.size() < raw.size() && shown.size() < 258) FuzzScratch::Fail("GetString cut too much");
  for (int n = 0; n <= 3; ++n)
    if (m_ini.GetCommaField(raw, n).size() >= raw.size() + (raw.empty() ? 1 : 0))
      FuzzScratch::Fail("a comma field as long as its text");

  // One write: refused with the file untouched, or only its entry changes
  // and a plain name reads back.
  const int value = static_cast<int>(size % 20011) - 10000;
  const bool wrote = WritePrivateProfileString(section, key, std::to_string(value), ini.string());
  const std::string written = FuzzScratch::ReadBytes(ini);
  if (!wrote && written != file) FuzzScratch::Fail("a refused write changed the file");
  if (wrote) {
    CheckOnlyTheEntryChanged(Lines(file), Lines(written), "[" + section + "]",
                             key + "=" + std::to_string(value));
    if (IsPlainName(section) && IsPlainName(key) &&
        m_ini.GetInt(section, key, value + 1, ini.string()) != value)
      FuzzScratch::Fail("the written value does not read back");
  }
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(scratch.root(), ec))
    if (e.path() != ini) FuzzScratch::Fail("a file was left beside the INI");
  scratch.Empty();
  return 0;
}
