#include "SiteConfig.h"

#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

#include "Language.h"
#include "Log.h"
#include "PallixThreadSafety.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace pallix::site {

namespace {

std::string Trim(const std::string& s) {
  std::string::size_type b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    --e;
  return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Paths are GBK bytes: they go through the platform's path functions,
// never std::filesystem, whose Windows conversion does not give the bytes
// back.
bool IsAbsolute(const std::string& p) { return sys::IsAbsolutePath(p); }

// Lexically normal with the system's separators, no trailing separator
// (but the root itself: "/" or "C:\\").
std::string Normalise(const std::string& p) { return sys::NormalPath(p); }

// name is relative.
std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return Normalise(name);
  return Normalise(sys::EndsWithSeparator(dir) ? dir + name : dir + sys::PathSeparator() + name);
}

std::string UserDataHome() {
  std::string home = sys::UserDataHome();
  if (IsAbsolute(home)) return home;
  return Join(sys::CurrentDirectory(), ".local/share");
}

bool IsDecimal(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

PallixMutex g_currentLock;
std::shared_ptr<const Settings> g_current PALLIX_GUARDED_BY(g_currentLock);

}  // namespace

Settings DefaultSettings() {
  Settings s;
  s.baseDir = Join(UserDataHome(), kDefaultFolder);
  s.spoolDir = Join(s.baseDir, kSpoolFolder);
  return s;
}

namespace {

// The entries of the settings file as they are read, line by line, into
// the settings they change.
class SettingsReading {
 public:
  SettingsReading(Settings& s, const std::string& settingsFile)
      : m_s(s), m_fileDir(sys::DirectoryOf(settingsFile)) {
    m_s.settingsFile = settingsFile;
  }

  // A "key = value" line of `section`.
  void Entry(int lineNo, const std::string& section, const std::string& key,
             const std::string& value) {
    if (EqualsNoCase(section, "Site")) {
      SiteEntry(lineNo, key, value);
    } else if (EqualsNoCase(section, "ParamNames")) {
      if (key.empty() || !IsDecimal(value)) return Problem(lineNo, "parameter ID is not a number");
      m_s.paramNames.emplace_back(key, std::to_string(std::stol(value)));
    }
  }
  void Problem(int lineNo, const std::string& what) {
    m_s.problems.push_back("line " + std::to_string(lineNo) + ": " + what);
  }
  // A base directory named without a spool directory carries its spool/.
  void Finish() {
    if (m_baseGiven && !m_spoolGiven) m_s.spoolDir = Join(m_s.baseDir, kSpoolFolder);
  }

 private:
  void SiteEntry(int lineNo, const std::string& key, const std::string& value) {
    if (EqualsNoCase(key, "Translation")) {
      m_s.translationFile = value.empty() ? std::string() : Resolve(value);
      return;
    }
    // Other keys of [Site] are left for later versions and ignored.
    const bool base = EqualsNoCase(key, "BaseDir");
    if (!base && !EqualsNoCase(key, "SpoolDir")) return;
    if (value.empty()) return Problem(lineNo, "empty " + key);
    std::string dir = Resolve(value);
    if (dir.size() > kMaxPath)
      return Problem(lineNo, key + " longer than " + std::to_string(kMaxPath) + " bytes");
    (base ? m_s.baseDir : m_s.spoolDir) = dir;
    (base ? m_baseGiven : m_spoolGiven) = true;
  }
  // A path named in the file: relative to the file's folder. One rooted
  // without a drive (\data, /srv/data) on Windows: on the drive the file
  // lies on.
  std::string Resolve(const std::string& value) const {
    const std::string rooted = sys::OnDriveOf(m_fileDir, value);
    return IsAbsolute(rooted) ? Normalise(rooted)
                              : Join(m_fileDir.empty() ? "." : m_fileDir, rooted);
  }

  Settings& m_s;
  const std::string m_fileDir;
  bool m_baseGiven = false;
  bool m_spoolGiven = false;
};

}  // namespace

Settings ReadSettings(const std::string& settingsFile) {
  Settings s = DefaultSettings();
  // Never a stream from a FIFO or device under the file's name: that would
  // hold the caller (the monitor's start) or fill its memory.
  std::vector<unsigned char> bytes;
  const sys::FileStatus status = sys::ReadSettingsFile(settingsFile, kMaxSettingsFileBytes, &bytes);
  if (status == sys::FileStatus::kMissing) return s;
  if (status != sys::FileStatus::kOk) {
    s.problems.push_back(std::string("not read: ") + sys::Why(status));
    PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_START,
               "settings file %s not read: %s; the defaults stand (base directory %s)",
               settingsFile.c_str(), sys::Why(status), s.baseDir.c_str());
    return s;
  }
  SettingsReading reading(s, settingsFile);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string section, line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      std::string::size_type close = line.find(']');
      section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    std::string::size_type eq = line.find('=');
    if (eq == std::string::npos) {
      reading.Problem(lineNo, "no '='");
      continue;
    }
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    reading.Entry(lineNo, section, Trim(line.substr(0, eq)), value);
  }
  reading.Finish();
  return s;
}

std::string SettingsFilePath() {
  std::string dir = sys::LibraryDirectory();
  if (dir.empty()) return {};
  return Join(dir, kSettingsFileName);
}

int FillRecord(const Settings& settings, SiteConfig* cfg) {
  std::memset(cfg->bytes, 0, sizeof cfg->bytes);
  int result = 1;
  auto put = [&](std::size_t offset, const std::string& dir) {
    if (dir.size() > kMaxPath) {
      result = -2;
      return;
    }
    std::memcpy(cfg->bytes + offset, dir.data(), dir.size());
  };
  put(PALLIX_SITE_BASE_DIR_OFFSET, settings.baseDir);
  put(PALLIX_SITE_SPOOL_DIR_OFFSET, settings.spoolDir);
  return result;
}

bool CreateDirectories(const Settings& settings) {
  bool ok = true;
  for (const std::string* dir : {&settings.baseDir, &settings.spoolDir}) {
    if (!sys::MakeDirectories(*dir)) ok = false;
  }
  return ok;
}

std::shared_ptr<const Settings> Current() {
  {
    PallixMutexLock lock(g_currentLock);
    if (g_current) return g_current;
  }
  auto loaded = std::make_shared<const Settings>(ReadSettings(SettingsFilePath()));
  {
    PallixMutexLock lock(g_currentLock);
    if (g_current) return g_current;  // another thread was first
  }
  Install(loaded);
  PallixMutexLock lock(g_currentLock);
  return g_current;
}

bool Install(std::shared_ptr<const Settings> settings) {
  const bool loaded = language::Load(settings->translationFile);
  PallixMutexLock lock(g_currentLock);
  g_current = std::move(settings);
  return loaded;
}

int GetPallix(SiteConfig* cfg) {
  if (cfg == nullptr) return -1;
  auto settings = std::make_shared<Settings>(ReadSettings(SettingsFilePath()));
  bool dirsOk = CreateDirectories(*settings);
  const bool translated = Install(settings);
  int filled = FillRecord(*settings, cfg);
  if (filled < 0) return filled;
  if (!dirsOk || !settings->problems.empty() || !translated) return 0;
  return 1;
}

int GetDefaultPallix(SiteConfig* cfg) {
  if (cfg == nullptr) return -1;
  return FillRecord(DefaultSettings(), cfg);
}

}  // namespace pallix::site
