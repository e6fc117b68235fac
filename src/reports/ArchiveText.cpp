#include "reports/ArchiveText.h"

#include <cstdio>

#include "journal/JournalLine.h"
#include "panel/Verdicts.h"
#include "platform/Gbk.h"

namespace reports {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t SequenceLength(std::string_view t, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(t[i]);
  std::size_t n = c < 0x80                   ? 1
                  : (c >= 0xC2 && c <= 0xDF) ? 2
                  : (c >= 0xE0 && c <= 0xEF) ? 3
                  : (c >= 0xF0 && c <= 0xF4) ? 4
                                             : 0;
  if (n == 0 || i + n > t.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return 0;
  const unsigned char c1 = static_cast<unsigned char>(t[i + 1 < t.size() ? i + 1 : i]);
  if (n == 3 && ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F)))
    return 0;  // overlong, surrogate
  if (n == 4 && ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))) return 0;
  return n;
}

// The journal's escaping, and C1 controls (U+0080..U+009F, which some
// terminals obey like ESC sequences) as \u00NN besides.
std::string Escaped(std::string_view utf8) {
  std::string escaped;
  journal::AppendEscaped(&escaped, utf8);
  std::string out;
  out.reserve(escaped.size());
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(escaped[i]);
    const unsigned char next =
        i + 1 < escaped.size() ? static_cast<unsigned char>(escaped[i + 1]) : 0;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04x", next);
      out += u;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool IsPlainNumber(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

// The code point at text[i] (valid UTF-8, as the escaping leaves it) and
// its length.
char32_t CodePoint(std::string_view t, std::size_t i, std::size_t* n) {
  const unsigned char c = static_cast<unsigned char>(t[i]);
  int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + static_cast<std::size_t>(len) > t.size()) len = 1;
  char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(t[i + k]) & 0x3F);
  *n = static_cast<std::size_t>(len);
  return cp;
}

bool Wide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

std::string FromGbk(std::string_view gbk) { return Escaped(GbkToUtf8(gbk)); }

std::string FromUtf8(std::string_view text) { return Escaped(text); }

std::string CleanUtf8(std::string_view t) {
  std::string out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size();) {
    const std::size_t n = SequenceLength(t, i);
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (n == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    const bool c0 = n == 1 && (c < 0x20 || c == 0x7F);
    const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(t[i + 1]) <= 0x9F;
    if (c0 || c1)
      out += kReplacement;
    else
      out.append(t.substr(i, n));
    i += n;
  }
  return out;
}

std::string StationText(std::string_view gbk) { return CleanUtf8(GbkToUtf8(gbk)); }

std::string CsvCell(std::string_view text) {
  std::string t(text);
  if (!t.empty() && (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@') && !IsPlainNumber(t))
    t.insert(0, 1, '\'');
  const bool quote = t.find_first_of(",\"") != std::string::npos ||
                     (!t.empty() && (t.front() == ' ' || t.back() == ' '));
  if (!quote) return t;
  std::string out = "\"";
  for (char c : t) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string CsvTextCell(std::string_view text) {
  // Only digits, a sign and a point go between the quotes: nothing a
  // station sends can become a formula of its own.
  if (IsPlainNumber(text)) return "\"=\"\"" + std::string(text) + "\"\"\"";
  return CsvCell(text);
}

std::string CsvValueCell(std::string_view text) {
  std::size_t digits = 0, at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  const bool leadingZero = at + 1 < text.size() && text[at] == '0' && text[at + 1] != '.';
  for (char c : text) digits += c >= '0' && c <= '9';
  if (IsPlainNumber(text) && (leadingZero || digits > 15)) return CsvTextCell(text);
  return CsvCell(text);
}

int DisplayWidth(std::string_view utf8) {
  int width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    width += Wide(CodePoint(utf8, i, &n)) ? 2 : 1;
    i += n;
  }
  return width;
}

std::string PadRight(const std::string& utf8, int width) {
  const int have = DisplayWidth(utf8);
  return have >= width ? utf8 : utf8 + std::string(static_cast<std::size_t>(width - have), ' ');
}

std::string ColourName(std::uint32_t c) {
  if (const VerdictLook* verdict = VerdictOfColour(c)) return verdict->colourName;
  if (c == kColorWhite) return "white";
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return text;
}

}  // namespace reports
