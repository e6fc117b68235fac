#include "web/WebText.h"

#include <cstdio>

#include "platform/Gbk.h"

namespace web {

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
