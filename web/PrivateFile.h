// PrivateFile - the small files brenna-web keeps in its state folder beside
// the archive (the access token, the pairing codes, the sessions): each its
// owner's alone (mode 0600; on Windows an access list that lets only the
// user in: platform/PrivateFileIo.h), never reached through a link, no larger than
// the caller allows. A file that others could read, or that is no regular
// file, is refused with the reason; such a file may have let its secret go
// astray.
#ifndef BRENNA_WEB_PRIVATEFILE_H
#define BRENNA_WEB_PRIVATEFILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace web {

enum class PrivateRead { kOk, kMissing, kRefused };

// Reads the file at `path` (at most maxBytes); kRefused with the reason in
// *error when it is no regular file, others may read it, it is larger or it
// cannot be read.
PrivateRead ReadPrivateFile(const std::string& path, std::size_t maxBytes, std::string* text,
                            std::string* error);

// Replaces the file at `path` with `text` in one step (written aside with
// mode 0600, flushed, renamed), making its folder (0700) when it is not
// there. False with the reason in *error.
bool WritePrivateFile(const std::string& path, const std::string& text, std::string* error);

// The folder of the file, made (0700) when missing. False with the reason.
bool MakePrivateFolder(const std::string& path, std::string* error);

// `bytes` random bytes from the system's source as lower-case hexadecimal
// digits; empty when there is no randomness to be had.
std::string RandomHex(std::size_t bytes);

// Whether `text` is exactly `digits` lower-case hexadecimal digits.
bool IsHex(const std::string& text, std::size_t digits);

// A short mark of the access token (16 hexadecimal digits) that the
// pairing codes and sessions are kept with: a new token makes them void.
// It tells nothing that helps find the token.
std::string TokenMark(const std::string& token);

}  // namespace web

#endif  // BRENNA_WEB_PRIVATEFILE_H
