// PortNumber - checking and converting what the operator types as a new
// listening port.
#ifndef BRENNA_UTIL_PORTNUMBER_H
#define BRENNA_UTIL_PORTNUMBER_H

#include <string>

// The general number check of the port entry: an optional leading '-',
// digits, at most one '.' (not first, not right after the '-'). The empty
// text passes. 1 when the text passes, 0 otherwise.
int CheckNumber(const std::string& text);

// The value of a checked entry: an optional '-' and the digits that follow,
// up to the first other character; 0 when there are none.
int PortEntryValue(const std::string& text);

// Whether a value can be a TCP port to listen on (1 to 65535).
bool IsUsablePort(int value);

#endif  // BRENNA_UTIL_PORTNUMBER_H
