// WebText - what the web view puts into a page, a JSON document or a
// header: texts from the archive made safe for the place they go. A
// station's texts are GBK bytes that may be anything (markup, quotes, bytes
// that are no GBK, control characters); they become UTF-8 text with every
// byte that is not GBK and every control character shown as U+FFFD, and
// are then escaped for HTML or JSON, so nothing a station sends can ever
// become markup or script.
#ifndef BRENNA_WEB_WEBTEXT_H
#define BRENNA_WEB_WEBTEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "reports/ArchiveText.h"

namespace web {

// A station's GBK text, and the archive's own UTF-8, as text for a page
// (reports/ArchiveText, shared with brenna-history).
using reports::CleanUtf8;
using reports::StationText;

// For HTML text and attribute values (quoted): & < > " ' escaped.
std::string Html(std::string_view utf8);
// A JSON string literal, quotes included: besides " \ and control
// characters also < > & and U+2028/U+2029 escaped, so the text is inert
// wherever it lands.
std::string Json(std::string_view utf8);

// COLORREF 0x00BBGGRR as CSS "#rrggbb".
std::string CssColour(std::uint32_t colorref);

// Percent-encodes a query value (UTF-8).
std::string UrlEncode(std::string_view text);

// The GBK bytes of a UTF-8 form field; false when the text holds a
// character GBK cannot hold (or is no UTF-8).
bool FormToGbk(const std::string& utf8, std::string* gbk);

}  // namespace web

#endif  // BRENNA_WEB_WEBTEXT_H
