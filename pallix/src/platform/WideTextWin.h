// WideTextWin - GBK paths (code page 936) and the UTF-16 of the Windows
// "W" calls, converted explicitly, whatever the system's own code page is:
// a GBK name names the same file on every PC, a trail byte 0x5C included.
// For the library's Windows files only.
#ifndef PALLIX_PLATFORM_WIDETEXTWIN_H
#define PALLIX_PLATFORM_WIDETEXTWIN_H

#include <windows.h>

#include <string>

namespace pallix::sys {

inline constexpr UINT kGbkCodePage = 936;

// GBK lead byte: the character's second byte may look like '\' or '/'.
inline bool IsGbkLead(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

// The path in UTF-16. Bytes that are no GBK text name no file here: the
// path is then "|", which every call refuses as an invalid name.
inline std::wstring WidePath(const std::string& gbk) {
  if (gbk.empty()) return std::wstring();
  const int length = static_cast<int>(gbk.size());
  const int units =
      MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
  if (units <= 0) return std::wstring(L"|");
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, &wide[0],
                          units) != units)
    return std::wstring(L"|");
  return wide;
}

// A path the system gave, as GBK; false when GBK cannot hold one of its
// characters.
inline bool GbkPath(const wchar_t* wide, int units, std::string* gbk) {
  gbk->clear();
  if (units <= 0) return units == 0;
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, units, nullptr, 0,
                                    nullptr, &lost);
  if (n <= 0 || lost) return false;
  gbk->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, units, &(*gbk)[0], n,
                             nullptr, &lost) == n &&
         !lost;
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WIDETEXTWIN_H
