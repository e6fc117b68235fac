// WidePath - a GBK path as the Windows "W" calls take it: converted through
// code page 936 whatever the system's own code page is, so that a trail
// byte 0x5C stays part of its character and a Chinese name names the same
// file on every PC. The conversion is libPallix's (platform/WideTextWin.h),
// one for the whole tree. For the platform's Windows files only.
#ifndef BRENNA_PLATFORM_WIDEPATH_H
#define BRENNA_PLATFORM_WIDEPATH_H

#include "platform/WideTextWin.h"

using pallix::sys::WidePath;

#endif  // BRENNA_PLATFORM_WIDEPATH_H
