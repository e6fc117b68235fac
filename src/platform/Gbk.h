// Gbk - the system's texts are GBK bytes (code page 936) from end to end:
// record values, transfer names, INI text, message texts. Source literals
// are UTF-8 and pass through Gbk() once; only the GUI converts back, where
// Qt draws or shows a text.
#ifndef BRENNA_PLATFORM_GBK_H
#define BRENNA_PLATFORM_GBK_H

#include <string>
#include <string_view>

// UTF-8 to GBK. Characters GBK cannot hold become '?'.
std::string Gbk(std::string_view utf8);
// GBK to UTF-8. Bytes that are not valid GBK become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

#endif  // BRENNA_PLATFORM_GBK_H
