// GBK conversion on Windows: code page 936 through WideCharToMultiByte and
// MultiByteToWideChar, one character at a time, so that an unconvertible
// character is replaced (or refused) alone, exactly as the POSIX side does
// with iconv.
#include <windows.h>

#include "platform/Gbk.h"

namespace {

constexpr UINT kGbkCodePage = 936;

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The code point of the well-formed UTF-8 sequence at text[i] and its
// length; 0 when the bytes there are not one.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t* cp) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  }
  const size_t n = Utf8SequenceLength(lead);
  if (n == 1 || i + n > text.size()) return 0;
  char32_t value = lead & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return n;
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Appends the GBK bytes of one code point; false when GBK has none.
bool EncodeGbk(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
    return true;
  }
  wchar_t wide[2];
  int units = 1;
  if (cp >= 0x10000) {
    const char32_t v = cp - 0x10000;
    wide[0] = static_cast<wchar_t>(0xD800 + (v >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
    units = 2;
  } else {
    wide[0] = static_cast<wchar_t>(cp);
  }
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                    sizeof bytes, nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out->append(bytes, static_cast<size_t>(n));
  return true;
}

}  // namespace

std::string Gbk(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(utf8, i, &cp);
    if (n > 0 && EncodeGbk(cp, &out)) {
      i += n;
      continue;
    }
    out.push_back('?');
    size_t skip = n > 0 ? n : Utf8SequenceLength(static_cast<unsigned char>(utf8[i]));
    i += skip < utf8.size() - i ? skip : utf8.size() - i;
  }
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 2);
  size_t i = 0;
  while (i < gbk.size()) {
    const unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    wchar_t wide[2];
    const int units =
        GbkCharLength(gbk, i) == 2
            ? MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data() + i, 2, wide, 2)
            : 0;
    if (units == 1) {
      AppendUtf8(wide[0], &out);
      i += 2;
    } else {
      out.append("\xEF\xBF\xBD");
      ++i;
    }
  }
  return out;
}

bool Utf8ToGbkExact(std::string_view utf8, std::string* gbk) {
  gbk->clear();
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(utf8, i, &cp);
    if (n == 0 || !EncodeGbk(cp, gbk)) return false;
    i += n;
  }
  return true;
}
