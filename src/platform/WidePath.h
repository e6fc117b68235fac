// WidePath - a GBK path as the Windows "W" calls take it: converted through
// code page 936 whatever the system's own code page is, so that a trail
// byte 0x5C stays part of its character and a Chinese name names the same
// file on every PC. For the platform's Windows files only.
#ifndef BRENNA_PLATFORM_WIDEPATH_H
#define BRENNA_PLATFORM_WIDEPATH_H

#include <string>

#include "platform/GbkWide.h"

// The path in UTF-16. Bytes that are no GBK text name no file here: the
// path is then "|", which every call refuses as an invalid name (not as a
// missing file, which would send a caller making folders).
inline std::wstring WidePath(const std::string& gbkPath) {
  std::wstring wide;
  return GbkToWideExact(gbkPath, &wide) ? wide : std::wstring(L"|");
}

#endif  // BRENNA_PLATFORM_WIDEPATH_H
