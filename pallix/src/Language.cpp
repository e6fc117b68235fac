#include "Language.h"

#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Log.h"
#include "PallixThreadSafety.h"
#include "SiteConfig.h"
#include "platform/Files.h"

namespace pallix::language {

namespace {

std::string TrimBlanks(const std::string& s) {
  std::string::size_type b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

struct Table {
  PallixMutex lock;
  // Every translation ever loaded. Node-based: an element never moves, so
  // pointers handed out stay valid until the library is unloaded.
  std::unordered_set<std::string> pool PALLIX_GUARDED_BY(lock);
  // text -> pooled translation
  std::unordered_map<std::string, const char*> map PALLIX_GUARDED_BY(lock);
};

Table& TheTable() {
  static Table table;
  return table;
}

}  // namespace

bool Load(const std::string& file) {
  std::unordered_map<std::string, std::string> entries;
  bool ok = true;
  if (!file.empty()) {
    // Read as the settings file is: a FIFO or device named here must not
    // hold the start, nor an endless stream fill the memory.
    std::vector<unsigned char> bytes;
    const sys::FileStatus status = sys::ReadSettingsFile(file, site::kMaxSettingsFileBytes, &bytes);
    if (status != sys::FileStatus::kOk) {
      ok = false;
      PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_START,
                 "translation file %s not read: %s; texts are shown untranslated", file.c_str(),
                 sys::Why(status));
    } else {
      std::istringstream in(std::string(bytes.begin(), bytes.end()));
      std::string line;
      bool first = true;
      while (std::getline(in, line)) {
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        first = false;
        std::string t = TrimBlanks(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        std::string::size_type eq = t.find('=');
        if (eq == std::string::npos) continue;
        std::string from = TrimBlanks(t.substr(0, eq));
        if (from.empty()) continue;
        entries.emplace(from, TrimBlanks(t.substr(eq + 1)));  // the first entry wins
      }
    }
  }
  Table& table = TheTable();
  PallixMutexLock lock(table.lock);
  table.map.clear();
  for (auto& [from, to] : entries) {
    const std::string& pooled = *table.pool.insert(to).first;
    table.map.emplace(from, pooled.c_str());
  }
  return ok;
}

const char* Translate(const char* text) {
  if (text == nullptr) return "";
  Table& table = TheTable();
  PallixMutexLock lock(table.lock);
  if (table.map.empty()) return text;
  auto it = table.map.find(text);
  return it != table.map.end() ? it->second : text;
}

}  // namespace pallix::language
