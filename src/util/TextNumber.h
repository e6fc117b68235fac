// TextNumber - the one reading of "the integer at the start of a text" used
// for INI values, record values and typed-in ports: leading blanks, an
// optional sign, then decimal digits up to the first other character. No
// digits reads as 0. Unlike atoi, a value beyond the int range saturates
// instead of being undefined.
#ifndef BRENNA_UTIL_TEXTNUMBER_H
#define BRENNA_UTIL_TEXTNUMBER_H

#include <string_view>

int ParseLeadingInt(std::string_view text);

#endif  // BRENNA_UTIL_TEXTNUMBER_H
