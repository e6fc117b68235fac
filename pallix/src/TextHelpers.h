// TextHelpers - small operations on GBK texts (TrimLeft, TrimRight,
// GetField2). They work character by character: a GBK character is one
// byte below 0x80 or a lead byte 0x81..0xFE with a trail byte 0x40..0xFE
// (not 0x7F), and a trail byte is never mistaken for an ASCII character.
#ifndef PALLIX_TEXTHELPERS_H
#define PALLIX_TEXTHELPERS_H

#include <cstddef>

namespace pallix::text {

// Length in bytes of the GBK character at p (1 or 2; 1 for a stray byte
// and for a lead byte at the end of the text).
std::size_t CharLength(const char* p);

// Removes every leading (TrimLeft) or trailing (TrimRight) single-byte
// character equal to ch, in place. 1 when something was removed, 0 when
// not, -1 for a null text.
int TrimLeft(char* text, char ch);
int TrimRight(char* text, char ch);

// Copies field `index` (from 0) of text, fields separated by sep, into out
// (which must hold strlen(text) + 1 bytes). Returns the field's length;
// 0 when the field is empty or there are fewer fields (out is then "");
// -1 for a null text or out or a negative index.
int GetField2(const char* text, int index, char* out, char sep);

}  // namespace pallix::text

#endif  // PALLIX_TEXTHELPERS_H
