// GbkWide - GBK text (code page 936) and the UTF-16 of the Windows "W"
// calls, converted explicitly, whatever the system's own code page is: a
// monitor on a PC whose code page is not 936 still shows Chinese right,
// and GBK names (a trail byte 0x5C too) still name files. Windows builds
// only (GbkWin.cpp).
#ifndef BRENNA_PLATFORM_GBKWIDE_H
#define BRENNA_PLATFORM_GBKWIDE_H

#include <string>
#include <string_view>

// GBK to UTF-16 for showing: a byte that is no part of a GBK character
// becomes U+FFFD.
std::wstring GbkToWide(std::string_view gbk);
// GBK to UTF-16, all or nothing: false (and *wide incomplete) when a byte is
// no part of a GBK character. For file names, which must come back as the
// same bytes.
bool GbkToWideExact(std::string_view gbk, std::wstring* wide);
// UTF-16 to GBK for what the operator typed: a character GBK cannot hold
// becomes '?'.
std::string WideToGbk(std::wstring_view wide);
// UTF-16 to GBK, all or nothing: false when a character (or an unpaired
// surrogate) has no GBK form. For names the system lists.
bool WideToGbkExact(std::wstring_view wide, std::string* gbk);
// UTF-8 (a source literal) to UTF-16.
std::wstring Utf8ToWide(std::string_view utf8);
// UTF-16 to UTF-8 (a journal line); an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

#endif  // BRENNA_PLATFORM_GBKWIDE_H
