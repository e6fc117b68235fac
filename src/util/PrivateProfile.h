// PrivateProfile - INI files read and written the way the Windows
// private-profile functions do it, so files move between both platforms.
//
//   - Sections "[name]" and keys "key=value" are matched without regard to
//     ASCII case; blanks (space, tab) around names and values are ignored.
//     GBK double-byte characters compare byte for byte (their trail bytes
//     may look like ASCII letters but never fold).
//   - The first matching section and, inside it, the first matching key win.
//     Lines starting with ';' are comments.
//   - A value enclosed in one pair of matching quotes loses the quotes.
//   - A missing file, section or key reads as the caller's default; an empty
//     value reads as empty text (and as the default for an integer read).
//   - Writing creates a missing file, appends a missing section at the end
//     and a missing key after the last entry of its section, replaces an
//     existing key's line, and keeps every other line as it was. New files
//     get "\n" line ends; an existing file keeps each line's own ("\r\n" or
//     "\n"), and added lines take its first.
//   - A write never destroys the file (FileStore): one that exists but
//     cannot be read, or is read-only, is refused; the file is replaced in
//     one step (written aside, flushed, renamed) keeping its owner and mode
//     (on Windows its attributes), so a failure or crash never leaves half a
//     file; a symbolic link is written through to its target (on Windows a
//     reparse point is refused).
//
// All texts are bytes (GBK); nothing is converted.
#ifndef BRENNA_UTIL_PRIVATEPROFILE_H
#define BRENNA_UTIL_PRIVATEPROFILE_H

#include <string>

#include "platform/FileStore.h"

// The value of key in section, or def when the file, section or key is missing.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file);

// The same lookup in a file's text already read (a program that reads its
// own settings file its own way).
std::string GetPrivateProfileStringFromText(const std::string& section, const std::string& key,
                                            const std::string& def, const std::string& text);

// The leading integer of the value (ParseLeadingInt); def when the file, section or key is missing
// or the value is empty.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& file);

// Sets key in section to value. Returns false, leaving the file untouched,
// when it could not be read or written or when the entry would not read back
// as itself: a line break in section, key or value, '=' in the key or ']' in
// the section.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file,
                               FileStore& store = FileStore::System());

#endif  // BRENNA_UTIL_PRIVATEPROFILE_H
