// WideTextWin - GBK text (code page 936) and the UTF-16 of the Windows "W"
// calls, converted explicitly, whatever the system's own code page is: a
// GBK name names the same file on every PC, a trail byte 0x5C included.
// Header-only and inline, shared by libPallix's Windows files and the
// monitor's (src/platform/GbkWin.cpp, WidePath.h), exported by neither.
#ifndef PALLIX_PLATFORM_WIDETEXTWIN_H
#define PALLIX_PLATFORM_WIDETEXTWIN_H

#include <windows.h>

#include <string>
#include <string_view>

namespace pallix::sys {

inline constexpr UINT kGbkCodePage = 936;

// GBK lead byte: the character's second byte may look like '\' or '/'.
inline bool IsGbkLead(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

// GBK to UTF-16, all or nothing: false (and *wide incomplete) when a byte is
// no part of a GBK character. For names, which must come back as the same
// bytes.
inline bool GbkToWideExact(std::string_view gbk, std::wstring* wide) {
  wide->clear();
  if (gbk.empty()) return true;
  const int length = static_cast<int>(gbk.size());
  const int units =
      MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
  if (units <= 0) return false;
  wide->resize(static_cast<std::size_t>(units));
  return MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, &(*wide)[0],
                             units) == units;
}

// UTF-16 to GBK, all or nothing: false when a character (or an unpaired
// surrogate) has no GBK form. For names the system gives.
inline bool WideToGbkExact(std::wstring_view wide, std::string* gbk) {
  gbk->clear();
  if (wide.empty()) return true;
  const int length = static_cast<int>(wide.size());
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                    nullptr, 0, nullptr, &lost);
  if (n <= 0 || lost) return false;
  gbk->resize(static_cast<std::size_t>(n));
  lost = FALSE;
  return WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, &(*gbk)[0], n,
                             nullptr, &lost) == n &&
         !lost;
}

// The path in UTF-16. Bytes that are no GBK text name no file here: the
// path is then "|", which every call refuses as an invalid name (not as a
// missing file, which would send a caller making folders).
inline std::wstring WidePath(std::string_view gbk) {
  std::wstring wide;
  return GbkToWideExact(gbk, &wide) ? wide : std::wstring(L"|");
}

// A path the system gave, as GBK; false when GBK cannot hold one of its
// characters.
inline bool GbkPath(const wchar_t* wide, int units, std::string* gbk) {
  gbk->clear();
  if (units < 0) return false;
  return WideToGbkExact(std::wstring_view(wide, static_cast<std::size_t>(units)), gbk);
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WIDETEXTWIN_H
