// ArchiveText - archive text made safe for where it goes, for
// brenna-history and brenna-web alike. Nothing in the archive is trusted as
// text: a station's names and values are bytes that were meant to be GBK.
// They come out as UTF-8 with every byte that is not GBK as U+FFFD, and
// control characters either written \xNN (a backslash \\), so no value can
// move the cursor, recolour a terminal or break a line or a CSV record, or,
// for a page, shown as U+FFFD; in a CSV cell a text that a spreadsheet
// would take for a formula is kept a text.
#ifndef BRENNA_REPORTS_ARCHIVETEXT_H
#define BRENNA_REPORTS_ARCHIVETEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace reports {

// GBK bytes from a station, for printing and CSV files.
std::string FromGbk(std::string_view gbk);
// Text the archive keeps as UTF-8 (times, stations, group), for printing.
std::string FromUtf8(std::string_view text);

// A station's GBK text as UTF-8 for a page: bytes that are not GBK and
// control characters (C0, DEL, C1) become U+FFFD.
std::string StationText(std::string_view gbk);
// UTF-8 from the archive's own columns (times, stations, group), with the
// same replacement of control characters and invalid sequences.
std::string CleanUtf8(std::string_view utf8);

// A printable text as one CSV cell: quoted when it holds a comma, a quote
// or leading or trailing blanks; a leading '=', '+', '-' or '@' (what a
// spreadsheet would run as a formula) gets a "'" before it unless the text
// is a plain number such as -3.5.
std::string CsvCell(std::string_view text);
// A cell that must stay text in a spreadsheet (an operator number, a
// transfer name): a text it would read as a number, such as 0612, is
// written ="0612", which a spreadsheet shows as that very text (its
// leading zero too); anything else as CsvCell. The only formulas in a file
// are these, of digits alone.
std::string CsvTextCell(std::string_view text);
// A cell a spreadsheet may read as a number (a value as sent): as CsvCell,
// but a number it would change beyond its looks (leading zeros as in 0612,
// more than 15 digits) is kept text as above.
std::string CsvValueCell(std::string_view text);

// How many terminal columns a printable text takes (East Asian wide
// characters two).
int DisplayWidth(std::string_view utf8);
// The text padded with blanks to `width` columns.
std::string PadRight(const std::string& utf8, int width);

// A display's colour by name: a verdict's colour as the verdict table
// names it ("red", "blue", ...), "white" for the display's own background,
// else "#RRGGBB" (from COLORREF 0x00BBGGRR).
std::string ColourName(std::uint32_t colorref);

}  // namespace reports

#endif  // BRENNA_REPORTS_ARCHIVETEXT_H
