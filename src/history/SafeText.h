// SafeText - archive text made fit to print. Nothing in the archive is
// trusted as text: a station's names and values are bytes that were meant
// to be GBK. They come out as UTF-8 with every byte that is not GBK as
// U+FFFD, every control character (and a backslash) written \xNN (\\), so
// no value can move the cursor, recolour a terminal or break a line; and in
// a CSV cell a text that a spreadsheet would take for a formula is kept a
// text.
#ifndef BRENNA_HISTORY_SAFETEXT_H
#define BRENNA_HISTORY_SAFETEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace history {

// GBK bytes from a station, for printing.
std::string FromGbk(std::string_view gbk);
// Text the archive keeps as UTF-8 (times, stations, group), for printing.
std::string FromUtf8(std::string_view text);

// A printable text as one CSV cell: quoted when it holds a comma, a quote
// or leading or trailing blanks; a leading '=', '+', '-' or '@' (what a
// spreadsheet would run as a formula) gets a "'" before it unless the text
// is a plain number such as -3.5.
std::string CsvCell(std::string_view text);

// How many terminal columns a printable text takes (East Asian wide
// characters two).
int DisplayWidth(std::string_view utf8);
// The text padded with blanks to `width` columns.
std::string PadRight(const std::string& utf8, int width);

// A display's colour by name: "blue", "red", "green", "black", "white",
// else "#RRGGBB" (from COLORREF 0x00BBGGRR).
std::string ColourName(std::uint32_t colorref);

}  // namespace history

#endif  // BRENNA_HISTORY_SAFETEXT_H
