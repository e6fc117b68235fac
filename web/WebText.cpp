#include "web/WebText.h"

#include <cstdio>

#include "platform/Gbk.h"

namespace web {

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

}  // namespace

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

std::string Html(std::string_view t) {
  std::string out;
  out.reserve(t.size() + t.size() / 8);
  for (char c : t) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Json(std::string_view t) {
  std::string out = "\"";
  out.reserve(t.size() + 2);
  for (std::size_t i = 0; i < t.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04x", c);
      out += u;
    } else if (c == 0xE2 && i + 2 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(t[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(t[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(t[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string CssColour(std::uint32_t c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return text;
}

std::string UrlEncode(std::string_view t) {
  std::string out;
  for (unsigned char c : t) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char h[4];
      std::snprintf(h, sizeof h, "%%%02X", c);
      out += h;
    }
  }
  return out;
}

bool FormToGbk(const std::string& utf8, std::string* gbk) { return Utf8ToGbkExact(utf8, gbk); }

}  // namespace web
