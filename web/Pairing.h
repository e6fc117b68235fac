// Pairing - one-time codes that let one browser in. The access token never
// goes into an address (a browser keeps addresses in its history, its
// favicons and its sessions for anyone at that screen to find): the link
// brenna-web gives holds a pairing code instead, good once and for an hour.
// `brenna-web --pair` adds a code while a brenna-web serves, so the codes
// live in a file of their own beside the token file (web-pairing, mode
// 0600), which the serving brenna-web reads when a code is shown:
//
//   brenna-web pairing <token mark>
//   <code: 32 hex digits> <valid until: Unix time in ms>
//   ...
//
// Codes kept with another token's mark are void: a new token voids every
// code given before. Every change to the file is made under an exclusive
// lock on it (flock), so that a code is taken once even when brenna-web
// and --pair touch the file at the same moment.
#ifndef BRENNA_WEB_PAIRING_H
#define BRENNA_WEB_PAIRING_H

#include <cstdint>
#include <string>

namespace web {

// How long a pairing code is good for.
inline constexpr std::int64_t kPairingLifetimeMs = 3600 * 1000;
// Codes waiting at most; beyond, the oldest is dropped.
inline constexpr int kMaxPairingCodes = 32;
inline constexpr std::size_t kPairingCodeLength = 32;

// The pairing file beside the token file.
std::string PairingPathBeside(const std::string& tokenPath);

// Adds a new code for `token`, good until nowUtcMs + kPairingLifetimeMs.
// False with the reason in *error.
bool AddPairingCode(const std::string& path, const std::string& token, std::int64_t nowUtcMs,
                    std::string* code, std::string* error);

// Takes `code` out of the file: true when it was there, for this token and
// not yet expired. Expired and void codes go at the same time. *error is
// set only when the file could not be used.
bool TakePairingCode(const std::string& path, const std::string& token, const std::string& code,
                     std::int64_t nowUtcMs, std::string* error);

}  // namespace web

#endif  // BRENNA_WEB_PAIRING_H
