// GBK conversion on Windows: code page 936 through WideCharToMultiByte and
// MultiByteToWideChar, one character at a time, so that an unconvertible
// character is replaced (or refused) alone, exactly as the POSIX side does
// with iconv; and the same code page to and from the UTF-16 of the "W"
// calls (GbkWide.h), never through the system's own code page. A name's
// exact conversion is libPallix's (platform/WideTextWin.h), shared by both.
#include <windows.h>

#include "platform/Gbk.h"
#include "platform/GbkWide.h"
#include "platform/WideTextWin.h"

namespace {

using pallix::sys::kGbkCodePage;

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

// Through UTF-16: a character that is no GBK becomes U+FFFD there.
std::string GbkToUtf8(std::string_view gbk) { return WideToUtf8(GbkToWide(gbk)); }

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

// Character by character, so that only what is no GBK character (by
// Gbk.h's rule, as on POSIX) is replaced.
std::wstring GbkToWide(std::string_view gbk) {
  std::wstring wide;
  wide.reserve(gbk.size());
  size_t i = 0;
  while (i < gbk.size()) {
    const unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      wide.push_back(static_cast<wchar_t>(c));
      ++i;
      continue;
    }
    wchar_t unit[2];
    const int n =
        GbkCharLength(gbk, i) == 2
            ? MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data() + i, 2, unit, 2)
            : 0;
    if (n == 1) {
      wide.push_back(unit[0]);
      i += 2;
    } else {
      wide.push_back(L'\xFFFD');
      ++i;
    }
  }
  return wide;
}

bool GbkToWideExact(std::string_view gbk, std::wstring* wide) {
  return pallix::sys::GbkToWideExact(gbk, wide);
}

std::string WideToGbk(std::wstring_view wide) {
  std::string gbk;
  if (WideToGbkExact(wide, &gbk)) return gbk;
  gbk.clear();
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t cp = wide[i];
    // A surrogate pair is one character.
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
      ++i;
    }
    if (!EncodeGbk(cp, &gbk)) gbk.push_back('?');
  }
  return gbk;
}

bool WideToGbkExact(std::wstring_view wide, std::string* gbk) {
  return pallix::sys::WideToGbkExact(wide, gbk);
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring wide;
  if (utf8.empty()) return wide;
  const int length = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (units <= 0) return wide;
  wide.resize(static_cast<size_t>(units));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], units);
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string utf8;
  if (wide.empty()) return utf8;
  const int length = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return utf8;
  utf8.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], n, nullptr, nullptr);
  return utf8;
}
