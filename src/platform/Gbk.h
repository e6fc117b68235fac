// Gbk - the system's texts are GBK bytes (code page 936) from end to end:
// record values, transfer names, INI text, message texts. Source literals
// are UTF-8 and pass through Gbk() once; only the GUI converts back, where
// Qt draws or shows a text.
#ifndef BRENNA_PLATFORM_GBK_H
#define BRENNA_PLATFORM_GBK_H

#include <string>
#include <string_view>

// GBK double-byte characters: a lead byte 0x81-0xFE, then a trail byte
// 0x40-0x7E or 0x80-0xFE. A trail byte may look like ASCII ('\\', ']', 'A')
// but belongs to its character.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsGbkTrailByte(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE);
}
// Length of the character starting at text[i]: 2 for a complete GBK
// double-byte character, else 1.
inline size_t GbkCharLength(std::string_view text, size_t i) {
  return i + 1 < text.size() && IsGbkLeadByte(static_cast<unsigned char>(text[i])) &&
                 IsGbkTrailByte(static_cast<unsigned char>(text[i + 1]))
             ? 2
             : 1;
}

// UTF-8 to GBK. Characters GBK cannot hold become '?'.
std::string Gbk(std::string_view utf8);
// GBK to UTF-8. Bytes that are not valid GBK become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// UTF-8 to GBK, all or nothing: false (and *gbk incomplete) when the text is
// not UTF-8 or holds a character GBK cannot hold.
bool Utf8ToGbkExact(std::string_view utf8, std::string* gbk);

#endif  // BRENNA_PLATFORM_GBK_H
