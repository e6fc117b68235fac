// AnswerHeaders - what every answer of brenna-web carries, the library's
// and the gate's own alike: a strict Content-Security-Policy (no inline
// script or style, nothing from elsewhere, never framed), nosniff, no
// referrer.
#ifndef BRENNA_WEB_ANSWERHEADERS_H
#define BRENNA_WEB_ANSWERHEADERS_H

#include <utility>

namespace web {

inline constexpr std::pair<const char*, const char*> kAnswerHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
     "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
};

}  // namespace web

#endif  // BRENNA_WEB_ANSWERHEADERS_H
