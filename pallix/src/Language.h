// Language - the display text of a system text (GetLangueString).
//
// Without a translation file the text is its own display text. With one
// (named by the site settings), a text found in it is replaced by its
// translation. Translations are interned for the life of the library, so a
// returned pointer never dangles, even when a later GetPallix loads another
// file.
#ifndef PALLIX_LANGUAGE_H
#define PALLIX_LANGUAGE_H

#include <string>

namespace pallix::language {

// Replaces the table with the one in `file` (GBK lines "text=translation").
// An empty name clears the table. False when the file cannot be read (the
// table is then empty).
bool Load(const std::string& file);
// The translation of text, or text itself; "" for a null text. The result
// is text itself or points into storage that lives until the library is
// unloaded.
const char* Translate(const char* text);

}  // namespace pallix::language

#endif  // PALLIX_LANGUAGE_H
