// WidePath - a GBK path as the Windows "W" calls take it: converted through
// code page 936 whatever the system's own code page is, so that a trail
// byte 0x5C stays part of its character and a Chinese name names the same
// file on every PC. For the platform's Windows files only.
#ifndef BRENNA_PLATFORM_WIDEPATH_H
#define BRENNA_PLATFORM_WIDEPATH_H

#include <string>

#include "platform/GbkWide.h"

// The path in UTF-16; empty when its bytes are no GBK text: no file has
// such a name here, and the call given it fails as for a missing file.
inline std::wstring WidePath(const std::string& gbkPath) {
  std::wstring wide;
  return GbkToWideExact(gbkPath, &wide) ? wide : std::wstring();
}

#endif  // BRENNA_PLATFORM_WIDEPATH_H
