#include "util/PrivateProfile.h"

#include <vector>

#include "journal/Journal.h"
#include "platform/Gbk.h"
#include "util/TextNumber.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters fold; a GBK double-byte character compares exactly, so its
// trail byte (which may fall in the ASCII letter range) never folds.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i += GbkCharLength(a, i)) {
    if (GbkCharLength(a, i) == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

// Position of ']' in s from `from`, stepping over GBK double-byte characters
// whose trail byte may be 0x5D.
size_t FindCloseBracket(const std::string& s, size_t from) {
  for (size_t i = from; i < s.size(); i += GbkCharLength(s, i))
    if (s[i] == ']' && GbkCharLength(s, i) == 1) return i;
  return std::string::npos;
}

struct Profile {
  std::vector<std::string> lines;
  // Each line's own terminator ("\r\n", "\n" or none for a last line), so a
  // write gives back every line it does not change byte for byte.
  std::vector<std::string> ends;
  // The terminator of lines we add: the file's first one.
  std::string eol = "\n";

  void Insert(size_t at, const std::string& line) {
    lines.insert(lines.begin() + static_cast<long>(at), line);
    ends.insert(ends.begin() + static_cast<long>(at), eol);
  }
};

void Parse(const std::string& text, Profile& profile) {
  size_t start = 0;
  bool eolChosen = false;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl;
    size_t contentEnd = end;
    if (contentEnd > start && text[contentEnd - 1] == '\r') --contentEnd;
    if (!eolChosen && nl != std::string::npos) {
      profile.eol = contentEnd != end ? "\r\n" : "\n";
      eolChosen = true;
    }
    profile.lines.push_back(text.substr(start, contentEnd - start));
    // A last line without '\n' but with its '\r' gets the '\n' that keeps
    // the '\r' a line end when lines follow it.
    if (nl == std::string::npos)
      profile.ends.push_back(contentEnd != end ? "\r\n" : "");
    else
      profile.ends.push_back(text.substr(contentEnd, nl + 1 - contentEnd));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

// A file that is missing or cannot be read reads as no file at all; one
// that is there but refused says why.
bool Load(const std::string& file, Profile& profile) {
  std::string text;
  const FileStore::ReadResult read = FileStore::System().Read(file, &text);
  if (read == FileStore::ReadResult::kOk) {
    Parse(text, profile);
    return true;
  }
  if (read != FileStore::ReadResult::kMissing) {
    BRENNA_LOG(kWarning, kSettings,
               "settings file %s not read: %s; it reads as no file (every setting its default)",
               journal::JournalName(file).c_str(), FileStore::Why(read));
  }
  return false;
}

// A section header's name, or false when the line is not a header.
bool SectionName(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = FindCloseBracket(t, 1);
  name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// A key line's key and value, or false for blanks, comments and other lines.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

// Index of the first header line of section, or -1.
long FindSection(const Profile& p, const std::string& section) {
  std::string name;
  for (size_t i = 0; i < p.lines.size(); ++i)
    if (SectionName(p.lines[i], name) && SameName(name, section)) return static_cast<long>(i);
  return -1;
}

// Looks the key up in the section starting after header line h. Sets `keyLine`
// to its line index (or -1) and `lastEntry` to the last non-blank line of the
// section (h when the section is empty).
void FindKey(const Profile& p, long h, const std::string& key, long& keyLine, long& lastEntry,
             std::string* value) {
  keyLine = -1;
  lastEntry = h;
  std::string name, k, v;
  for (size_t i = static_cast<size_t>(h) + 1; i < p.lines.size(); ++i) {
    if (SectionName(p.lines[i], name)) break;
    if (!Trim(p.lines[i]).empty()) lastEntry = static_cast<long>(i);
    if (keyLine < 0 && KeyValue(p.lines[i], k, v) && SameName(k, key)) {
      keyLine = static_cast<long>(i);
      if (value != nullptr) *value = v;
    }
  }
}

bool Find(const Profile& p, const std::string& section, const std::string& key,
          std::string& value) {
  long h = FindSection(p, section);
  if (h < 0) return false;
  long keyLine, lastEntry;
  FindKey(p, h, key, keyLine, lastEntry, &value);
  if (keyLine < 0) return false;
  value = Unquote(value);
  return true;
}

bool Lookup(const std::string& section, const std::string& key, const std::string& file,
            std::string& value) {
  Profile p;
  return Load(file, p) && Find(p, section, key, value);
}

std::string Serialise(const Profile& p) {
  std::string text;
  for (size_t i = 0; i < p.lines.size(); ++i)
    text += p.lines[i] + (p.ends[i].empty() ? p.eol : p.ends[i]);
  return text;
}

// A line break in any of them would write lines of its own; a key holding
// '=' or a section holding ']' would read back as another entry.
bool IsWritableEntry(const std::string& section, const std::string& key, const std::string& value) {
  for (const std::string* s : {&section, &key, &value})
    if (s->find_first_of("\r\n") != std::string::npos) return false;
  return key.find('=') == std::string::npos && FindCloseBracket(section, 0) == std::string::npos;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file) {
  std::string value;
  return Lookup(section, key, file, value) ? value : def;
}

std::string GetPrivateProfileStringFromText(const std::string& section, const std::string& key,
                                            const std::string& def, const std::string& text) {
  Profile p;
  Parse(text, p);
  std::string value;
  return Find(p, section, key, value) ? value : def;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& file) {
  std::string value;
  if (!Lookup(section, key, file, value) || value.empty()) return def;
  return ParseLeadingInt(value);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file,
                               FileStore& store) {
  if (!IsWritableEntry(section, key, value)) {
    BRENNA_LOG(kWarning, kSettings,
               "cannot write to %s: the entry would not read back as itself (a line break, "
               "'=' in the key or ']' in the section)",
               journal::JournalName(file).c_str());
    return false;
  }
  // A link is written through to the file it names and stays a link.
  const std::string target = store.Resolve(file);
  if (target.empty()) {
    BRENNA_LOG(kWarning, kSettings,
               "cannot write %s: it is a symbolic link whose chain never ends in a file (a "
               "loop?), or a link or reparse point on Windows; the file is unchanged",
               journal::JournalName(file).c_str());
    return false;
  }
  Profile p;
  std::string text;
  const FileStore::ReadResult read = store.Read(target, &text);
  switch (read) {
    case FileStore::ReadResult::kOk:
      Parse(text, p);
      break;
    case FileStore::ReadResult::kMissing:
      break;  // a missing file starts empty
    case FileStore::ReadResult::kFailed:
    case FileStore::ReadResult::kNotRegular:
    case FileStore::ReadResult::kTooLarge:
      // What cannot be read cannot be kept: leave it alone.
      BRENNA_LOG(kWarning, kSettings, "cannot write %s: %s; the file is unchanged",
                 journal::JournalName(target).c_str(), FileStore::Why(read));
      return false;
  }
  const std::string entry = key + "=" + value;
  long h = FindSection(p, section);
  if (h < 0) {
    if (!p.lines.empty() && !Trim(p.lines.back()).empty()) p.Insert(p.lines.size(), "");
    p.Insert(p.lines.size(), "[" + section + "]");
    p.Insert(p.lines.size(), entry);
    return store.Replace(target, Serialise(p));
  }
  long keyLine, lastEntry;
  FindKey(p, h, key, keyLine, lastEntry, nullptr);
  if (keyLine >= 0)
    p.lines[static_cast<size_t>(keyLine)] = entry;
  else
    p.Insert(static_cast<size_t>(lastEntry) + 1, entry);
  return store.Replace(target, Serialise(p));
}
