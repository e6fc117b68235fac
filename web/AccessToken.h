// AccessToken - the secret that lets in from the LAN. Made on first use
// from the system's random source (32 bytes, as 64 hex digits) and kept in
// a file only its owner may read (mode 0600, or on Windows an access list
// for the user alone; never put over another, never through a link). A program such as a metrics
// scraper sends it as "Authorization: Bearer <token>". A browser never sees it: it is paired once
// with a one-time code (web/Pairing) and from then on shows a session (web/Sessions).
#ifndef BRENNA_WEB_ACCESSTOKEN_H
#define BRENNA_WEB_ACCESSTOKEN_H

#include <string>
#include <vector>

namespace web {

// The cookie of a paired browser: a session, never the token.
inline constexpr char kSessionCookie[] = "brenna_web_session";
// A site's overview's: a browser sends both to a computer that runs a
// line's brenna-web and the overview, each on its own port.
inline constexpr char kSiteSessionCookie[] = "brenna_site_session";
// And the company's view's (brenna-web --company).
inline constexpr char kCompanySessionCookie[] = "brenna_company_session";
// The cookie earlier versions kept the token itself in; a browser that
// still sends it is told to forget it.
inline constexpr char kOldTokenCookie[] = "brenna_web_token";
inline constexpr std::size_t kTokenLength = 64;

// $XDG_STATE_HOME/brennacenter/web-token (default ~/.local/state/...), beside
// the archive; empty when no home is known.
std::string DefaultTokenPath();

// Reads the token at `path`, or makes it when there is no file (*made
// true). False with the reason in *error: the file is no regular file, can
// be read by others than its owner, holds no token, or cannot be made.
bool LoadOrMakeToken(const std::string& path, std::string* token, bool* made, std::string* error);

// Compares in time independent of where the texts differ.
bool SameToken(const std::string& a, const std::string& b);

// The values of every cookie `name` in a Cookie header, in the order sent.
// A browser sends several of one name when programs on other ports of the
// address (or paths of ours) set one too: each is a candidate, none wins
// by its place.
std::vector<std::string> CookieValues(const std::string& header, const std::string& name);

}  // namespace web

#endif  // BRENNA_WEB_ACCESSTOKEN_H
